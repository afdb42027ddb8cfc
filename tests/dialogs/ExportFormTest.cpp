// The export dialog's steps against a fake novel site: the picture warning,
// the first chapter, the remembered folder, the download of what is missing,
// the export on its worker, its failures and its cancel.

#include <glib.h>
#include <sys/wait.h>

#include <filesystem>

#include "DialogFixture.h"
#include "core/StoryExportHTML.h"
#include "shelf/dialogs/ExportFormController.h"

namespace {

using namespace dialogtest;
using testing_support::FakeStory;
namespace fs = std::filesystem;

// The files of a folder (names), hidden ones included.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int RunEpubcheck(const std::string& file, std::string& report) {
    const char* argv[] = {"java", "-XX:TieredStopAtLevel=1", "-XX:+UseSerialGC",
                          "-jar", "/usr/bin/epubcheck",      file.c_str(),
                          nullptr};
    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = -1;
    const bool ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_SEARCH_PATH,
                                  nullptr, nullptr, &out, &err, &status, nullptr);
    report = std::string(out ? out : "") + (err ? err : "");
    g_free(out);
    g_free(err);
    return ran && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ExportFormTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        folder_ = tree_.Make("export");
        boxes_.answer = platform::ui::IdYes;
    }

    // A controller whose message boxes answer Yes.
    std::unique_ptr<TExportFormController> Dialog(const FakeStory& story) {
        auto dialog = std::make_unique<TExportFormController>("gbk", story.id, A("测试书站"));
        dialog->MessageBox = boxes_.Fn();
        dialog->OnChanged = [this, d = dialog.get()] {
            const auto& state = d->GetState();
            steps_.push_back(state.Step);
            texts_.push_back(U(state.Description));
        };
        dialog->FillChapters();
        return dialog;
    }
    bool WaitFinished(TExportFormController& dialog) {
        return PumpUntil([&] { return dialog.GetState().Finished; }, 60s);
    }
    size_t ChapterRequests(const FakeStory& story, size_t index) {
        return server_.RequestCount(Site().ChapterPath(story.id, story.Chapters()[index]->id));
    }

    std::string folder_;
    MessageRecorder boxes_;
    std::vector<int> steps_;
    std::vector<std::string> texts_;
};

TEST_F(ExportFormTest, NoToThePictureWarningStaysInTheFirstStep) {
    const FakeStory story = StoredStory(3);
    boxes_.answer = platform::ui::IdNo;
    auto dialog = Dialog(story);
    dialog->Next(TExportFormat::Text, 0, A(folder_));
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    const auto& box = boxes_.boxes[0];
    EXPECT_EQ(box.caption, "Tolvane");
    EXPECT_EQ(box.buttons, platform::ui::MessageButtons::YesNo);
    EXPECT_EQ(box.icon, platform::ui::MessageIcon::Warning);
    EXPECT_EQ(box.defaultResult, platform::ui::IdNo);
    EXPECT_EQ(box.text.rfind("您要导出的图书章节中可能含有图片", 0), 0u);
    EXPECT_EQ(dialog->GetState().Step, 0);
    EXPECT_TRUE(dialog->GetState().ChoicesVisible);
    Drain();
    EXPECT_EQ(server_.Requests().size(), 0u);
    // EPUB asks nothing.
    dialog->Next(TExportFormat::Epub, 0, A(folder_));
    EXPECT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(dialog->GetState().Step, 1);
    EXPECT_TRUE(WaitFinished(*dialog));
}

