#include "core/TextHelpers.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/Regex.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

struct MatchCase {
    const char* name;
    std::string text;
    std::string pattern;
    std::string expected;
};

// The regular-expression semantics every site rule relies on.
TEST(RegexMatch, FollowsTheSystemSemantics) {
    const MatchCase cases[] = {
        {"caseless by default", "<TITLE>Abc</TITLE>", "<title>(.*?)</title>", "Abc"},
        {"prefix given twice", "<B>x</B>", "(?i)<b>(.*?)</b>", "x"},
        {"dot over CR LF", "<p>a\r\nb</p>", "<p>(.*)</p>", "a\r\nb"},
        {"greedy", "<i>a</i><i>b</i>", "<i>(.*)</i>", "a</i><i>b"},
        {"lazy", "<i>a</i><i>b</i>", "<i>(.*?)</i>", "a"},
        {"caret only at text start", "x\nabc", "^abc", ""},
        {"dollar only at text end", "abc\nx", "(abc)$", ""},
        {"dollar before a final LF is no end", "abc\n", "(abc)$", ""},
        {"dollar at the end", "x\nabc", "(abc)$", "abc"},
        {"missing group reads empty", "b", "(a)|b", ""},
        {"no group 1", "abc", "abc", ""},
        {"class counts bytes", "<\xD6\xD0>", "<([^<>]{2})>", "\xD6\xD0"},
        {"no match", "abc", "(x)", ""},
        {"space class", "a \t\r\n\fb", "a(\\s+)b", " \t\r\n\f"},
        {"vertical tab is no space", "a\vb", "a(\\s)b", ""},
        {"nor in a class", "a\vb", "a([\\s[:space:]])b", ""},
        {"but is a non-space", "a\vb", "a(\\S)b", "\v"},
        {"high bytes are no space",
         "a\xA0\x85"
         "b",
         "a(\\s+)b", ""},
        {"word class is ASCII", "a\xD6\xD0_1", "(\\w+)", "a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RegexMatch(c.text, c.pattern), c.expected) << c.name;
    }
}

TEST(RegexMatchAny, TriesRuleLinesInOrder) {
    const std::string page = "<a>first</a><b>second</b>";
    const MatchCase cases[] = {
        {"only the second line matches", page, "<x>(.*?)</x>\r\n<b>(.*?)</b>", "second"},
        {"earlier line wins over earlier match", page, "<b>(.*?)</b>\n<a>(.*?)</a>", "second"},
        {"empty line moves on", page, "\r\n<a>(.*?)</a>", "first"},
        {"empty group 1 moves on", page, "<a>()\r<b>(.*?)</b>", "second"},
        {"empty rule", page, "", ""},
        {"nothing matches", page, "<x>(.*)</x>\n<y>(.*)</y>\n", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RegexMatchAny(c.text, c.pattern), c.expected) << c.name;
    }
}

TEST(RegexHelpers, BadPatternThrowsToTheCaller) {
    EXPECT_THROW(RegexMatch("x", "(x"), RegexError);
    EXPECT_THROW(RegexReplaceAll("[", "x", ""), RegexError);
    // A later bad line is not reached when an earlier one gives a value.
    EXPECT_EQ(RegexMatchAny("ab", "(a)\n(b"), "a");
}

struct ReplaceCase {
    const char* name;
    std::string pattern;
    std::string text;
    std::string replacement;
    std::string expected;
};

TEST(RegexReplaceAll, RepeatsUntilNothingMatchesAndStaysBounded) {
    const ReplaceCase cases[] = {
        {"case-sensitive as given", "b", "aBb", "", "aB"},
        {"re-created match removed too", "<b>", "<<b>b>x", "", "x"},
        {"nested three deep", "<b>", "<<<b>b>b>x", "", "x"},
        {"literal replacement", "a", "a", "$0\\1", "$0\\1"},
        {"no match", "z", "abc", "-", "abc"},
        // These would repeat for ever: each pass re-creates its own match.
        {"replacement holds the pattern", "a", "xa", "aa", "xaa"},
        {"empty match", "x*", "ab", "", "ab"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RegexReplaceAll(c.pattern, c.text, c.replacement), c.expected) << c.name;
    }
}

TEST(PCREReplaceAll, MakesOnePass) {
    EXPECT_EQ(PCREReplaceAll("\r\n", "a\r\nb\r\n", "<br>"), "a<br>b<br>");
    EXPECT_EQ(PCREReplaceAll("<b>", "<<b>b>", ""), "<b>");
    EXPECT_EQ(PCREReplaceAll("(?i)X", "axX", "-"), "a--");
}

TEST(ReplaceTemplateTag, ReplacesEveryTagSpelling) {
    EXPECT_EQ(ReplaceTemplateTag("<{#Title#}>{# title #}{#TITLE#}", "title", "\xD6\xD0"),
              "<\xD6\xD0>\xD6\xD0\xD6\xD0");
    EXPECT_EQ(ReplaceTemplateTag("{#a#}", "a", "$1"), "$1");
    // A value that holds its own tag must not loop for ever.
    EXPECT_EQ(ReplaceTemplateTag("{#a#}", "a", "x{#a#}"), "x{#a#}");
    EXPECT_EQ(ReplaceTemplateTag("{#b#}", "a", "x"), "{#b#}");
}

TEST(GetHTMLAttribute, QuotedThenBare) {
    const MatchCase cases[] = {
        {"double quotes", "<a HREF = \"x.html\">", "href", "x.html"},
        {"single quotes", "<a href='y.html'>", "href", "y.html"},
        {"mixed quotes", "<a href='z.html\">", "href", "z.html"},
        {"bare", "<img src=p.jpg alt=x>", "src", "p.jpg"},
        {"bare at tag end", "<img src=p.jpg>", "src", "p.jpg"},
        {"missing", "<img alt=x>", "src", ""},
        {"empty quoted value is empty", "<img src=\"\" alt=x>", "src", ""},
        {"empty single-quoted value", "<img src='' alt=x>", "src", ""},
        {"a longer name is another attribute", "<img data-src=\"lazy.jpg\">", "src", ""},
        {"the whole name after a longer one", "<img data-src=\"lazy.jpg\" src=\"p.jpg\">", "src",
         "p.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetHTMLAttribute(c.pattern, c.text), c.expected) << c.name;
    }
}

// The one-pass reader of a description's attributes gives what the pattern
// that describes it finds: the cases below, and every text of a large set
// of short ones made of the characters that matter.
TEST(TagAttribute, FindsWhatTheAttributePatternFinds) {
    const MatchCase cases[] = {
        {"plain", "<a StoryName=\"x\" SearchWords=\"y\">", "SearchWords", "y"},
        {"name in any case, spaces around =", "<a storyname \t=\n \"x\">", "StoryName", "x"},
        {"the last name of a tag first", "<a Title=\"1\" Title=\"2\">", "Title", "2"},
        {"first tag that has it", "<b Title=\"1\"><a Title=\"2\">", "Title", "1"},
        {"a value runs on to a later tag", "<a Title=\"x<b>y\">", "Title", "x<b>y"},
        {"a tag left open ends nowhere", "<a Title=\"x\" <b>", "Title", ""},
        {"unquoted", "<a Title=x>", "Title", ""},
        {"empty value", "<a Title=\"\">", "Title", ""},
        {"the end of a longer name", "<a SubTitle=\"s\">", "Title", "s"},
        {"quotes before an empty tag", "1=<StoryName=\"\"\"\"\"<>", "StoryName", ""},
        {"quotes before a closed tag", "<a Title=\"\"\"\">", "Title", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TagAttribute(c.text, c.pattern), c.expected) << c.name;
        EXPECT_EQ(TagAttribute(c.text, c.pattern),
                  RegexMatch(c.text, "(?i)<[^<>]*" + c.pattern + R"re(\s*=\s*"(.*?)"[^<>]*>)re"))
            << c.name;
    }
    // Every text of up to six characters out of these, and longer ones made
    // at random, against the pattern, with both kinds of value.
    const std::string alphabet = "<>\"= iDx";
    const auto compare = [](const std::string& text) {
        for (const auto& [kind, value] :
             {std::pair{TTagValue::Text, std::string("(.*?)")},
              std::pair{TTagValue::Identifier, std::string(R"re(([a-z\d\-\{\}]+))re")}}) {
            const std::string pattern = R"re((?i)<[^<>]*ID\s*=\s*")re" + value + R"re("[^<>]*>)re";
            if (TagAttribute(text, "ID", kind) != RegexMatch(text, pattern)) return false;
        }
        return true;
    };
    for (size_t length = 1; length <= 6; ++length) {
        std::vector<size_t> digits(length, 0);
        for (;;) {
            std::string text;
            for (const size_t d : digits) text += alphabet[d];
            ASSERT_TRUE(compare(text)) << "[" << text << "]";
            size_t i = 0;
            while (i < length && ++digits[i] == alphabet.size()) digits[i++] = 0;
            if (i == length) break;
        }
    }
    std::mt19937 random(23);
    for (int i = 0; i < 200000; ++i) {
        std::string text(7 + random() % 10, ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        ASSERT_TRUE(compare(text)) << "[" << text << "]";
    }
}

TEST(ContainsImage, FindsAnImageTag) {
    EXPECT_TRUE(ContainsImage("a<IMG src=x.jpg>b"));
    EXPECT_FALSE(ContainsImage("a<imgx"));
    EXPECT_FALSE(ContainsImage("image"));
}

struct TextCase {
    const char* name;
    std::string in;
    std::string expected;
};

TEST(StripTags, DropsListedTagsAndKeepsTheText) {
    const TextCase cases[] = {
        {"anchor text stays", "<a href=\"x\">link</a>", "link"},
        {"bold either case, line break stays", "<B>x</b><br>", "x<br>"},
        {"paragraph stays", "<p><span>x</span></p>", "<p>x</p>"},
        {"script text stays", "<script>var a;</script>", "var a;"},
        {"re-created bold", "<<b>b>x</b>", "x"},
        {"comment", "a<!-- note -->b", "ab"},
        {"declaration", "<!DOCTYPE html>text", "text"},
        // A declaration must not swallow the text up to a later "->".
        {"declaration then arrow", "<!DOCTYPE html><p>one -> two</p>", "<p>one -> two</p>"},
        {"declaration then comment", "<!DOCTYPE html>keep<!-- x -->", "keep"},
        {"comment holding tags", "a<!-- <p>x</p> -->b", "ab"},
        {"not a listed tag", "<abbr>x</abbr><body>", "x<body>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StripTags(c.in), c.expected) << c.name;
    }
}

TEST(DecodeHtmlEntities, EveryReferenceInOnePass) {
    const TextCase cases[] = {
        {"named from the whole table", "&hellip;&mdash;&copy;", platform::Utf8ToAnsi("…—©")},
        {"decimal of any length", "&#20013;&#65;&#8230;",
         "\xD6\xD0"
         "A"
         "\xA1\xAD"},
        {"hexadecimal", "&#x4e2d;&#X41;",
         "\xD6\xD0"
         "A"},
        {"escaped reference shows as it did", "&amp;lt;&AMP;lt;", "&lt;&lt;"},
        {"the classic names in any case", "a&NBSP;b&QUOT;", "a b\""},
        {"other names keep their case", "&Hellip;", "&Hellip;"},
        {"unknown, unended or empty stay", "&bogus; &amp &#; &#xZZ; & x",
         "&bogus; &amp &#; &#xZZ; & x"},
        {"no character stays", "&#0;&#xD800;&#1114112;", "&#0;&#xD800;&#1114112;"},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeHtmlEntities(c.in), c.expected) << c.name;
}

TEST(DecodeEntities, DecodesInOrderWithoutCase) {
    const TextCase cases[] = {
        {"upper-case escaped entity stays escaped", "&AMP;lt;", "&lt;"},
        {"upper-case space", "a&NBSP;b", "a b"},
        {"all named ones", "&quot;&lt;&gt;&amp;", "\"<>&"},
        {"quotation marks in GBK", "&ldquo;x&RDQUO;", "\xA1\xB0x\xA1\xB1"},
        {"numeric stays", "&#20013;", "&#20013;"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeEntities(c.in), c.expected) << c.name;
    }
}

TEST(TextHelpers, LineBreaksNulsAndIndent) {
    EXPECT_EQ(RemoveLineBreaks("a\r\nb\nc\td\re"), "ab\ncde");
    EXPECT_EQ(TrimAndIndent(" \r\n\t\f "), "");
    EXPECT_EQ(TrimAndIndent("\r\n  a b \r\n"), "  a b");
    EXPECT_EQ(TrimAndIndent(""), "");
    EXPECT_EQ(TrimAndIndent("\v"), "  \v");  // as "^\s*" and "\s*$" leave it
    EXPECT_EQ(ReplaceNulWithLF(std::string("a\0b\0", 4)), std::string("a\nb\0", 4));
    EXPECT_EQ(ReplaceNulWithLF(std::string("\0\0", 2)), std::string("\n\0", 2));
    EXPECT_EQ(ReplaceNulWithLF(""), "");
}

TEST(UnescapeUnicode, HexDigitsOnly) {
    const TextCase cases[] = {
        {"one character", "\\u4e2d", "\xD6\xD0"},
        {"upper case", "\\U4E2D!", "\xD6\xD0!"},
        {"several", "a\\u0041\\u0042b", "aABb"},
        // A non-hex byte is no escape: it must not become the character 0.
        {"non-hex is left alone", "\\u4e2g", "\\u4e2g"},
        {"bell byte is no digit", "\\u4e2\a", "\\u4e2\a"},
        {"too short", "\\u4e", "\\u4e"},
        {"decoded backslash starts a new escape", "\\u005cu0041", "A"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UnescapeUnicode(c.in), c.expected) << c.name;
    }
    // The euro sign has no GBK code; GB18030 still round-trips it.
    EXPECT_EQ(platform::AnsiToUtf8(UnescapeUnicode("\\u20ac")), "\xE2\x82\xAC");
}

TEST(DecodeDocumentWrite, UnwrapsScriptWrittenText) {
    EXPECT_EQ(DecodeDocumentWrite("<script>Document.Write('\\u4e2d');</script>"), "'\xD6\xD0'");
    EXPECT_EQ(DecodeDocumentWrite("plain \\u4e2d"), "plain \\u4e2d");
}

TEST(DecodeCharset, OnlyUtf8IsDecoded) {
    EXPECT_EQ(DecodeCharset("\xE4\xB8\xAD", "UTF-8"), "\xD6\xD0");
    EXPECT_EQ(DecodeCharset("\xE4\xB8\xAD", "utf8"), "\xE4\xB8\xAD");
    EXPECT_EQ(DecodeCharset("\xD6\xD0", "gbk"), "\xD6\xD0");
    EXPECT_EQ(DecodeCharset("\xD6\xD0", ""), "\xD6\xD0");
}

TEST(SaltedMD5, HashesTextAndSalt) {
    const TextCase cases[] = {
        {"empty text is the salt alone", "", "c5ed65609383e0b29d34723856a02d1f"},
        {"chapter id", "12345", "85295b11ab87eaeecf009f816785667a"},
        {"GBK bytes", "\xD6\xD0", "7fd71fd10aaf37421ace8aea254a8ad7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SaltedMD5(c.in), c.expected) << c.name;
    }
    EXPECT_EQ(StreamMD5("hello world"), "5eb63bbbe01eeed093cb22bb8f5acdc3");
}

TEST(FileMD5, HashesTheFileOrGivesEmpty) {
    TempTree tree;
    // Larger than one read block, so the pieces are put together right.
    const std::string big(200 * 1024 + 7, 'x');
    EXPECT_EQ(FileMD5(tree.Write("big.bin", big)), StreamMD5(big));
    EXPECT_EQ(FileMD5(tree.Write("empty.bin", "")), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(FileMD5(tree.Path("missing.bin")), "");
    EXPECT_EQ(FileMD5(tree.Path()), "");  // a folder cannot be read as a file
}

TEST(DateTimeText, FormatsLocalTime) {
    std::tm parts{};
    parts.tm_year = 2024 - 1900;
    parts.tm_mon = 0;
    parts.tm_mday = 5;
    parts.tm_hour = 17;
    parts.tm_min = 4;
    parts.tm_sec = 9;
    parts.tm_isdst = -1;
    EXPECT_EQ(DateTimeText(std::mktime(&parts)), "2024-01-05 17:04:09");
}

TEST(URLEncode, EncodesBytesAsGiven) {
    const TextCase cases[] = {
        {"kept characters", "aZ09-._\\{}", "aZ09-._\\{}"},
        {"space becomes plus", "a b", "a+b"},
        {"GBK bytes", "\xD6\xD0", "%D6%D0"},
        {"UTF-8 bytes", "\xE4\xB8\xAD", "%E4%B8%AD"},
        {"reserved characters", "+&=/?%", "%2B%26%3D%2F%3F%25"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(URLEncode(c.in), c.expected) << c.name;
    }
}

TEST(AbsoluteURL, ResolvesLikeTheSites) {
    const std::string base = "http://www.site.com/a/b.html";
    const TextCase cases[] = {
        {"path with slash inside is from the root", "c/d.jpg", "http://www.site.com/c/d.jpg"},
        {"bare name is beside the page", "d.jpg", "http://www.site.com/a/d.jpg"},
        {"rooted path", "/x.jpg", "http://www.site.com/x.jpg"},
        {"dot segments", "../up.jpg", "http://www.site.com/up.jpg"},
        {"dot slash", "./here.jpg", "http://www.site.com/a/here.jpg"},
        {"absolute link unchanged", "https://other.com/x", "https://other.com/x"},
        {"scheme in any case unchanged", "HTTP://a.com/x", "HTTP://a.com/x"},
        {"http inside a path is no scheme", "/book/httpd/1.html",
         "http://www.site.com/book/httpd/1.html"},
        {"http in the query is no scheme", "go.php?u=http://x/",
         "http://www.site.com/go.php?u=http://x/"},
        {"query kept", "d.php?id=1&p=%D6", "http://www.site.com/a/d.php?id=1&p=%D6"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AbsoluteURL(base, c.in), c.expected) << c.name;
    }
    EXPECT_EQ(CombineURL("http://www.site.com", "x.jpg"), "http://www.site.com/x.jpg");
    EXPECT_EQ(CombineURL("no base", "x.jpg"), "");
}

TEST(SafeFileName, ReplacesCharactersNotTrailBytes) {
    const TextCase cases[] = {
        {"every forbidden character", "a\"*/:<>?\\|b", "a         b"},
        {"trail byte 7C of \xE5\x84\x84 stays", "\x83\x7C|", "\x83\x7C "},
        {"trail byte 5C stays", "\x81\x5C\\", "\x81\x5C "},
        {"four-byte character stays", "\x95\x32\x82\x36/", "\x95\x32\x82\x36 "},
        {"control characters stay", "a\tb", "a\tb"},
        {"lone lead byte at the end", "/\x83", " \x83"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SafeFileName(c.in), c.expected) << c.name;
    }
    // A NUL byte would end the name early for the file system.
    EXPECT_EQ(SafeFileName(std::string_view("a\0b:\0", 6)), "ab ");
}

TEST(ReaderFiles, SizeAndPublishedMarker) {
    TempTree tree;
    EXPECT_EQ(GetFileSizeBytes(tree.Write("f.txt", "12345")), 5u);
    EXPECT_EQ(GetFileSizeBytes(tree.Path("missing.txt")), 0u);
    // A folder of a cache file's name is no file: no size, no page, no throw.
    const std::string folder = tree.Make("folder.txt");
    EXPECT_EQ(GetFileSizeBytes(folder), 0u);
    EXPECT_FALSE(IsPublishedPage(folder));

    const TextCase cases[] = {
        {"complete page", "<html>\r\n<!--Published:2024-01-01-->\n</html>", "1"},
        {"empty marker", "<html><!--published:--></html>", ""},
        {"no marker", "<html></html>", ""},
        {"marker over a line break", "<!--published:a\nb-->", "1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsPublishedPage(tree.Write("page.txt", c.in)), c.expected == "1") << c.name;
    }
    EXPECT_FALSE(IsPublishedPage(tree.Path("missing.txt")));
}

TEST(SplitLines, AllThreeBreaks) {
    const auto lines = SplitLines("a\r\nb\nc\rd\r\n\r\ne\n");
    const std::vector<std::string_view> expected = {"a", "b", "c", "d", "", "e"};
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(SplitLines("").empty());
}

}  // namespace
