#include "core/ExportText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "StoryTestSupport.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"

using storytest::A;
using storytest::ReadFile;
using storytest::TempDir;
using storytest::WriteFile;

namespace {

TChapterItemData Chapter(std::string_view name, std::string_view id, std::string_view text) {
    TChapterItemData chapter;
    chapter.ChapterName = A(name);
    chapter.ChapterID = std::string(id);
    chapter.ChapterContent = A(text);
    chapter.Mark = text.empty() ? 0 : 1;
    return chapter;
}

class ExportTextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storytest::UseShippedTemplates();
        exporter_ = std::make_unique<TExportText>();
        exporter_->Title = A("剑来: 第一部?");
        exporter_->Author = A("烽火");
        exporter_->Intro = A("<p>简介&nbsp;一</p><p>简介二</p>");
        exporter_->Chapters = {
            Chapter("第一章", "1",
                    "<p>第一段&#20013;&#x4e2d;&#2001;&#200130;&hellip;&mdash;&copy;&#8230;"
                    "&amp;lt;&bogus;</p><p>第二段</p>"),
            Chapter("", "2", "nameless"),
            Chapter("第二章", "3", ""),
            Chapter("第三章", "4", ""),
            Chapter("第四章", "5", "末段<br/>\r\n  \r\n结束"),
        };
    }

    TempDir dir_;
    std::unique_ptr<TExportText> exporter_;
};