TEST_F(ExportFormTest, TheFifthChapterStartsTheDownloadAndTheTextAtIndexFour) {
    const FakeStory story = StoredStory(8);
    auto dialog = Dialog(story);
    ASSERT_EQ(dialog->ChapterNames().size(), 8u);
    EXPECT_EQ(U(dialog->Caption()), "小说导出  来源站点：测试书站");
    dialog->Next(TExportFormat::Text, 4, A(folder_ + "  "));
    EXPECT_EQ(dialog->StartChapter(), 4);
    EXPECT_EQ(U(dialog->GetState().Title), "小说下载中");
    ASSERT_TRUE(WaitFinished(*dialog));
    const auto& state = dialog->GetState();
    ASSERT_TRUE(state.Written) << U(state.Description);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(ChapterRequests(story, i), 0u) << i;
    for (size_t i = 4; i < 8; ++i) EXPECT_EQ(ChapterRequests(story, i), 1u) << i;
    // Download, then export: the steps never go back.
    EXPECT_TRUE(std::is_sorted(steps_.begin(), steps_.end()));
    EXPECT_NE(std::find(texts_.begin(), texts_.end(),
                        "正在处理（章节较多，请耐心等候）:" + story.Chapters()[4]->name),
              texts_.end());

    EXPECT_EQ(U(state.Title), "小说导出完成");
    EXPECT_EQ(U(state.Description), "小说已经导出到:" + dialog->FileName());
    EXPECT_FALSE(state.CancelVisible);
    EXPECT_EQ(U(state.OKCaption), "完成");
    EXPECT_EQ(fs::path(dialog->FileName()).parent_path(), fs::path(folder_));
    const std::string text = U(testing_support::TempTree::Read(dialog->FileName()));
    EXPECT_EQ(text.find(story.Chapters()[3]->name), std::string::npos);
    EXPECT_NE(text.find(story.Chapters()[4]->name), std::string::npos);
    EXPECT_NE(text.find(story.Chapters()[7]->name), std::string::npos);
    // The folder is remembered, trimmed.
    AnsiString remembered;
    ASSERT_TRUE(DB().GetExportFolder(remembered));
    EXPECT_EQ(U(remembered), folder_);

    bool closed = false;
    dialog->OnClose = [&] { closed = true; };
    dialog->Next();
    EXPECT_TRUE(closed);
    EXPECT_EQ(dialog->GetState().Step, 3);
}

TEST_F(ExportFormTest, AnEpubOfCachedChaptersGoesStraightToTheExportAndPassesTheChecker) {
    const FakeStory story = StoredStory(6, 3);
    {
        auto first = Dialog(story);
        first->Next(TExportFormat::Epub, 0, A(folder_));
        ASSERT_TRUE(WaitFinished(*first));
        ASSERT_TRUE(first->GetState().Written) << U(first->GetState().Description);
        std::string report;
        EXPECT_EQ(RunEpubcheck(first->FileName(), report), 0) << report;
    }
    server_.ClearLog();
    steps_.clear();
    auto again = Dialog(story);
    again->Next(TExportFormat::Epub, 0, A(folder_));
    ASSERT_TRUE(WaitFinished(*again));
    EXPECT_TRUE(again->GetState().Written);
    EXPECT_EQ(server_.Requests().size(), 0u);
    EXPECT_EQ(again->FailedChapters(), 0);
}

TEST_F(ExportFormTest, TheRememberedFolderFallsBackToTheDesktopThenHome) {
    const FakeStory story = StoredStory(1);
    const std::string home = tree_.Path("home");
    const std::string desktop = home + "/Desktop";
    struct Case {
        const char* name;
        std::string stored;  // UTF-8; empty: none stored
        bool desktopExists;
        std::string expected;
    };
    const Case cases[] = {
        {"stored and there", folder_, true, folder_},
        {"stored and gone", tree_.Path("gone"), true, desktop},
        {"none stored", "", true, desktop},
        {"no desktop either", tree_.Path("gone"), false, home},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(DB().ClearTable("HTMLParam"));
        if (!c.stored.empty()) {
            ASSERT_TRUE(DB().SetExportFolder(A(c.stored)));
        }
        fs::remove_all(desktop);
        if (c.desktopExists) fs::create_directories(desktop);
        const auto dialog = Dialog(story);
        EXPECT_EQ(U(dialog->ExportFolder()), c.expected);
        AnsiString stored;
        ASSERT_TRUE(DB().GetExportFolder(stored));
        EXPECT_EQ(U(stored), c.expected);
    }
}

TEST_F(ExportFormTest, AFolderThatCannotTakeTheFileIsRefusedInTheFirstStep) {
    const FakeStory story = StoredStory(2);
    const std::string file = tree_.Write("afile", "x");
    auto dialog = Dialog(story);
    dialog->Next(TExportFormat::Epub, 0, A(file + "/sub"));
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_NE(boxes_.boxes[0].text.find("无法在导出位置保存文件"), std::string::npos);
    EXPECT_EQ(dialog->GetState().Step, 0);
    Drain();
    EXPECT_EQ(server_.Requests().size(), 0u);
    // A folder that does not exist yet is made.
    dialog->Next(TExportFormat::Epub, 0, A(folder_ + "/new/deeper"));
    EXPECT_EQ(dialog->GetState().Step, 1);
    EXPECT_TRUE(fs::is_directory(folder_ + "/new/deeper"));
    ASSERT_TRUE(WaitFinished(*dialog));
}

