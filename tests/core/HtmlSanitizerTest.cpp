#include "core/HtmlSanitizer.h"

#include <gtest/gtest.h>

#include "StoryTestSupport.h"
#include "core/Regex.h"

using storytest::A;

namespace {

TEST(HtmlSanitizerTest, EscapeHtmlMakesPlainTextInert) {
    EXPECT_EQ(EscapeHtml("<script>\"a\" & 'b'</script>"),
              "&lt;script&gt;&quot;a&quot; &amp; &#39;b&#39;&lt;/script&gt;");
    // Double-byte characters whose second byte is ASCII stay whole.
    EXPECT_EQ(EscapeHtml(A("乗昞书")), A("乗昞书"));
}

TEST(HtmlSanitizerTest, EscapeScriptStringLeavesNoWayOutOfTheStringOrTheAttribute) {
    struct Case {
        std::string_view in, out;
    } const cases[] = {
        {"12345", "12345"},
        {"a-b_c.d", "a-b_c.d"},
        {"1');alert(1);//", "1\\x27\\x29\\x3Balert\\x281\\x29\\x3B\\x2F\\x2F"},
        {"%27\"<&>\\", "\\x2527\\x22\\x3C\\x26\\x3E\\x5C"},
        {"a b\n", "a\\x20b\\x0A"},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeScriptString(c.in), c.out) << c.in;
    // A double-byte character ending in the byte of a backslash is one character.
    EXPECT_EQ(EscapeScriptString(A("乗")), A("乗"));
    // Four-byte characters stay whole too.
    EXPECT_EQ(EscapeScriptString(A("a😀b")), A("a😀b"));
    // A lead byte that starts no valid character cannot carry the byte after
    // it past the escaping: the conversion to UTF-8 would keep that byte.
    const struct {
        std::string_view in, out;
    } broken[] = {
        {"\x81\"", "\\x81\\x22"},
        {"\x81\x30\">", "\\x810\\x22\\x3E"},
        {"\x81\x30\x81'", "\\x810\\x81\\x27"},
        {"x\xFE", "x\\xFE"},
        {"\x80\xFF", "\\x80\\xFF"},
    };
    for (const auto& c : broken) {
        const AnsiString escaped = EscapeScriptString(c.in);
        EXPECT_EQ(escaped, c.out);
        const std::string page = platform::AnsiToUtf8(escaped);
        EXPECT_EQ(page.find_first_of("\"'<>&%();"), std::string::npos) << page;
    }
}

TEST(HtmlSanitizerTest, IsScriptURLSeesThroughReferencesAndWhiteSpace) {
    for (const std::string_view url :
         {"javascript:alert(1)", " JavaScript:x", "java\tscript:x", "jav&#x09;ascript:x",
          "&#106;avascript:x", "&#0000000106;avascript:x", "javascript&colon;x", "vbscript:x",
          "data:text/html,<script>x</script>"})
        EXPECT_TRUE(IsScriptURL(url)) << url;
    for (const std::string_view url :
         {"http://x/javascript.html", "../../Image/cover.jpg", "data:image/png;base64,AA", ""})
        EXPECT_FALSE(IsScriptURL(url)) << url;
}

TEST(HtmlSanitizerTest, SanitizeHtmlKeepsTextAndHarmlessMarkup) {
    struct Case {
        std::string_view in, out;
    } const cases[] = {
        {"<p>one</p><br/>two<BR>", "<p>one</p><br />two<BR>"},
        {"a < b &amp; c &nbsp;", "a &lt; b &amp; c &nbsp;"},
        {"<img src='x.jpg' alt='a\"b'>", "<img src=\"x.jpg\" alt=\"a&quot;b\">"},
        {"<p title=\"x>y\">t</p>", "<p title=\"x&gt;y\">t</p>"},
        {"<font color=red>r</font>", "<font color=\"red\">r</font>"},
        {"<img src=\"data:image/png;base64,AA\">", "<img src=\"data:image/png;base64,AA\">"},
    };
    for (const auto& c : cases) EXPECT_EQ(SanitizeHtml(c.in), c.out) << c.in;
    EXPECT_EQ(SanitizeHtml(A("　　第一段&hellip;<br>第二段")), A("　　第一段&hellip;<br>第二段"));
}

TEST(HtmlSanitizerTest, SanitizeHtmlRemovesEveryScriptRoad) {
    struct Case {
        std::string_view in, out;
    } const cases[] = {
        {"<script>alert(1)</script>text", "text"},
        {"<SCRIPT src=x></SCRIPT >ok", "ok"},
        {"<script>never closed", ""},
        {"<style>body{display:none}</style>ok", "ok"},
        {"<img src=x onerror=alert(1)>", "<img src=\"x\">"},
        {"<a href=\"javascript:alert(1)\" ONCLICK='x'>y</a>", "<a>y</a>"},
        {"<a href=\"&#0000106;avascript:alert(1)\">y</a>", "<a>y</a>"},
        {"<div style=\"background:url(javascript:alert(1))\">d</div>", "<div>d</div>"},
        {"<iframe src=\"http://x/\"></iframe>", ""},
        {"<!--> <script>alert(1)</script> -->after", "after"},
        {"<!DOCTYPE html><?xml x?>t", "t"},
        {"<img src=\"x", ""},
        {"</ script>t</>", "t"},
        {"<svg><animate onbegin=alert(1) attributeName=href values=javascript:alert(1)>",
         "<animate attributeName=\"href\">"},
    };
    for (const auto& c : cases) EXPECT_EQ(SanitizeHtml(c.in), c.out) << c.in;
}

TEST(HtmlSanitizerTest, SanitizeHtmlOutputNeverHoldsAnActiveTag) {
    // Pieces that join into a new tag once something between them goes.
    const std::string_view hostile[] = {
        "<<script></script>script>alert(1)</script>",
        "<scr<script>x</script>ipt>alert(1)</script>",
        "<a href=java<!-- -->script:alert(1)>x</a>",
        "<img/src=x/onerror=alert(1)>",
        "<img src=x\nonerror\n=\nalert(1)>",
        "<a\thref='javascript:alert(1)'>x</a>",
        "<<img src=x onerror=alert(1)>",
        "<scri<!-- x -->pt>alert(1)</script>",
    };
    const auto active = Regex::Get("(?i)<script|<[^<>]*\\son[a-z]+\\s*=|javascript:");
    for (const auto in : hostile) {
        const std::string out = SanitizeHtml(in);
        EXPECT_FALSE(active->Matches(out)) << in << " -> " << out;
    }
}

}  // namespace
