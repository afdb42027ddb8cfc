#include "core/StoryExportHTML.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>

#include <filesystem>
#include <functional>

#include "StoryTestSupport.h"
#include "core/Folders.h"
#include "core/Regex.h"
#include "core/StoryDB.h"
#include "core/TextHelpers.h"

using storytest::A;
using storytest::ReadFile;
using storytest::TempDir;
using storytest::U;

namespace {

// The parsed page, for looking at what a browser would see.
struct HtmlDoc {
    explicit HtmlDoc(const std::string& utf8)
        : doc(htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), "page.html", "UTF-8",
                             HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET)) {}
    ~HtmlDoc() { xmlFreeDoc(doc); }
    HtmlDoc(const HtmlDoc&) = delete;
    HtmlDoc& operator=(const HtmlDoc&) = delete;

    void Walk(const std::function<void(xmlNode*)>& visit) const {
        Walk(xmlDocGetRootElement(doc), visit);
    }
    static void Walk(xmlNode* node, const std::function<void(xmlNode*)>& visit) {
        for (; node; node = node->next) {
            visit(node);
            Walk(node->children, visit);
        }
    }
    static std::string Text(xmlNode* node) {
        xmlChar* content = xmlNodeGetContent(node);
        std::string text = content ? reinterpret_cast<const char*>(content) : "";
        xmlFree(content);
        return text;
    }
    static std::string Name(xmlNode* node) { return reinterpret_cast<const char*>(node->name); }
    static std::string Attribute(xmlNode* node, const char* name) {
        xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
        std::string text = value ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    }
    // Elements with the given class, in document order.
    std::vector<xmlNode*> ByClass(const std::string& cls) const {
        std::vector<xmlNode*> found;
        Walk([&](xmlNode* n) {
            if (n->type == XML_ELEMENT_NODE && Attribute(n, "class") == cls) found.push_back(n);
        });
        return found;
    }

    xmlDoc* doc;
};

class StoryExportHTMLTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDataFolder(dir_.Folder());
        storytest::UseShippedTemplates();
        writer_ = std::make_unique<TStoryExportHTML>();
        writer_->FolderName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";
        folder_ = dir_.Path() / "BooK" / "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";
    }

    std::string ListHtml(const char* name = "List.HTML") const { return ReadFile(folder_ / name); }

    TempDir dir_;
    std::unique_ptr<TStoryExportHTML> writer_;
    std::filesystem::path folder_;
};

TEST_F(StoryExportHTMLTest, ListPagesCarryVolumesTheLastReadChapterAndDefaults) {
    writer_->Title = A("剑来");
    writer_->Author = A("烽火");
    writer_->LastReadChapterID = "3";
    writer_->SetChapters({
        {A("第一卷"), A("第一章"), "1", ""},
        {A("第一卷"), A("第二章"), "2", ""},
        {A("第二卷"), A("第三章"), "3", ""},
        {A("第三卷"), A("第四章"), "4", ""},
    });
    writer_->WriteListPages("site1", "story1");

    for (const char* name : {"List.HTML", "List2.HTML"}) {
        const std::string html = ListHtml(name);
        ASSERT_FALSE(html.empty()) << name;
        // UTF-8 without byte-order mark, ending in CR LF.
        EXPECT_TRUE(platform::IsValidUtf8(html));
        EXPECT_NE(html.substr(0, 3), "\xEF\xBB\xBF");
        EXPECT_EQ(html.substr(html.size() - 2), "\r\n");
        EXPECT_NE(html.find("剑来"), std::string::npos);
        EXPECT_NE(html.find("连载中"), std::string::npos);
        EXPECT_NE(html.find("src=\"../../Image/cover.jpg\""), std::string::npos);
        EXPECT_NE(html.find("data-site=\"site1\" data-story=\"story1\""), std::string::npos);

        const HtmlDoc doc(html);
        std::vector<std::string> order;
        doc.Walk([&](xmlNode* n) {
            if (n->type != XML_ELEMENT_NODE) return;
            const std::string cls = HtmlDoc::Attribute(n, "class");
            if (cls == "vol" || cls == "ch") order.push_back(cls + ":" + HtmlDoc::Text(n));
        });
        const std::vector<std::string> expected{"vol:第一卷", "ch:第一章", "ch:第二章",
                                                "vol:第二卷", "ch:第三章", "vol:第三卷",
                                                "ch:第四章"};
        EXPECT_EQ(order, expected) << name;
        EXPECT_NE(html.find("javascript:Browser('4')"), std::string::npos);
        // The red bold last-read name, and its plain name for LastReadChapter.
        EXPECT_NE(html.find("<B><Font Color=\"#FF0000\">第三章</B></Font>"), std::string::npos);
        const auto lastRead = Regex::Get("id=\"lastread\">([^<]*)<");
        RegexMatchResult m;
        ASSERT_TRUE(lastRead->Search(html, m));
        EXPECT_EQ(m.Group(html, 1), "第三章");
    }
    EXPECT_EQ(writer_->State, A("连载中"));
}