TEST_F(ExportFormTest, AWriteFailureAndMissingChaptersAreReported) {
    const FakeStory story = StoredStory(4);
    testing_support::Fault dead;
    dead.status = 500;
    server_.SetFault(Site().ChapterPath(story.id, story.Chapters()[1]->id), dead);
    // The file's place is taken by a folder: the export cannot write it.
    fs::create_directories(folder_ + "/" + story.title + ".txt");
    auto dialog = Dialog(story);
    dialog->Next(TExportFormat::Text, 0, A(folder_));
    ASSERT_TRUE(WaitFinished(*dialog));
    const auto& state = dialog->GetState();
    EXPECT_FALSE(state.Written);
    EXPECT_EQ(U(state.Title), "小说导出失败");
    EXPECT_EQ(U(state.Description), "小说导出失败，无法在导出位置写入文件:" + folder_);
    EXPECT_TRUE(state.OKEnabled);
    EXPECT_EQ(dialog->FailedChapters(), 1);

    // With room for the file it is written, and the missing chapter is named.
    fs::remove_all(folder_ + "/" + story.title + ".txt");
    auto again = Dialog(story);
    again->Next(TExportFormat::Text, 0, A(folder_));
    ASSERT_TRUE(WaitFinished(*again));
    EXPECT_TRUE(again->GetState().Written);
    EXPECT_EQ(U(again->GetState().Description),
              "小说已经导出到:" + again->FileName() +
                  "\r\n有1个章节未能下载，文件中只有这些章节的提示。");
}

// Mended: a chapter list that the download could not read (the other program
// held the database) gave a file without its missing chapters reported, or
// the folder's failure text. Each cause is told as what it is.
TEST_F(ExportFormTest, AnUnreadableChapterListIsToldAsSuch) {
    const FakeStory story = StoredStory(4);
    auto dialog = Dialog(story);
    const auto other = HoldDatabaseLocked();
    ASSERT_TRUE(other);
    dialog->Next(TExportFormat::Epub, 0, A(folder_));
    ASSERT_TRUE(WaitFinished(*dialog));
    ASSERT_TRUE(other->Execute("COMMIT"));
    const auto& state = dialog->GetState();
    EXPECT_FALSE(state.Written);
    EXPECT_EQ(U(state.Title), "小说导出失败");
    EXPECT_EQ(U(state.Description),
              "小说导出失败，无法从数据库读取小说的章节列表"
              "（数据库正被另一个程序使用），请稍后重试。");
    EXPECT_TRUE(fs::is_empty(folder_)) << "no file";
    EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(ExportFormTest, AMissingTemplateIsToldAsSuch) {
    const FakeStory story = StoredStory(3);
    auto dialog = Dialog(story);
    // A program folder without the template bundle.
    SetProgramFolder(tree_.Make("bare") + "/");
    dialog->Next(TExportFormat::Epub, 0, A(folder_));
    ASSERT_TRUE(WaitFinished(*dialog));
    SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
    EXPECT_FALSE(dialog->GetState().Written);
    EXPECT_EQ(U(dialog->GetState().Description),
              "小说导出失败，导出所需的模板文件缺失或损坏，请重新安装Tolvane。");
    EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(ExportFormTest, CancelDuringAnEpubExportLeavesNoFile) {
    // Many cached chapters: the export takes a while, and nothing downloads.
    const FakeStory story = StoredStory(1000);
    for (const auto* chapter : story.Chapters()) {
        const std::string file = ChapterCacheFile("gbk", story.id, chapter->id);
        tree_.Write(fs::relative(file, tree_.Root()).string(),
                    "<html><body><p>" + std::string(2000, 'x') +
                        "</p><!--published:2024-01-01--></body></html>");
    }
    auto dialog = Dialog(story);
    bool cancelled = false;
    dialog->OnChanged = [&] {
        const auto& state = dialog->GetState();
        if (state.Step == 2 && state.Progress > 0 && !cancelled) {
            cancelled = true;
            dialog->Cancel();
        }
    };
    dialog->Next(TExportFormat::Epub, 0, A(folder_));
    ASSERT_TRUE(PumpUntil([&] { return cancelled; }, 60s));
    EXPECT_FALSE(dialog->GetState().Finished);
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{});
    dialog.reset();
    Drain();
    EXPECT_EQ(FilesIn(folder_), std::vector<std::string>{});
}

}  // namespace
