#include "core/ExportEPUB.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <sys/stat.h>
#include <zip.h>

#include <filesystem>
#include <map>
#include <optional>

#include "StoryTestSupport.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "platform/AtomicFile.h"
#include "tests/support/RunTool.h"

using storytest::A;
using storytest::ReadFile;
using storytest::TempDir;
using storytest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::string Picture(const char* type, int width, int height) {
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, height);
    gdk_pixbuf_fill(pixbuf, 0xC0503000);
    gchar* buffer = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(pixbuf, &buffer, &size, type, nullptr, nullptr);
    std::string bytes(buffer, size);
    g_free(buffer);
    g_object_unref(pixbuf);
    return bytes;
}

// The archive read back: entries in order with their bytes and methods.
struct Entry {
    std::string name;
    std::string bytes;
    uint16_t method = 0;
};

std::vector<Entry> ReadArchive(const std::string& file) {
    std::vector<Entry> entries;
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!archive) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        Entry entry{stat.name, std::string(stat.size, '\0'), stat.comp_method};
        zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        zip_fread(f, entry.bytes.data(), stat.size);
        zip_fclose(f);
        entries.push_back(std::move(entry));
    }
    zip_close(archive);
    return entries;
}

struct Doc {
    explicit Doc(const std::string& xml)
        : doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                            XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING)) {}
    ~Doc() { xmlFreeDoc(doc); }
    Doc(const Doc&) = delete;
    Doc& operator=(const Doc&) = delete;
    // Texts of the elements of that local name, in document order.
    std::vector<std::string> Texts(const char* name) const {
        std::vector<std::string> texts;
        Collect(xmlDocGetRootElement(doc), name, nullptr, texts);
        return texts;
    }
    std::vector<std::string> Attributes(const char* name, const char* attribute) const {
        std::vector<std::string> values;
        Collect(xmlDocGetRootElement(doc), name, attribute, values);
        return values;
    }
    static void Collect(xmlNode* node, const char* name, const char* attribute,
                        std::vector<std::string>& out) {
        for (; node; node = node->next) {
            if (node->type == XML_ELEMENT_NODE &&
                xmlStrcmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0) {
                xmlChar* value = attribute
                                     ? xmlGetProp(node, reinterpret_cast<const xmlChar*>(attribute))
                                     : xmlNodeGetContent(node);
                out.emplace_back(value ? reinterpret_cast<const char*>(value) : "");
                xmlFree(value);
            }
            Collect(node->children, name, attribute, out);
        }
    }
    xmlDoc* doc;
};

// Runs the EPUB checker (a jar) on the file: its exit status and report.
int RunEpubcheck(const std::string& file, std::string& report) {
    // Quick start-up flags: the check is short, the JIT would not pay off.
    return testing_support::RunTool(
        {"java", "-XX:TieredStopAtLevel=1", "-XX:+UseSerialGC", "-jar", "/usr/bin/epubcheck", file},
        report);
}

const std::string kHostileTitle = "</dc:title><script>alert(1)</script> & \"'<![CDATA[";
const std::string kPng = "0123456789abcdef0123456789abcdef";
const std::string kJpeg = "FEDCBA9876543210FEDCBA9876543210";
const std::string kNotAPicture = "00000000000000000000000000000000";
const std::string kLink = "11111111111111111111111111111111";

class ExportEPUBTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storytest::UseShippedTemplates();
        story_ = dir_.Path() / "story";
        WriteFile(story_ / "cover.jpg", Picture("jpeg", 60, 80));
        WriteFile(story_ / kPng, Picture("png", 20, 10));
        WriteFile(story_ / kJpeg, Picture("jpeg", 20, 10));
        WriteFile(story_ / kNotAPicture, "<html>not a picture</html>");
        WriteFile(dir_.Path() / "secret.png", Picture("png", 5, 5));
        fs::create_symlink(dir_.Path() / "secret.png", story_ / kLink);

        exporter_ = std::make_unique<TExportEPUB>();
        exporter_->Title = kHostileTitle;
        exporter_->Author = A("作者 <b>&amp;</b>");
        exporter_->StoryFolder = story_.string() + "/";
        const auto chapter = [](std::string_view volume, std::string_view name, std::string text) {
            TChapterItemData c;
            c.SubVolumnsName = A(volume);
            c.ChapterName = A(name);
            c.ChapterContent = A(text);
            c.Mark = 1;
            return c;
        };
        exporter_->Chapters = {
            chapter("第一卷", "序章（不导出）", "skipped"),
            chapter("第一卷", "第一章 &amp; <i>斜体",
                    "　　第一段 & 第二句 &copy; <b>未闭合<br>第二行&#20013;<p>段"),
            chapter("第一卷", "", "nameless"),
            chapter("第二卷", "第二章 ]]> </text><script>alert(2)</script>",
                    "<h3>插图</h3><div>图：<img src=\"" + kPng + "\"><img src='" + kJpeg +
                        "'></div>"
                        "<img src=\"" +
                        kNotAPicture + "\"><img src=\"" + kLink +
                        "\">"
                        "<img src=\"../secret.png\"><img src=\"http://remote/x.jpg\">"
                        "<img src=\"" +
                        kPng + "\"><script>alert(3)</script>"),
            chapter("第二卷", "第三章", ""),
        };
    }

    TempDir dir_;
    fs::path story_;
    std::unique_ptr<TExportEPUB> exporter_;
};