TEST_F(StoryExportHTMLTest, ListWithoutVolumesOrLastReadChapterHasNoHeadingsAndEmptyMarks) {
    writer_->State = A("完本");
    writer_->Cover = "http://127.0.0.1/c.jpg";
    writer_->LastReadChapterID = "nosuch";
    writer_->SetChapters({{"", A("第一章"), "1", ""}, {"", A("第二章"), "2", ""}});
    const HtmlDoc doc(U(writer_->ListPage(false, "s", "a")));
    EXPECT_TRUE(doc.ByClass("vol").empty());
    EXPECT_EQ(doc.ByClass("ch").size(), 2u);
    const std::string html = U(writer_->ListPage(false, "s", "a"));
    EXPECT_NE(html.find("完本"), std::string::npos);
    EXPECT_NE(html.find("src=\"http://127.0.0.1/c.jpg\""), std::string::npos);
    EXPECT_NE(html.find("id=\"lastread\"></b>"), std::string::npos);
    EXPECT_NE(html.find("id=\"firstname\">第一章<"), std::string::npos);
}

// Mended: without a last-read chapter, a chapter whose id is empty (a list
// rule that finds no id) was marked as the last one read.
TEST_F(StoryExportHTMLTest, NoLastReadChapterMarksNothing) {
    writer_->SetChapters({{A("第一卷"), A("序"), "", ""}, {A("第一卷"), A("第一章"), "1", ""}});
    const std::string html = U(writer_->ListPage(false, "s", "a"));
    EXPECT_EQ(html.find("#FF0000"), std::string::npos) << html;
    EXPECT_NE(html.find("id=\"lastread\"></b>"), std::string::npos) << html;
}

TEST_F(StoryExportHTMLTest, ItemsAreJoinedAsTheyAreAndOnlyNamedVolumesStartHeadings) {
    writer_->SetChapters({
        {A("第一卷"), A("第一章"), "1", ""},
        {"", A("番外"), "2", ""},
        {A("第一卷"), A("第二章"), "3", ""},
    });
    const std::string html = U(writer_->ListPage(false, "s", "a"));
    const HtmlDoc doc(html);
    const auto volumes = doc.ByClass("vol");
    ASSERT_EQ(volumes.size(), 2u);
    for (xmlNode* volume : volumes) EXPECT_EQ(HtmlDoc::Text(volume), "第一卷");
    EXPECT_EQ(doc.ByClass("ch").size(), 3u);
    // The item bodies follow one another with nothing in between.
    EXPECT_NE(html.find("第一卷</li><li class=\"ch\""), std::string::npos) << html;
    EXPECT_NE(html.find("第一章</a></li><li class=\"ch\""), std::string::npos) << html;
    EXPECT_NE(html.find("番外</a></li><li class=\"vol\">"), std::string::npos) << html;
}

TEST_F(StoryExportHTMLTest, EmptyListGivesEmptyArticleListAndFirstChapter) {
    writer_->WriteListPages("s", "a");
    const std::string html = ListHtml();
    const HtmlDoc doc(html);
    EXPECT_TRUE(doc.ByClass("ch").empty());
    EXPECT_TRUE(doc.ByClass("vol").empty());
    EXPECT_NE(html.find("id=\"firstname\"></span>"), std::string::npos);
    // The block definitions stay hidden inside their comment.
    EXPECT_EQ(html.find("{#ArticleList#}"), std::string::npos);
}

