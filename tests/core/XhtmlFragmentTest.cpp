#include "core/XhtmlFragment.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

namespace {

bool WellFormed(const std::string& xhtml) {
    const std::string doc = "<div xmlns=\"http://www.w3.org/1999/xhtml\">" + xhtml + "</div>";
    xmlDoc* parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), nullptr, "UTF-8",
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlFreeDoc(parsed);
    return parsed != nullptr;
}

std::string NoPictures(std::string_view) {
    return {};
}

TEST(XhtmlFragmentTest, SiteHtmlBecomesWellFormedParagraphs) {
    struct Case {
        std::string_view html, xhtml;
    } const cases[] = {
        {"  第一行<br>第二行<br/><br>第三行", "<p>第一行</p>\n<p>第二行</p>\n<p>第三行</p>\n"},
        {"a & b < c &nbsp;&hellip; &bogus; &#20013;",
         "<p>a &amp; b &lt; c \xC2\xA0… &amp;bogus; 中</p>\n"},
        {"<p>one<p>two<b>bold<i>both</b>tail",
         "<p>one</p>\n<p>two<b>bold<i>both</i></b>tail</p>\n"},
        {"<font color=red>red</font><a href=\"x\">link</a><u>u</u>", "<p>redlinku</p>\n"},
        // Headings stay headings, their content flattened to inline text.
        {"<h2>第一章 <b>风起</b></h2>正文<H3>小节<div>一</div></H3><h4> </h4>",
         "<h2>第一章 <b>风起</b></h2>\n<p>正文</p>\n<h3>小节一</h3>\n"},
        {"<script>alert(1)</script><style>p{}</style>text<iframe src=x></iframe>", "<p>text</p>\n"},
        {"<b>bold<div>block</div>after</b>", "<p>bold</p>\n<p>block</p>\n<p>after</p>\n"},
        {"<div>\r\n\r\n</div>   ", ""},
        {"\x01"
         "ctrl\x0B",
         "<p>ctrl</p>\n"},
        {"　　全角缩进", "<p>全角缩进</p>\n"},
    };
    for (const auto& c : cases) {
        const std::string out = HtmlToXhtmlFragment(c.html, NoPictures);
        EXPECT_EQ(out, c.xhtml) << c.html;
        EXPECT_TRUE(WellFormed(out)) << out;
    }
}

// A picture the mapper turns down (one whose download failed keeps its
// remote address) leaves its alt text or a short note where it was.
TEST(XhtmlFragmentTest, PicturesKeepOnlyWhatTheMapperAcceptsAndLeaveATraceElsewhere) {
    const auto mapper = [](std::string_view src) -> std::string {
        return src == "0123456789abcdef0123456789abcdef" ? "0123456789abcdef0123456789abcdef.png"
                                                         : "";
    };
    const std::string out = HtmlToXhtmlFragment(
        "<img src=\"0123456789abcdef0123456789abcdef\" alt='a\"b'>text"
        "<img src=\"http://remote/x.jpg\"><IMG SRC=\"../../etc/passwd\" alt=\" \">"
        "<img src=\"http://remote/y.jpg\" alt=\"地图 <&>\">",
        mapper);
    EXPECT_EQ(out,
              "<p><img src=\"0123456789abcdef0123456789abcdef.png\" alt=\"a&quot;b\"/>text"
              "[图片][图片][图片：地图 &lt;&amp;&gt;]</p>\n");
    EXPECT_TRUE(WellFormed(out));
}

TEST(XhtmlFragmentTest, XmlEscapeEscapesAndDropsWhatXmlForbids) {
    EXPECT_EQ(XmlEscape("<a href=\"x\">&'\x01\x1F</a>\t\n"),
              "&lt;a href=&quot;x&quot;&gt;&amp;&#39;&lt;/a&gt;\t\n");
    EXPECT_EQ(XmlEscape("中文\xEF\xBF\xBE"), "中文");
}

}  // namespace