TEST_F(ExportTextTest, WritesGbkHeaderAndChaptersWithNoticesForMissingText) {
    std::vector<std::pair<int, AnsiString>> progress;
    exporter_->OnProgress = [&](TStoryExport*, int index, const AnsiString& name, int count) {
        EXPECT_EQ(count, 5);
        progress.emplace_back(index, name);
    };
    const std::string file = exporter_->Export(dir_.Folder(), 0);
    // Colon and question mark become spaces in the file name.
    EXPECT_EQ(file, dir_.Folder() + "剑来  第一部 .txt");
    const std::string bytes = ReadFile(file);
    ASSERT_FALSE(bytes.empty());
    EXPECT_FALSE(platform::IsValidUtf8(bytes));
    const std::string text = storytest::U(bytes);

    EXPECT_EQ(text.rfind("《剑来: 第一部?》\r\n作者：烽火\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("简介 一\r\n简介二"), std::string::npos);
    // A plain-text file holds no markup: every named and numeric reference
    // is its character, an escaped one shows as it did, an unknown one stays.
    EXPECT_NE(text.find("第一章\r\n\r\n  \r\n第一段中中\u07D1\U00030DC2…—©…&lt;&bogus;\r\n第二段"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("nameless"), std::string::npos);
    const std::string notice = storytest::U(TExportText::NoticeText());
    EXPECT_NE(text.find("第二章\r\n\r\n" + notice), std::string::npos);
    EXPECT_NE(text.find("第三章\r\n\r\n" + notice), std::string::npos);
    // A line of white space alone between line breaks goes.
    EXPECT_NE(text.find("末段\r\n结束"), std::string::npos) << text;

    ASSERT_EQ(progress.size(), 5u);
    EXPECT_EQ(progress.front(), std::make_pair(1, A("第一章")));
    EXPECT_EQ(progress.back(), std::make_pair(5, A("第四章")));
}

// Titles and names come stored with only a few references decoded; the
// plain-text file shows each as its character, the file name too.
TEST_F(ExportTextTest, TitlesAndNamesHoldNoReferences) {
    exporter_->Title = A("剑来&hellip;续");
    exporter_->Author = A("烽&#28779;");
    exporter_->Chapters = {Chapter("第一章 &mdash; <b>起</b>&#8230;", "1", "<p>正文</p>")};
    const std::string file = exporter_->Export(dir_.Folder(), 0);
    EXPECT_EQ(file, dir_.Folder() + "剑来…续.txt");
    const std::string text = storytest::U(ReadFile(file));
    EXPECT_EQ(text.rfind("《剑来…续》\r\n作者：烽火\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("第一章 — 起…\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('&'), std::string::npos) << text;
}

// Mended: an empty title named the file ".txt", hidden and nameless; such a
// title gives "未命名".
TEST(ExportFileName, AnEmptyTitleGivesAName) {
    EXPECT_EQ(ExportFileName("/x", "", ".txt"), "/x/未命名.txt");
    EXPECT_EQ(ExportFileName("/x/", "..", ".epub"), "/x/未命名.epub");
    EXPECT_EQ(ExportFileName("/x", A("剑来"), ".txt"), "/x/剑来.txt");
}

// Mended: a five-digit reference above 65535 is no UTF-16 code unit; read as
// one it became another character. It stays as written.
TEST(DecodeFiveDigitReferences, OnlyCodeUnitsBecomeCharacters) {
    EXPECT_EQ(DecodeFiveDigitReferences("&#20013;&#65535;&#65536;&#99999;"),
              A("中") + platform::Utf16UnitToAnsi(65535) + "&#65536;&#99999;");
}

TEST_F(ExportTextTest, StartIndexChoosesTheFirstChapter) {
    const std::string fromThird = storytest::U(ReadFile(exporter_->Export(dir_.Folder(), 3)));
    EXPECT_EQ(fromThird.find("第二章"), std::string::npos);
    EXPECT_NE(fromThird.find("第三章"), std::string::npos);
    // Beyond the last chapter: the header alone.
    const std::string header = storytest::U(ReadFile(exporter_->Export(dir_.Folder(), 99)));
    EXPECT_NE(header.find("作者：烽火"), std::string::npos);
    EXPECT_EQ(header.find("第一章"), std::string::npos);
}

TEST_F(ExportTextTest, CancelledExportLeavesTheEarlierFile) {
    const std::string file = exporter_->Export(dir_.Folder(), 0);
    const std::string before = ReadFile(file);
    exporter_->Chapters.push_back(Chapter("新章", "6", "new"));

    exporter_->OnProgress = [](TStoryExport* sender, int index, const AnsiString&, int) {
        if (index == 2) sender->Cancel();
    };
    EXPECT_EQ(exporter_->Export(dir_.Folder(), 0), file);
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_TRUE(exporter_->Cancelled());
}

TEST_F(ExportTextTest, ASaveFailureReachesTheCaller) {
    WriteFile(dir_.Path() / "blocker", "a file where the folder should be");
    const std::string folder = (dir_.Path() / "blocker").string();
    EXPECT_THROW(exporter_->Export(folder, 0), TExportError);

    std::atomic<bool> done = false;
    std::string error;
    TExportFailure failure = TExportFailure::None;
    exporter_->OnDone = [&](TStoryExport*, const std::string&, bool ok, TExportFailure f,
                            const std::string& e) {
        EXPECT_FALSE(ok);
        failure = f;
        error = e;
        done = true;
    };
    ASSERT_TRUE(exporter_->Start("s", "a", folder, 0));
    exporter_->Wait();
    EXPECT_TRUE(done);
    EXPECT_NE(failure, TExportFailure::None);
    EXPECT_FALSE(error.empty());
}

// Mended: without the template bundle every chapter came out empty, in a
// file reported written. The export fails, saying that a template is missing.
TEST_F(ExportTextTest, WithoutItsTemplateTheExportFailsAndWritesNothing) {
    const TempDir programs;
    SetProgramFolder(programs.Folder());
    TExportText exporter;
    exporter.Title = exporter_->Title;
    exporter.Chapters = exporter_->Chapters;
    TExportFailure failure = TExportFailure::None;
    try {
        exporter.Export(dir_.Folder() + "out", 0);
    } catch (const TExportError& e) {
        failure = e.Failure();
    }
    EXPECT_EQ(failure, TExportFailure::Templates);
    EXPECT_FALSE(std::filesystem::exists(dir_.Folder() + "out"));
    storytest::UseShippedTemplates();
}

class ExportTextDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        storytest::UseShippedTemplates();
        SetDataFolder(dir_.Folder());
        storytest::UseNewStoryDatabase(dir_);
        ASSERT_TRUE(
            StoryDB()->AddArticle("s", "a", A("书名"), A("作者"), A("简介"), "", "", -1, ""));
        {
            TStoryDB::ChapterBatch batch(*StoryDB());
            StoryDB()->AddChapter("s", "a", "c1", "", A("第一章"), "", 0);
            StoryDB()->AddChapter("s", "a", "c2", "", A("第二章"), "", 1);
            StoryDB()->AddChapter("s", "a", "c3", "", A("第三章"), "", 2);
        }
        TStoryExportHTML writer;
        writer.FolderName = TStory().GetFolderName("s", "a");
        writer.WriteChapterPage("c1", A("作者"), A("第一章"), A("正文一"));
        writer.WriteChapterPage("c2", A("作者"), A("第二章"), "<img src=\"pic\">");
    }
    void TearDown() override { FreeStoryDB(); }
    TempDir dir_;
};

TEST_F(ExportTextDatabaseTest, LoadsCachedTextsAndDropsPictureChapters) {
    TExportText exporter;
    exporter.LoadArticleInfo("s", "a");
    EXPECT_EQ(exporter.Title, A("书名"));
    exporter.LoadChapters("s", "a");
    ASSERT_EQ(exporter.Chapters.size(), 3u);
    EXPECT_EQ(exporter.Chapters[0].Mark, 1);
    EXPECT_EQ(TrimAndIndent(exporter.Chapters[0].ChapterContent), "  " + A("正文一"));
    EXPECT_EQ(exporter.Chapters[1].Mark, 1);
    EXPECT_EQ(exporter.Chapters[1].ChapterContent, "");
    EXPECT_EQ(exporter.Chapters[2].Mark, 0);

    const std::string text = storytest::U(ReadFile(exporter.Export(dir_.Folder() + "out", 0)));
    EXPECT_NE(text.find("正文一"), std::string::npos);
    EXPECT_EQ(text.find("published"), std::string::npos);
    EXPECT_EQ(text.find("ChapterName="), std::string::npos);
    const std::string notice = storytest::U(TExportText::NoticeText());
    EXPECT_NE(text.find("第二章\r\n\r\n" + notice), std::string::npos);
    EXPECT_NE(text.find("第三章\r\n\r\n" + notice), std::string::npos);
}

TEST_F(ExportTextDatabaseTest, StartExportsOnAWorkerAndCancelSavesNothing) {
    TExportText exporter;
    exporter.LoadArticleInfo("s", "a");
    std::mutex mutex;
    std::condition_variable cv;
    int done = 0;
    bool written = false;
    std::string fileName;
    std::thread::id progressThread;
    bool cancelAt2 = true;
    exporter.OnProgress = [&](TStoryExport* sender, int index, const AnsiString&, int) {
        progressThread = std::this_thread::get_id();
        if (cancelAt2 && index == 2) sender->Cancel();
    };
    exporter.OnDone = [&](TStoryExport*, const std::string& name, bool ok, TExportFailure,
                          const std::string&) {
        std::lock_guard lock(mutex);
        ++done;
        written = ok;
        fileName = name;
        cv.notify_all();
    };
    const auto waitDone = [&](int n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return done == n; });
    };

    ASSERT_TRUE(exporter.Start("s", "a", dir_.Folder() + "out", 0));
    ASSERT_TRUE(waitDone(1));
    exporter.Wait();
    EXPECT_NE(progressThread, std::this_thread::get_id());
    EXPECT_FALSE(written);
    EXPECT_FALSE(std::filesystem::exists(fileName)) << fileName;

    cancelAt2 = false;
    ASSERT_TRUE(exporter.Start("s", "a", dir_.Folder() + "out", 0));
    ASSERT_TRUE(waitDone(2));
    exporter.Wait();
    EXPECT_TRUE(written);
    EXPECT_TRUE(std::filesystem::exists(fileName)) << fileName;
}

