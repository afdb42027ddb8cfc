// The demo program as a newcomer meets it: started as its own process, its
// sites are found by a search over the story database it wrote, and a found
// story is read and downloaded whole.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "StoryNetFixture.h"
#include "core/StoryExportHTML.h"
#include "net/SearchStoryManager.h"
#include "net/StoryDownLoad.h"
#include "net/StoryReader.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace storynet;
using testing_support::TempTree;

namespace {

class DemoProcess {
  public:
    DemoProcess(const std::string& database, const std::string& portFile) {
        const std::string program = std::string(QUIRA_BIN_DIR) + "/demo-site";
        std::vector<std::string> args = {program, "--database", database, "--port-file", portFile};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~DemoProcess() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    bool Started() const { return pid_ > 0; }

  private:
    pid_t pid_ = -1;
};

class DemoSiteTest : public StoryNetTest {};

TEST_F(DemoSiteTest, SearchFindsBothSitesAndAFoundStoryDownloadsWhole) {
    const std::string database = tree_.Path("demo/idata.dll");
    const std::string portFile = tree_.Path("demo/port");
    DemoProcess demo(database, portFile);
    ASSERT_TRUE(demo.Started());
    for (int i = 0; i < 200 && TempTree::Read(portFile).empty(); ++i)
        std::this_thread::sleep_for(25ms);
    ASSERT_FALSE(TempTree::Read(portFile).empty()) << "the demo did not come up";
    SetStoryDB(std::make_unique<TStoryDB>(database));

    TSearchStoryManager manager(*StoryDB());
    Inbox<SearchResultFields> found;
    Inbox<int> searched;
    manager.OnFound = [&](const SearchResultFields& fields) { found.Add(fields); };
    manager.OnAllDone = [&](TSearchStoryManager*) { searched.Add(1); };
    manager.Search(A("剑影江湖"), false);
    ASSERT_TRUE(searched.WaitFor(1));
    std::set<std::string> sites;
    SearchResultFields hit;
    for (const auto& result : found.Items()) {
        if (U(result.StoryName) != "剑影江湖") continue;
        sites.insert(result.SiteID);
        if (result.SiteID == "demogbk") hit = result;
    }
    EXPECT_EQ(sites, (std::set<std::string>{"demogbk", "demoutf8"}));
    ASSERT_FALSE(hit.ArticleID.empty());

    Inbox<bool> read;
    TStoryReader reader;
    reader.OnDone = [&](TStoryReader*, const std::string&) { read.Add(true); };
    reader.OnFail = [&](TStoryReader*, const AnsiString&, const AnsiString&) { read.Add(false); };
    reader.UpdateStory(hit.SiteID, hit.ArticleID, 0);
    ASSERT_TRUE(read.WaitFor(1));
    ASSERT_TRUE(read.Items().front());

    std::vector<TChapterItemData> chapters;
    StoryDB()->GetChapterList(hit.SiteID, hit.ArticleID, chapters);
    EXPECT_EQ(chapters.size(), 120u);
    Inbox<int> complete;
    TStoryDownLoad download;
    download.OnComplete = [&](TStoryDownLoad*, int code) { complete.Add(code); };
    download.Start(hit.SiteID, hit.ArticleID, 1, 0);
    ASSERT_TRUE(complete.WaitFor(1, 60s));
    EXPECT_EQ(complete.Items().front(), 0);
    for (const auto& chapter : chapters)
        EXPECT_TRUE(IsPublishedPage(ChapterCacheFile(hit.SiteID, hit.ArticleID, chapter.ChapterID)))
            << chapter.ChapterID;
}

}  // namespace
