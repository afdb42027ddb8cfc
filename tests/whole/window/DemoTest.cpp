// The demo launcher behind `make demo`, run as a newcomer runs it: it starts
// the demo sites and the vendor's services, makes a throw-away profile and
// starts the program on it, and takes all of it down again. The program here
// is a small script that reports what it was given and what it left running.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>

#include "core/StoryDB.h"
#include "net/StoryConcern.h"
#include "net/WinHTTPRequest2.h"
#include "platform/Charset.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/TempTree.h"
#include "tests/support/window/WindowTest.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProcessRun;
using testing_support::TempTree;
using testing_support::WaitUntil;

// The stand-in for Quira: writes its environment, leaves a process behind in
// a session of its own (as a program's helpers may), and ends with status 3
// once told.
constexpr const char* kProgramScript = R"(#!/bin/sh
probe="$QUIRA_DEMO_PROBE"
echo $$ > "$probe/self"
setsid sleep 600 &
echo $! > "$probe/left"
env > "$probe/env.part" && mv "$probe/env.part" "$probe/env"
while [ ! -e "$probe/quit" ]; do sleep 0.05; done
exit 3
)";

size_t Collect(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// The HTTP status of a GET (0 when nothing answers), with the body.
long HttpGet(const std::string& url, std::string* body = nullptr) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    std::string text;
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &text);
    long status = 0;
    if (curl_easy_perform(curl.get()) == CURLE_OK)
        curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (body) *body = text;
    return status;
}

pid_t PidIn(const std::string& file) {
    const std::string text = TempTree::Read(file);
    return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
}