TEST_F(StoryExportHTMLTest, HostileSiteTextsComeOutInert) {
    const std::string hostile = "<script>alert(1)</script>\"><img src=x onerror=alert(2)>{#Intro#}";
    writer_->Title = hostile;
    writer_->Author = "</b><script>alert(5)</script>";
    writer_->Keywords = "\" onmouseover=\"alert(6)";
    writer_->LastInfo2 = "<iframe src=javascript:alert(7)>";
    writer_->Cover = "javascript:alert(8)";
    writer_->Intro =
        "<p onclick=\"evil()\">intro</p><script>evil()</script>"
        "<a href=\"javascript:evil()\">link</a>";
    writer_->LastReadChapterID = "1');alert(3);//";
    writer_->SetChapters(
        {{"<script>alert(9)</script>", "</a><script>alert(4)</script>", "1');alert(3);//", ""}});
    writer_->WriteListPages("s'\"", "a<>");

    for (const char* name : {"List.HTML", "List2.HTML"}) {
        const HtmlDoc doc(ListHtml(name));
        const auto pageCall = Regex::Get("^javascript:[A-Za-z]+\\(('[^'\"]*')?\\)$");
        int scripts = 0;
        doc.Walk([&](xmlNode* n) {
            if (n->type != XML_ELEMENT_NODE) return;
            const std::string element = HtmlDoc::Name(n);
            if (element == "script") {
                ++scripts;
                EXPECT_EQ(HtmlDoc::Text(n).find("alert"), std::string::npos) << name;
                EXPECT_EQ(HtmlDoc::Text(n).find("evil"), std::string::npos) << name;
            }
            EXPECT_NE(element, "iframe") << name;
            // Attribute values are inert text unless they are event handlers or
            // script URLs; those may only be the page's own.
            for (xmlAttr* a = n->properties; a; a = a->next) {
                const std::string attribute = reinterpret_cast<const char*>(a->name);
                const std::string value = HtmlDoc::Attribute(n, attribute.c_str());
                if (attribute.rfind("on", 0) == 0) {
                    EXPECT_EQ(value.find("alert"), std::string::npos) << name << " " << attribute;
                    EXPECT_EQ(value.find("evil"), std::string::npos) << name << " " << attribute;
                }
                if (value.rfind("javascript:", 0) == 0) {
                    EXPECT_TRUE(pageCall->Matches(value)) << name << " " << value;
                }
            }
            if (element == "h1") {
                EXPECT_EQ(HtmlDoc::Text(n), hostile) << name;
            }
        });
        EXPECT_EQ(scripts, 1) << name << ": only the page's own script";

        // The chapter link calls Browser with one string that holds the id.
        const auto links = doc.ByClass("ch");
        ASSERT_EQ(links.size(), 1u);
        xmlNode* a = links[0]->children;
        while (a && a->type != XML_ELEMENT_NODE) a = a->next;
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(HtmlDoc::Attribute(a, "href"),
                  "javascript:Browser('1\\x27\\x29\\x3Balert\\x283\\x29\\x3B\\x2F\\x2F')");
        EXPECT_EQ(HtmlDoc::Text(a), "</a><script>alert(4)</script>");
    }
    // A bad cover location falls back to the default cover.
    EXPECT_NE(ListHtml().find("src=\"../../Image/cover.jpg\""), std::string::npos);
}

