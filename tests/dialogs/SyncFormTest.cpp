// The offline download of one story: it finishes once, counts what failed,
// and only a complete story goes to the local shelf.

#include "DialogFixture.h"
#include "shelf/dialogs/SyncFormController.h"

namespace {

using namespace dialogtest;
using testing_support::FakeStory;

class SyncFormTest : public DialogTest {
  protected:
    std::unique_ptr<TSyncFormController> Dialog(const FakeStory& story) {
        auto dialog = std::make_unique<TSyncFormController>("gbk", story.id);
        dialog->OnChanged = [this, d = dialog.get()] {
            texts_.push_back(U(d->GetState().Description));
        };
        dialog->FormShow();
        return dialog;
    }
    bool WaitEnd(TSyncFormController& dialog) {
        return PumpUntil([&] { return !dialog.GetState().Running; }, 60s);
    }
    std::vector<std::string> texts_;
};

const std::string kDone = "小说同步完成，请点击\"完成\"按钮退出！";

TEST_F(SyncFormTest, AFailedChapterKeepsTheDialogOpenUntilAStartCompletesTheStory) {
    const FakeStory story = StoredStory(12);
    testing_support::Fault dead;
    dead.status = 500;
    const std::string lost = Site().ChapterPath(story.id, story.Chapters()[5]->id);
    server_.SetFault(lost, dead);
    auto dialog = Dialog(story);
    EXPECT_EQ(texts_.back(), "请点击开始按钮，以同步“剑影江湖”到本地。");

    dialog->Start();
    EXPECT_EQ(U(dialog->GetState().Description), "正在处理...");
    EXPECT_FALSE(dialog->GetState().OKEnabled);
    ASSERT_TRUE(WaitEnd(*dialog));
    const std::string failed = "有1个章节未能下载，请检查网络后点击“开始”重试。";
    EXPECT_EQ(U(dialog->GetState().Description), failed);
    EXPECT_TRUE(dialog->GetState().OKEnabled);
    EXPECT_TRUE(dialog->GetState().OKVisible);
    EXPECT_EQ(dialog->CloseResult(), platform::ui::MrCancel);
    EXPECT_FALSE(dialog->MarkInLocalShelf());
    EXPECT_FALSE(DB().IsInLocalShelf("gbk", story.id));

    // The next start fetches only what is missing and ends the dialog well.
    server_.ClearFaults();
    server_.ClearLog();
    texts_.clear();
    dialog->Start();
    ASSERT_TRUE(WaitEnd(*dialog));
    Drain();
    EXPECT_EQ(server_.RequestCount(lost), 1u);
    EXPECT_EQ(server_.Requests().size(), 1u);
    // Finished once, and no later step overwrote the final text.
    EXPECT_EQ(std::count(texts_.begin(), texts_.end(), kDone), 1);
    EXPECT_EQ(texts_.back(), kDone);
    EXPECT_EQ(dialog->GetState().Progress, 100);
    EXPECT_FALSE(dialog->GetState().OKVisible);
    EXPECT_EQ(U(dialog->GetState().CancelCaption), "完成");
    EXPECT_EQ(dialog->CloseResult(), platform::ui::MrOk);
    EXPECT_TRUE(dialog->MarkInLocalShelf());
    EXPECT_TRUE(DB().IsInLocalShelf("gbk", story.id));
}

TEST_F(SyncFormTest, AStoryThatIsCachedAlreadyFinishesAtOnce) {
    const FakeStory story = StoredStory(5);
    {
        auto first = Dialog(story);
        first->Start();
        ASSERT_TRUE(WaitEnd(*first));
        ASSERT_TRUE(first->GetState().Done);
    }
    server_.ClearLog();
    texts_.clear();
    auto dialog = Dialog(story);
    dialog->Start();
    ASSERT_TRUE(WaitEnd(*dialog));
    Drain();
    EXPECT_EQ(server_.Requests().size(), 0u);
    EXPECT_EQ(texts_, (std::vector<std::string>{"请点击开始按钮，以同步“剑影江湖”到本地。",
                                                "正在处理...", kDone}));
    // A second showing of the same dialog clears the text.
    dialog->FormShow();
    EXPECT_EQ(U(dialog->GetState().Description), "");
}

// Mended: with the chapter list locked by the other program the dialog
// asked to check the network and named -1 missing chapters.
TEST_F(SyncFormTest, AChapterListThatCannotBeReadIsToldAsSuch) {
    const FakeStory story = StoredStory(6);
    auto dialog = Dialog(story);
    const auto other = HoldDatabaseLocked();
    ASSERT_TRUE(other);
    dialog->Start();
    ASSERT_TRUE(WaitEnd(*dialog));
    EXPECT_EQ(U(dialog->GetState().Description),
              "无法从数据库读取小说的章节列表（数据库正被另一个程序使用），请稍后点击“开始”重试。");
    EXPECT_TRUE(dialog->GetState().OKEnabled);
    EXPECT_EQ(dialog->CloseResult(), platform::ui::MrCancel);
    EXPECT_TRUE(server_.Requests().empty()) << "the network was never asked";
    ASSERT_TRUE(other->Execute("COMMIT"));
    dialog->Start();
    ASSERT_TRUE(WaitEnd(*dialog));
    EXPECT_EQ(U(dialog->GetState().Description), kDone);
}

TEST_F(SyncFormTest, ClosingDuringTheDownloadLeavesNoLateEvent) {
    const FakeStory story = StoredStory(30);
    testing_support::Fault slow;
    slow.delay = std::chrono::milliseconds(200);
    server_.SetFault(Site().Prefix() + "/*", slow);
    auto dialog = Dialog(story);
    int changes = 0;
    dialog->OnChanged = [&] { ++changes; };
    dialog->Start();
    ASSERT_TRUE(server_.WaitForRequests(1, 10s));
    dialog.reset();
    const int seen = changes;
    server_.Stop();
    ASSERT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
    Drain();
    EXPECT_EQ(changes, seen);
    EXPECT_FALSE(DB().IsInLocalShelf("gbk", story.id));
}

}  // namespace