class Demo : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(uitest::OpenPrivateDisplay());
        // The profile is made below TMPDIR: here, where the test sees it.
        tree_.SetEnv("TMPDIR", tree_.Make("tmp"));
        tree_.SetEnv("QUIRA_DEMO_PROBE", tree_.Make("probe"));
        program_ = tree_.Write("program/Quira", kProgramScript);
        fs::permissions(program_, fs::perms::owner_all);
    }

    std::unique_ptr<ProcessRun> StartDemo(const std::vector<std::string>& environment = {}) {
        return std::make_unique<ProcessRun>(std::string(QUIRA_BIN_DIR) + "/demo-site",
                                            std::vector<std::string>{"--run", program_},
                                            environment, tree_.Path("out"), tree_.Path("err"));
    }
    // The program's environment once it has started; empty when it did not.
    std::map<std::string, std::string> ProgramEnvironment() {
        std::map<std::string, std::string> values;
        if (!WaitUntil([&] { return fs::exists(tree_.Path("probe/env")); }, 60000)) return values;
        std::istringstream lines(TempTree::Read(tree_.Path("probe/env")));
        for (std::string line; std::getline(lines, line);) {
            const size_t equals = line.find('=');
            if (equals != std::string::npos)
                values[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return values;
    }
    std::vector<std::string> ProfilesLeft() const {
        std::vector<std::string> left;
        for (const auto& entry : fs::directory_iterator(tree_.Path("tmp")))
            left.push_back(entry.path().string());
        return left;
    }

    TempTree tree_;
    std::string program_;
};

TEST_F(Demo, RunsTheProgramOnAThrowAwayProfileAndRemovesItWhenTheProgramEnds) {
    const auto demo = StartDemo();
    ASSERT_TRUE(demo->Started());
    auto env = ProgramEnvironment();
    ASSERT_FALSE(env.empty()) << TempTree::Read(tree_.Path("err"));

    // Every folder of the program lies in one profile below TMPDIR.
    const auto profiles = ProfilesLeft();
    ASSERT_EQ(profiles.size(), 1u);
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"})
        EXPECT_EQ(env[name].rfind(profiles[0] + "/", 0), 0u) << name << "=" << env[name];

    // Every address the demo printed answers, and so do the vendor's services
    // the program asks for.
    const std::string output = TempTree::Read(tree_.Path("out"));
    const std::regex address(R"(http://127\.0\.0\.1:\d+[^\s]*)");
    std::set<std::string> printed;
    for (std::sregex_iterator it(output.begin(), output.end(), address), end; it != end; ++it)
        printed.insert(it->str());
    ASSERT_GE(printed.size(), 7u) << output;
    const std::string service = env["QUIRA_SERVICE_URL"];
    ASSERT_EQ(service.rfind("http://127.0.0.1:", 0), 0u);
    std::set<std::string> asked = printed;
    for (const char* path :
         {"/story.cab", "/update.cab", "/velqonew/html/index2.html", "/velqonew/news/search.php",
          "/velqonew/news/booknull.php", "/velqonew/news/?type_id=1", "/velqonew/feedback/"})
        asked.insert(service + path);
    for (const auto& url : asked) {
        std::string body;
        EXPECT_EQ(HttpGet(url, &body), 200) << url;
        EXPECT_FALSE(body.empty()) << url;
    }

    // The profile's story database lists both demo sites, and the first
    // follow check over it announces news of the followed story.
    {
        const std::string database = env["XDG_DATA_HOME"] + "/Velqo/idata.dll";
        SetStoryDB(std::make_unique<TStoryDB>(database));
        std::vector<TSearchSiteData> sites;
        ASSERT_TRUE(StoryDB()->GetSearchSites(sites).Found());
        std::set<std::string> siteIDs;
        for (const auto& site : sites) siteIDs.insert(site.SiteID);
        EXPECT_EQ(siteIDs, (std::set<std::string>{"demogbk", "demoutf8"}));
        std::vector<TBookListData> followed;
        ASSERT_TRUE(StoryDB()->GetFollowed(followed, 10).Found());
        ASSERT_EQ(followed.size(), 1u);
        std::vector<TBookListData> shelf;
        StoryDB()->GetShelf(shelf, kShelfOnline);
        ASSERT_EQ(shelf.size(), 1u);

        std::mutex lock;
        std::vector<std::string> announced;
        bool complete = false;
        auto check = std::make_unique<TStoryConcern>();
        check->OnUpdate = [&](TStoryConcern*, const AnsiString& siteID, const AnsiString& id) {
            std::lock_guard guard(lock);
            announced.push_back(siteID + "/" + id);
        };
        check->OnComplete = [&](TStoryConcern*) {
            std::lock_guard guard(lock);
            complete = true;
        };
        check->Start();
        EXPECT_TRUE(WaitUntil([&] {
            std::lock_guard guard(lock);
            return complete;
        }));
        check.reset();
        EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(std::chrono::seconds(10)));
        EXPECT_EQ(announced,
                  std::vector<std::string>{followed[0].SiteID + "/" + followed[0].ArticleID});
        SetStoryDB(nullptr);
    }

    // The program ends: its status comes back, what it left running is
    // ended, the servers stop and the profile is gone.
    const pid_t left = PidIn(tree_.Path("probe/left"));
    ASSERT_GT(left, 0);
    tree_.Write("probe/quit", "");
    EXPECT_EQ(demo->Wait(60000), 3);
    EXPECT_FALSE(testing_support::ProcessAlive(left));
    EXPECT_TRUE(ProfilesLeft().empty());
    for (const auto& url : printed) EXPECT_EQ(HttpGet(url), 0) << url;
    EXPECT_NE(TempTree::Read(tree_.Path("out")).find("profile is removed"), std::string::npos);
}

TEST_F(Demo, CtrlCEndsTheProgramAndWhatItLeftRunning) {
    const auto demo = StartDemo();
    ASSERT_FALSE(ProgramEnvironment().empty()) << TempTree::Read(tree_.Path("err"));
    const pid_t program = PidIn(tree_.Path("probe/self"));
    const pid_t left = PidIn(tree_.Path("probe/left"));
    ASSERT_GT(program, 0);
    ASSERT_GT(left, 0);
    demo->Signal(SIGINT);
    EXPECT_EQ(demo->Wait(60000), 128 + SIGINT);
    EXPECT_FALSE(testing_support::ProcessAlive(program));
    EXPECT_FALSE(testing_support::ProcessAlive(left));
    EXPECT_TRUE(ProfilesLeft().empty());
}

TEST_F(Demo, WithoutADisplayItSaysSoAndStartsNothing) {
    const auto demo = StartDemo({"DISPLAY=", "WAYLAND_DISPLAY="});
    EXPECT_EQ(demo->Wait(60000), 1);
    EXPECT_NE(TempTree::Read(tree_.Path("err")).find("needs a graphical display"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(tree_.Path("probe/env")));
    EXPECT_TRUE(ProfilesLeft().empty());
}

}  // namespace
