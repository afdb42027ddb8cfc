// The cache clean-up: it deletes what the scan listed, one slice per turn of
// the loop, and spares what must stay.

#include <filesystem>

#include "DialogFixture.h"
#include "core/Cache.h"
#include "shelf/dialogs/CacheFormController.h"

namespace {

using namespace dialogtest;
namespace fs = std::filesystem;

class CacheFormTest : public DialogTest {
  protected:
    std::string Book() const { return BookFolder(); }
    // A story folder with some chapter files.
    void Story(const std::string& folder, int files) {
        for (int i = 0; i < files; ++i)
            tree_.Write("data/BooK/" + folder + "/" + std::to_string(i) + ".txt", "chapter");
    }
    // The scan's list, as the main window hands it over.
    std::vector<std::string> Scan() {
        TCache cache;
        cache.RootFolder = Book();
        cache.Scan();
        return cache.FoundPaths;
    }
};

TEST_F(CacheFormTest, AnEmptyListStillEndsTheCleanUp) {
    TCacheFormController dialog;
    dialog.Open({}, 500, Book());
    EXPECT_EQ(U(dialog.GetState().Description),
              "在线书架所占缓存，超过500MB。请点击“下一步”开始清理。");
    EXPECT_FALSE(dialog.GetState().ProgressVisible);
    dialog.Start();
    const auto& state = dialog.GetState();
    EXPECT_EQ(U(state.Description), "在线书架临时缓存清理完成。");
    EXPECT_TRUE(state.ProgressVisible);
    EXPECT_EQ(state.Position, 0);
    EXPECT_EQ(state.Maximum, 0);
    EXPECT_FALSE(state.OKVisible);
    EXPECT_EQ(U(state.CancelCaption), "完成");
}

TEST_F(CacheFormTest, LocalReadAndStoriesNowOnTheLocalShelfSurvive) {
    TSiteItemData site;
    site.SiteID = "s1";
    ASSERT_TRUE(DB().SaveSite("s1", site));
    DB().SetFolderNameSource([] { return std::string("MOVEDSTORY"); });
    ASSERT_TRUE(DB().AddArticle("s1", "moved", A("搬走的书"), "", "", "", "", -1, ""));
    ASSERT_TRUE(DB().SetInOnlineShelf("s1", "moved", true));
    Story("ONLINESTORY", 40);
    Story("MOVEDSTORY", 5);
    Story("LocalRead", 0);
    tree_.Write("data/BooK/LocalRead/Scroll.ini", "[x]\r\npos=3\r\n");
    tree_.Write("outside/keep.txt", "mine");

    std::vector<std::string> paths = Scan();
    ASSERT_FALSE(paths.empty());
    // What a scan never gives, and the clean-up must refuse all the same.
    paths.insert(paths.begin(), Book() + "LocalRead/Scroll.ini");
    paths.push_back(Book() + "LocalRead");
    paths.push_back(tree_.Path("outside/keep.txt"));
    paths.push_back(Book() + "../outside/keep.txt");
    // The story went to the local shelf after the scan.
    ASSERT_TRUE(DB().SetInLocalShelf("s1", "moved", true));

    TCacheFormController dialog;
    int slices = 0;
    dialog.OnChanged = [&] { ++slices; };
    dialog.Open(paths, 1, Book());
    paths.clear();  // the dialog keeps its own copy
    dialog.Start();
    EXPECT_TRUE(dialog.GetState().Running);
    EXPECT_FALSE(dialog.GetState().OKEnabled);
    ASSERT_TRUE(PumpUntil([&] { return !dialog.GetState().Running; }));
    EXPECT_EQ(dialog.GetState().Position, dialog.GetState().Maximum);
    EXPECT_EQ(U(dialog.GetState().Description), "在线书架临时缓存清理完成。");
    EXPECT_FALSE(fs::exists(Book() + "ONLINESTORY"));
    EXPECT_EQ(std::distance(fs::directory_iterator(Book() + "MOVEDSTORY"), {}), 5);
    EXPECT_TRUE(fs::exists(Book() + "LocalRead/Scroll.ini"));
    EXPECT_TRUE(fs::exists(tree_.Path("outside/keep.txt")));
}

TEST_F(CacheFormTest, AQuitStopsBetweenTwoPaths) {
    Story("BIGSTORY", 3000);
    const std::vector<std::string> paths = Scan();
    auto dialog = std::make_unique<TCacheFormController>();
    dialog->Open(paths, 1, Book());
    int slices = 0;
    dialog->OnChanged = [&] { ++slices; };
    dialog->Start();
    ASSERT_TRUE(PumpUntil([&] { return slices >= 1; }));
    dialog.reset();  // the program quits mid-way
    Drain();
    // What was not reached is still there, and nothing runs on.
    const auto left = std::distance(fs::directory_iterator(Book() + "BIGSTORY"), {});
    Drain();
    EXPECT_EQ(std::distance(fs::directory_iterator(Book() + "BIGSTORY"), {}), left);
}

}  // namespace