TEST_F(StoryExportHTMLTest, ChapterPageIsAGbkCacheFileWithItsMarkers) {
    const std::string content =
        A("　　正文&hellip;<br><script>evil()</script><!--published:x-->第二行");
    const std::string file =
        writer_->WriteChapterPage("10086", A("作者<乙>"), A("第一章 ]>-->"), content);
    EXPECT_EQ(file, (folder_ / (SaltedMD5("10086") + ".txt")).string());
    // The same id always names the same file.
    EXPECT_EQ(writer_->WriteChapterPage("10086", "", "", "x"), file);
    writer_->WriteChapterPage("10086", A("作者<乙>"), A("第一章 ]>-->"), content);
    EXPECT_EQ(std::filesystem::path(file).filename().string().size(), 36u);

    const std::string text = ReadFile(file);
    EXPECT_FALSE(platform::IsValidUtf8(text));  // GBK bytes
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_TRUE(IsPublishedPage(file));
    const auto marker = [&](const std::string& name) {
        RegexMatchResult m;
        const auto regex = Regex::Get("(?i)" + name + "=<\\[(.*?)\\]>");
        return regex->Search(text, m) ? std::string(m.Group(text, 1)) : std::string("-");
    };
    EXPECT_EQ(marker("ChapterName"), A("第一章 ]&gt;--&gt;"));
    EXPECT_EQ(marker("Author"), A("作者&lt;乙&gt;"));
    EXPECT_TRUE(
        Regex::Get("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")->Matches(marker("UpdateTime")));
    // Without the comments only the (sanitised) chapter text is left.
    const std::string rest = RegexReplaceAll("(?i)<!\\-\\-(.*?)\\-\\->", text, "");
    EXPECT_EQ(TrimAndIndent(rest), "  " + A("　　正文&hellip;<br>第二行"));
}

TEST_F(StoryExportHTMLTest, PicturesAndCover) {
    EXPECT_EQ(writer_->SavePicture("", "http://x/p.png"), "http://x/p.png");
    const std::string name = writer_->SavePicture("PNGBYTES", "http://x/p.png");
    EXPECT_EQ(name, SaltedMD5("http://x/p.png"));
    EXPECT_EQ(ReadFile(folder_ / name), "PNGBYTES");
    // Where the picture cannot be stored (a folder holds its name), the page
    // keeps the remote address.
    std::filesystem::create_directories(folder_ / SaltedMD5("http://x/q.png"));
    EXPECT_EQ(writer_->SavePicture("PNGBYTES", "http://x/q.png"), "http://x/q.png");

    // An undecodable cover writes nothing.
    writer_->CoverStream = "not a picture";
    EXPECT_FALSE(writer_->SaveCover());
    EXPECT_FALSE(std::filesystem::exists(folder_ / "cover.jpg"));

    // A transparent PNG becomes an opaque JPEG.
    GdkPixbuf* png = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 12, 16);
    gdk_pixbuf_fill(png, 0x3366CC80);
    gchar* buffer = nullptr;
    gsize size = 0;
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(png, &buffer, &size, "png", nullptr, nullptr));
    writer_->CoverStream.assign(buffer, size);
    g_free(buffer);
    g_object_unref(png);
    ASSERT_TRUE(writer_->SaveCover());
    const std::string jpeg = ReadFile(folder_ / "cover.jpg");
    ASSERT_GT(jpeg.size(), 3u);
    EXPECT_EQ(jpeg.substr(0, 3), "\xFF\xD8\xFF");
    GdkPixbuf* back = gdk_pixbuf_new_from_file((folder_ / "cover.jpg").c_str(), nullptr);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(back), 12);
    EXPECT_EQ(gdk_pixbuf_get_height(back), 16);
    g_object_unref(back);
}

TEST_F(StoryExportHTMLTest, NoFolderNameWritesNothingIntoTheBookFolder) {
    for (const char* bad : {"", "..", "a/b"}) {
        writer_->FolderName = bad;
        EXPECT_EQ(writer_->WriteChapterPage("1", "", "", "x"), "") << bad;
        writer_->WriteListPages("s", "a");
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "BooK" / "List.HTML"));
    EXPECT_FALSE(std::filesystem::exists(dir_.Path() / "List.HTML"));
}

class ChapterCacheFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDataFolder(dir_.Folder());
        storytest::UseNewStoryDatabase(dir_);
    }
    void TearDown() override { FreeStoryDB(); }
    TempDir dir_;
};

TEST_F(ChapterCacheFileTest, NamesTheFileInTheStoryFolder) {
    ASSERT_TRUE(StoryDB()->AddArticle("s", "a", "t", "", "", "", "", -1, ""));
    AnsiString folderName;
    ASSERT_TRUE(StoryDB()->GetFolderName("s", "a", folderName));
    EXPECT_EQ(ChapterCacheFile("s", "a", "123"),
              BookFolder() + folderName + "/" + SaltedMD5("123") + ".txt");
    EXPECT_EQ(ChapterCacheFile("s", "unknown", "123"), "");
}

}  // namespace