// The other program keeps the database locked past the busy time-out: the
// export fails and says why, rather than writing the header alone as a story
// without chapters.
TEST_F(ExportTextDatabaseTest, ChapterListThatCannotBeReadFailsTheExport) {
    const std::string path = (dir_.Path() / "idata.dll").string();
    SetStoryDB(std::make_unique<TStoryDB>(path, 50));
    TExportText exporter;
    exporter.LoadArticleInfo("s", "a");
    auto other = dbtest::Raw(path);
    ASSERT_TRUE(other->Execute("BEGIN EXCLUSIVE"));
    exporter.LoadChapters("s", "a");
    ASSERT_TRUE(other->Execute("COMMIT"));
    EXPECT_TRUE(exporter.Chapters.empty());
    TExportFailure failure = TExportFailure::None;
    try {
        exporter.Export(dir_.Folder() + "out", 0);
    } catch (const TExportError& e) {
        failure = e.Failure();
    }
    EXPECT_EQ(failure, TExportFailure::ChapterList);
    EXPECT_FALSE(std::filesystem::exists(dir_.Folder() + "out"));
    // Read again, the list is there and the export goes through.
    exporter.LoadChapters("s", "a");
    EXPECT_EQ(exporter.Chapters.size(), 3u);
    EXPECT_NO_THROW(exporter.Export(dir_.Folder() + "out", 0));
}

}  // namespace