TEST_F(ExportEPUBTest, PackageIsValidAndHoldsOnlyWhatItShould) {
    const fs::path out = dir_.Path() / "export";
    std::string workFolder;
    exporter_->OnProgress = [&](TStoryExport*, int index, const AnsiString&, int count) {
        EXPECT_EQ(count, 5);
        if (index != 2) return;
        workFolder = exporter_->WorkFolderPath();
        struct stat info {};
        ASSERT_EQ(stat(workFolder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_TRUE(fs::is_directory(fs::path(workFolder) / "OEBPS"));
    };
    const std::string file = exporter_->Export(out.string(), 1);

    // Only the .epub is left in the export folder, and the work folder is gone.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(fs::path(file).parent_path(), out);
    EXPECT_EQ(fs::path(file).extension(), ".epub");
    EXPECT_FALSE(workFolder.empty());
    EXPECT_FALSE(fs::exists(workFolder));

    const auto entries = ReadArchive(file);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].name, "mimetype");
    EXPECT_EQ(entries[0].bytes, "application/epub+zip");
    EXPECT_EQ(entries[0].method, ZIP_CM_STORE);
    std::map<std::string, std::string> files;
    for (const auto& e : entries) files[e.name] = e.bytes;
    EXPECT_EQ(entries.back().name, "META-INF/container.xml");
    for (const char* expected :
         {"OEBPS/content.opf", "OEBPS/toc.ncx", "OEBPS/cover.html", "OEBPS/cover.jpg",
          "OEBPS/default.css", "OEBPS/1.html", "OEBPS/3.html", "OEBPS/4.html"})
        EXPECT_EQ(files.count(expected), 1u) << expected;
    // The chapters before the start and without a name have no page.
    EXPECT_EQ(files.count("OEBPS/0.html"), 0u);
    EXPECT_EQ(files.count("OEBPS/2.html"), 0u);
    // Pictures: the two of the story folder, once each, by their own type.
    EXPECT_EQ(files.count("OEBPS/" + kPng + ".png"), 1u);
    EXPECT_EQ(files.count("OEBPS/fedcba9876543210fedcba9876543210.jpg"), 1u);
    EXPECT_EQ(files["OEBPS/" + kPng + ".png"], ReadFile(story_ / kPng));
    size_t pictures = 0;
    for (const auto& [name, bytes] : files)
        if (name.find(".png") != std::string::npos || name.find(".jpg") != std::string::npos)
            ++pictures;
    EXPECT_EQ(pictures, 3u);  // the cover and the two

    for (const auto& [name, bytes] : files) {
        if (name == "mimetype" || name.find(".css") != std::string::npos ||
            name.find(".png") != std::string::npos || name.find(".jpg") != std::string::npos)
            continue;
        const Doc doc(bytes);
        EXPECT_NE(doc.doc, nullptr) << name << " is not well-formed:\n" << bytes;
        EXPECT_EQ(bytes.find("<script"), std::string::npos) << name;
        EXPECT_EQ(bytes.rfind("<?xml", 0), 0u) << name;
        EXPECT_EQ(bytes.find("{#"), std::string::npos) << name << " keeps a template tag";
    }

    const Doc opf(files["OEBPS/content.opf"]);
    EXPECT_EQ(opf.Texts("title"), std::vector<std::string>{kHostileTitle});
    EXPECT_EQ(opf.Texts("creator"), std::vector<std::string>{"作者 <b>&amp;</b>"});
    const std::vector<std::string> spine{"cover", "chapter-1", "chapter-3", "chapter-4"};
    EXPECT_EQ(opf.Attributes("itemref", "idref"), spine);
    const Doc toc(files["OEBPS/toc.ncx"]);
    // Play order counts from the start chapter; the nameless chapter takes no
    // number, since a gap would make the navigation file invalid.
    EXPECT_EQ(toc.Attributes("navPoint", "playOrder"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(toc.Attributes("navPoint", "id"),
              (std::vector<std::string>{"navpoint-1", "navpoint-2", "navpoint-3"}));
    EXPECT_EQ(toc.Attributes("content", "src"),
              (std::vector<std::string>{"1.html", "3.html", "4.html"}));
    const auto labels = toc.Texts("text");
    ASSERT_EQ(labels.size(), 5u);  // title, author, three chapters
    EXPECT_EQ(labels[0], kHostileTitle);
    EXPECT_EQ(labels[3], "第二章 ]]> </text><script>alert(2)</script>");
    EXPECT_EQ(toc.Attributes("meta", "content")[0], opf.Texts("identifier")[0]);

    const Doc cover(files["OEBPS/cover.html"]);
    EXPECT_EQ(cover.Texts("title"),
              std::vector<std::string>{kHostileTitle + " - [作者 <b>&amp;</b>]"});
    const Doc first(files["OEBPS/1.html"]);
    const auto paragraphs = first.Texts("p");
    ASSERT_GE(paragraphs.size(), 2u);
    EXPECT_EQ(paragraphs[0], "第一段 & 第二句 © 未闭合");
    const Doc pictured(files["OEBPS/3.html"]);
    EXPECT_EQ(pictured.Attributes("img", "src"),
              (std::vector<std::string>{kPng + ".png", "fedcba9876543210fedcba9876543210.jpg",
                                        kPng + ".png"}));
    // The heading stays one; each picture the book cannot hold leaves a note.
    EXPECT_EQ(pictured.Texts("h3"), std::vector<std::string>{"插图"});
    const std::string& page = files["OEBPS/3.html"];
    size_t notes = 0;
    for (size_t at = page.find("[图片]"); at != std::string::npos; at = page.find("[图片]", at + 1))
        ++notes;
    EXPECT_EQ(notes, 4u) << page;

    std::string report;
    EXPECT_EQ(RunEpubcheck(file, report), 0) << report;
    EXPECT_EQ(report.find("ERROR"), std::string::npos) << report;
    EXPECT_EQ(report.find("FATAL"), std::string::npos) << report;
}

TEST_F(ExportEPUBTest, WithoutCoverOrChaptersTheBookIsStillValid) {
    fs::remove(story_ / "cover.jpg");
    const std::string file = exporter_->Export((dir_.Path() / "export").string(), 99);
    const auto entries = ReadArchive(file);
    std::map<std::string, std::string> files;
    for (const auto& e : entries) files[e.name] = e.bytes;
    EXPECT_EQ(files.count("OEBPS/cover.jpg"), 0u);
    EXPECT_EQ(files["OEBPS/cover.html"].find("<img"), std::string::npos);
    EXPECT_EQ(files["OEBPS/content.opf"].find("cover.jpg"), std::string::npos);
    EXPECT_EQ(Doc(files["OEBPS/toc.ncx"]).Attributes("content", "src"),
              std::vector<std::string>{"cover.html"});

    std::string report;
    EXPECT_EQ(RunEpubcheck(file, report), 0) << report;
    EXPECT_EQ(report.find("ERROR"), std::string::npos) << report;
    EXPECT_EQ(report.find("FATAL"), std::string::npos) << report;
}

// A title longer than a file name may be is cut between two characters, and
// the book is an ordinary file of the user's, with the mode the umask gives.
TEST_F(ExportEPUBTest, LongTitleIsCutToAFileNameAndTheModeFollowsTheUmask) {
    std::string title;
    for (int i = 0; i < 150; ++i) title += "长";
    exporter_->Title = A(title);
    const std::string file = exporter_->Export((dir_.Path() / "export").string(), 99);
    ASSERT_TRUE(fs::exists(file)) << file;
    const std::string name = fs::path(file).filename().string();
    EXPECT_LE(name.size(), 255u);
    EXPECT_TRUE(platform::IsValidUtf8(name));
    EXPECT_EQ(title.rfind(name.substr(0, name.size() - 5), 0), 0u) << name;
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, platform::NewFileMode());
}

TEST_F(ExportEPUBTest, CancelledExportWritesNothing) {
    exporter_->OnProgress = [](TStoryExport* sender, int, const AnsiString&, int) {
        sender->Cancel();
    };
    const fs::path out = dir_.Path() / "export";
    const std::string file = exporter_->Export(out.string(), 0);
    EXPECT_FALSE(file.empty());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(fs::exists(exporter_->WorkFolderPath()));
}

// A template bundle beside a program folder of its own: the shipped
// templates, one of them left out or replaced.
std::string BundleWithout(const fs::path& folder, const std::string& name,
                          const std::optional<std::string>& replacement) {
    GResource* shipped =
        g_resource_load((std::string(QUIRA_BIN_DIR) + "/Quira2.gresource").c_str(), nullptr);
    if (!shipped) return {};
    gchar** names =
        g_resource_enumerate_children(shipped, "/quira2/", G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    std::string manifest = "<gresources><gresource prefix=\"/quira2\">";
    for (gchar** n = names; n && *n; ++n) {
        std::string bytes;
        if (*n == name) {
            if (!replacement) continue;
            bytes = *replacement;
        } else if (GBytes* data =
                       g_resource_lookup_data(shipped, (std::string("/quira2/") + *n).c_str(),
                                              G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr)) {
            gsize size = 0;
            const auto* p = static_cast<const char*>(g_bytes_get_data(data, &size));
            bytes.assign(p, size);
            g_bytes_unref(data);
        }
        WriteFile(folder / "src" / *n, bytes);
        manifest += std::string("<file>") + *n + "</file>";
    }
    g_strfreev(names);
    g_resource_unref(shipped);
    manifest += "</gresource></gresources>";
    WriteFile(folder / "src" / "bundle.xml", manifest);
    fs::create_directories(folder / "programs");
    std::string report;
    if (testing_support::RunTool(
            {QUIRA_GLIB_COMPILE_RESOURCES, "--sourcedir=" + (folder / "src").string(),
             "--target=" + (folder / "programs" / "Quira2.gresource").string(),
             (folder / "src" / "bundle.xml").string()},
            report) != 0)
        return {};
    return (folder / "programs").string() + "/";
}

// Mended: a missing or broken template wrote empty or broken files into a
// book that was then reported written. The export fails and leaves nothing.
TEST_F(ExportEPUBTest, AMissingOrBrokenTemplateFailsTheExport) {
    struct Case {
        const char* name;
        std::optional<std::string> replacement;
    } const cases[] = {
        {"EPUB_container", std::nullopt},
        {"EPUB_content", std::nullopt},
        {"EPUB_content", "<html><body>{#Content#}</body>"},
        {"EPUB_cover", std::nullopt},
        {"EPUB_toc", "<ncx><navMap></ncx>"},
        {"EPUB_content_opf", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.replacement ? " broken" : " missing"));
        const TempDir tree;
        const std::string programs = BundleWithout(tree.Path(), c.name, c.replacement);
        ASSERT_FALSE(programs.empty());
        SetProgramFolder(programs);
        TExportEPUB exporter;
        exporter.Title = A("书");
        exporter.Chapters = exporter_->Chapters;
        exporter.StoryFolder = exporter_->StoryFolder;
        const fs::path out = tree.Path() / "export";
        TExportFailure failure = TExportFailure::None;
        try {
            exporter.Export(out.string(), 0);
        } catch (const TExportError& e) {
            failure = e.Failure();
        }
        EXPECT_EQ(failure, TExportFailure::Templates) << "told as what it is";
        EXPECT_FALSE(fs::exists(out / "书.epub"));
        EXPECT_FALSE(fs::exists(exporter.WorkFolderPath()));
    }
    storytest::UseShippedTemplates();
}

TEST_F(ExportEPUBTest, HtmlToXhtmlTurnsLineBreaksAndDropsParagraphTags) {
    EXPECT_EQ(TExportEPUB::HtmlToXhtml(A("<p>一&nbsp;二</p><BR>三<br />&#20013;")),
              A("一 二<br/>三<br/>中"));
}

class ExportEPUBDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storytest::UseShippedTemplates();
        SetDataFolder(dir_.Folder());
        storytest::UseNewStoryDatabase(dir_);
        ASSERT_TRUE(StoryDB()->AddArticle("s", "a", A("书名"), A("作者"), "", "", "", -1, ""));
        {
            TStoryDB::ChapterBatch batch(*StoryDB());
            StoryDB()->AddChapter("s", "a", "c1", A("卷一"), A("第一章"), "", 0);
            StoryDB()->AddChapter("s", "a", "c2", A("卷一"), A("第二章"), "", 1);
        }
        TStoryExportHTML writer;
        writer.FolderName = TStory().GetFolderName("s", "a");
        folder_ = writer.StoryFolder();
        const std::string name = writer.SavePicture(Picture("png", 4, 4), "http://x/p.png");
        writer.WriteChapterPage("c1", A("作者"), A("第一章"), "<img src=\"" + name + "\">");
    }
    void TearDown() override { FreeStoryDB(); }
    TempDir dir_;
    std::string folder_;
};

TEST_F(ExportEPUBDatabaseTest, LoadChaptersKeepsPictureChaptersAndFindsTheStoryFolder) {
    TExportEPUB exporter;
    exporter.LoadArticleInfo("s", "a");
    exporter.LoadChapters("s", "a");
    EXPECT_EQ(exporter.StoryFolder, folder_);
    ASSERT_EQ(exporter.Chapters.size(), 2u);
    EXPECT_TRUE(ContainsImage(exporter.Chapters[0].ChapterContent));
    EXPECT_EQ(exporter.Chapters[1].Mark, 0);
    const auto entries = ReadArchive(exporter.Export(dir_.Folder() + "out", 0));
    size_t pngs = 0;
    for (const auto& e : entries)
        pngs += e.name.size() > 4 && e.name.substr(e.name.size() - 4) == ".png";
    EXPECT_EQ(pngs, 1u);
}

}  // namespace
