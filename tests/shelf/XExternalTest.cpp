// window.external of the main program against a real story database in a
// temporary folder, called the way the page bridge calls it.
#include "shelf/XExternal.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "core/Folders.h"
#include "core/StoryDB.h"
#include "exchange/XDataShare.h"
#include "platform/NamedLock.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "shelf/LoginTexts.h"
#include "shelf/ReaderStarter.h"
#include "tests/core/DatabaseFixtures.h"
#include "tests/support/TempTree.h"
#include "tests/support/standin/StandIn.h"

namespace {

using platform::ui::BridgeError;
using platform::ui::BridgeReply;
using platform::ui::BridgeValue;
using platform::ui::CallKind;
using testing_support::StandInProgram;
using testing_support::TempTree;
using Json = nlohmann::json;

AnsiString G(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

class XExternalTest : public testing::Test {
  protected:
    void SetUp() override {
        SetAppFolder(tree.Make("app"));
        SetDataFolder(tree.Make("app"));
        path = tree.Path("app/idata.dll");
        dbtest::MakeStoryDatabase(path);
        SetStoryDB(std::make_unique<TStoryDB>(path));
        raw = dbtest::Raw(path);
        TSiteItemData site;
        site.SiteID = "s1";
        site.SiteName = G("站一");
        ASSERT_TRUE(StoryDB()->SaveSite("s1", site));
        external = TXExternal::Create();
    }
    void TearDown() override {
        TXExternal::SetMainWindowActions({});
        SetLoginTexts({});
        SetStoryDB(nullptr);
    }

    void AddStory(const AnsiString& id, const AnsiString& title = "t",
                  const AnsiString& author = "w") {
        ASSERT_TRUE(StoryDB()->AddArticle("s1", id, title, author, "", "last", "", 0, ""));
    }

    // A call as a page makes it; the deferred part runs when asked.
    BridgeReply Call(const std::string& member, const std::vector<BridgeValue>& args = {},
                     CallKind kind = CallKind::Method) {
        return external->Invoke(member, kind, args);
    }
    BridgeValue CallNow(const std::string& member, const std::vector<BridgeValue>& args = {}) {
        BridgeReply reply = Call(member, args);
        if (reply.then) reply.then();
        return reply.value;
    }

    TempTree tree{TempTree::Profile::kXdg};
    std::string path;
    std::unique_ptr<SqliteDB> raw;
    std::shared_ptr<TXExternal> external;
};

TEST_F(XExternalTest, FlagsAndLastReadComeFromTheStoryRow) {
    AddStory("online");
    AddStory("local");
    AddStory("followed");
    AddStory("read");
    AddStory("opened");
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("s1", "online", true));
    ASSERT_TRUE(StoryDB()->SetFollowed("s1", "online", false));
    ASSERT_TRUE(StoryDB()->SetInLocalShelf("s1", "local", true));
    ASSERT_TRUE(StoryDB()->SetInLocalShelf("s1", "followed", true));
    ASSERT_TRUE(StoryDB()->SetFollowed("s1", "followed", true));
    ASSERT_TRUE(
        StoryDB()->SaveReadPosition("s1", "read", "2024-01-01 10:00:00", G("第九章"), 0, 40));
    // A history row whose chapter is empty: opened, never read.
    ASSERT_TRUE(StoryDB()->SaveReadPosition("s1", "opened", "2024-01-01 10:00:00", "", 0, 0));

    struct Case {
        const char* story;
        long long addShelf, localShelf, concern, read;
        AnsiString lastRead;
    } cases[] = {
        {"online", 1, 0, 0, 0, ""},        {"local", 0, 1, 0, 0, ""},  {"followed", 0, 1, 1, 0, ""},
        {"read", 0, 0, 0, 1, G("第九章")}, {"opened", 0, 0, 0, 0, ""}, {"absent", 0, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.story);
        const std::vector<BridgeValue> key = {AnsiString("s1"), AnsiString(c.story)};
        EXPECT_EQ(std::get<long long>(CallNow("IsAddShelf", key)), c.addShelf);
        EXPECT_EQ(std::get<long long>(CallNow("IsInLocalShelf", key)), c.localShelf);
        EXPECT_EQ(std::get<long long>(CallNow("IsConcern", key)), c.concern);
        EXPECT_EQ(std::get<long long>(CallNow("IsRead", key)), c.read);
        EXPECT_EQ(std::get<AnsiString>(CallNow("LastReadInfo", key)), c.lastRead);
    }

    // Without a database every flag reads 0 and the chapter empty.
    SetStoryDB(nullptr);
    EXPECT_EQ(std::get<long long>(CallNow("IsAddShelf", {AnsiString("s1"), AnsiString("online")})),
              0);
    EXPECT_EQ(std::get<AnsiString>(CallNow("LastReadInfo", {AnsiString("s1"), AnsiString("read")})),
              "");
}

TEST_F(XExternalTest, ConcernInfoListsTenFollowedWithUpdatesFirst) {
    // None followed: no value at all, not an empty list.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(CallNow("ConcernInfo")));

    for (int i = 1; i <= 12; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "a%02d", i);
        AddStory(id, G("书") + id, G("作者"));
        ASSERT_TRUE(StoryDB()->SetFollowed("s1", id, true));
        dbtest::Exec(*raw, "update Article set UpdateTime='2024-01-" + std::string(id + 1) +
                               " 10:00:00' where ArticleID='" + id + "'");
    }
    ASSERT_TRUE(StoryDB()->SetHaveUpdate("s1", "a03", true));
    ASSERT_TRUE(StoryDB()->SetHaveUpdate("s1", "a07", true));

    const auto info = std::get<std::vector<AnsiString>>(CallNow("ConcernInfo"));
    std::vector<std::string> order;
    for (const auto& element : info) {
        const Json fields = Json::parse("[" + platform::AnsiToUtf8(element) + "]");
        ASSERT_EQ(fields.size(), 7u) << element;
        order.push_back(fields[1]);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"a07", "a03", "a12", "a11", "a10", "a09", "a08",
                                               "a06", "a05", "a04"}));
    // Author before title; an update is the text -1.
    EXPECT_EQ(platform::AnsiToUtf8(info[0]),
              R"("s1","a07","作者","书a07","last","2024-01-07 10:00:00","-1")");
    EXPECT_TRUE(info[2].ends_with(R"(,"0")")) << info[2];
}

TEST_F(XExternalTest, ConcernInfoEscapesWhatWouldBreakThePagesParse) {
    // A double-byte character whose second byte is a backslash must stay whole.
    const AnsiString title = G("他说\"好\\\"\n乗");
    ASSERT_EQ(G("乗"), "\x81\x5C");
    AddStory("q", title, G("O\"Neil"));
    ASSERT_TRUE(StoryDB()->SetFollowed("s1", "q", true));
    const auto info = std::get<std::vector<AnsiString>>(CallNow("ConcernInfo"));
    ASSERT_EQ(info.size(), 1u);
    const Json fields = Json::parse("[" + platform::AnsiToUtf8(info[0]) + "]");
    EXPECT_EQ(fields[2], "O\"Neil");
    EXPECT_EQ(fields[3], "他说\"好\\\"\n乗");
}

TEST_F(XExternalTest, LoginTextsLoseApostrophesAndStayInMemory) {
    EXPECT_FALSE(GetLoginTexts().CanSync());
    EXPECT_EQ(std::get<long long>(CallNow(
                  "LoginUC", {AnsiString("O'Brien"), AnsiString("k'ey"), 42LL, AnsiString("fd")})),
              1);
    EXPECT_EQ(GetLoginTexts(), (TLoginTexts{"OBrien", "key", "42", "fd"}));
    EXPECT_TRUE(GetLoginTexts().CanSync());
    // Missing and null arguments are empty texts; a login without fdid cannot sync.
    EXPECT_EQ(std::get<long long>(CallNow("LoginUC", {AnsiString("u"), std::monostate{}})), 1);
    EXPECT_EQ(GetLoginTexts(), (TLoginTexts{"u", "", "", ""}));
    EXPECT_FALSE(GetLoginTexts().CanSync());
    // Nothing of it reached the profile.
    EXPECT_FALSE(std::filesystem::exists(tree.Path("app/set.ini")));
}

TEST_F(XExternalTest, EventsRunAfterThePageHasItsAnswer) {
    std::vector<std::string> raised;
    auto story = [&](const char* name) {
        return [&raised, name](TXExternal* sender, const AnsiString& site, const AnsiString& id) {
            raised.push_back(std::string(name) + " " + site + " " + id);
        };
    };
    auto notify = [&](const char* name) {
        return [&raised, name](TXExternal*) { raised.push_back(name); };
    };
    external->OnStartDownLoad = story("download");
    external->OnStartRead2 = story("read2");
    external->OnAddShelf = story("add");
    external->OnMoveShelf = story("move");
    external->OnAddConcern = story("concern");
    external->OnExportBook = story("export");
    external->OnCancelConcern = story("cancel");
    external->OnSyncBook = story("sync");
    external->OnSearchPage = notify("searchpage");
    external->OnConcernPage = notify("concernpage");
    external->OnBackPrevious = notify("back");
    TXExternal* seen = nullptr;
    external->OnSearch = [&](TXExternal* sender, const AnsiString& name, int type) {
        seen = sender;
        raised.push_back("search " + name + " " + std::to_string(type));
    };
    external->OnBrowseBClass = [&](TXExternal*, int id, const AnsiString& url) {
        raised.push_back("browse " + std::to_string(id) + " " + url);
    };

    struct Case {
        std::string member;
        std::vector<BridgeValue> args;
        std::string expected;  // empty: nothing is raised
    } cases[] = {
        {"StartDownLoad", {AnsiString("s1"), 7LL}, "download s1 7"},
        {"StartRead2", {AnsiString("s1"), AnsiString("a")}, "read2 s1 a"},
        {"AddShelf", {AnsiString("s1"), AnsiString("a")}, "add s1 a"},
        {"MoveShelf", {AnsiString("s1"), AnsiString("a")}, "move s1 a"},
        {"AddConcern", {AnsiString("s1"), AnsiString("a")}, "concern s1 a"},
        {"ExportBook", {AnsiString("s1"), AnsiString("a")}, "export s1 a"},
        {"CancelConcern", {AnsiString("s1"), AnsiString("a")}, "cancel s1 a"},
        {"SyncBook", {AnsiString("s1"), AnsiString("a")}, "sync s1 a"},
        {"SearchPage", {}, "searchpage"},
        {"ConcernPage", {}, "concernpage"},
        {"BackPrevious", {}, "back"},
        {"Search", {G("书名"), 1LL}, "search " + G("书名") + " 1"},
        {"Search", {AnsiString("x"), AnsiString(" 0 ")}, "search x 0"},
        // Far out of range still asks for an author search, never wraps to 0.
        {"Search", {AnsiString("x"), 4294967296LL}, "search x 2147483647"},
        {"SearchEx", {G("书名"), G("作者")}, "search " + G("书名") + "+" + G("作者") + " 0"},
        {"BrowseBClass",
         {2LL, AnsiString("https://lib.example/c?id=1")},
         "browse 2 https://lib.example/c?id=1"},
        {"BrowseBClass", {3LL, AnsiString("HTTP://lib.example/")}, "browse 3 HTTP://lib.example/"},
        {"BrowseBClass", {2LL, AnsiString("javascript:alert(1)")}, ""},
        {"BrowseBClass", {2LL, AnsiString("file:///etc/passwd")}, ""},
        {"BrowseBClass", {2LL, AnsiString("/velqonew/lib.html")}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member);
        raised.clear();
        BridgeReply reply = Call(c.member, c.args);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(reply.value));
        EXPECT_TRUE(raised.empty()) << "raised while the page waits";
        ASSERT_TRUE(reply.then);
        reply.then();
        EXPECT_EQ(raised, c.expected.empty() ? std::vector<std::string>{}
                                             : std::vector<std::string>{c.expected});
    }
    EXPECT_EQ(seen, external.get());

    // A search type that is no number fails the call itself, at once.
    EXPECT_THROW(Call("Search", {AnsiString("x"), AnsiString("abc")}), BridgeError);

    // A handler that fails after the answer ends its action, not the loop.
    external->OnAddShelf = [](TXExternal*, const AnsiString&, const AnsiString&) {
        throw std::runtime_error("disk full");
    };
    EXPECT_NO_THROW(Call("AddShelf", {AnsiString("s1"), AnsiString("a")}).then());
    external->OnAddShelf = story("add");

    // The object went before its action ran: the action is dropped.
    raised.clear();
    BridgeReply late = Call("AddShelf", {AnsiString("s1"), AnsiString("a")});
    external.reset();
    late.then();
    EXPECT_TRUE(raised.empty());
}

TEST_F(XExternalTest, MembersWithoutEventsSucceedAndChangeNothing) {
    AddStory("a");
    ASSERT_TRUE(StoryDB()->SetInLocalShelf("s1", "a", true));
    for (const std::string member :
         {"NextPage", "PreviousPage", "GetProgress", "StartDownLoad", "SearchPage", "ConcernPage",
          "StartRead2", "AddShelf", "MoveShelf", "AddConcern", "ExportBook", "CancelConcern",
          "BackPrevious", "SyncBook", "SynReadHistory"}) {
        SCOPED_TRACE(member);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(
            CallNow(member, {AnsiString("s1"), AnsiString("a")})));
    }
    EXPECT_TRUE(std::holds_alternative<std::monostate>(CallNow("Search", {AnsiString("x"), 1LL})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        CallNow("BrowseBClass", {2LL, AnsiString("http://lib.example/")})));
    EXPECT_EQ(std::get<long long>(Call("Progress", {}, CallKind::Get).value), 0);
    EXPECT_TRUE(
        std::holds_alternative<std::monostate>(Call("Progress", {5LL}, CallKind::Put).value));
    EXPECT_EQ(std::get<AnsiString>(CallNow("GetSearchWords")), "");
    EXPECT_EQ(std::get<long long>(CallNow("IsInLocalShelf", {AnsiString("s1"), AnsiString("a")})),
              1);
    EXPECT_EQ(std::get<long long>(CallNow("IsAddShelf", {AnsiString("s1"), AnsiString("a")})), 0);

    external->OnGetSearchWords = [](TXExternal*, AnsiString& text) { text = G("关键词"); };
    EXPECT_EQ(std::get<AnsiString>(CallNow("GetSearchWords")), G("关键词"));
}

TEST_F(XExternalTest, DeleteErrorBookTakesTheStoryOffTheOnlineShelfAtOnce) {
    AddStory("gone");
    AddStory("kept");
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("s1", "gone", true));
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("s1", "kept", true));
    ASSERT_TRUE(StoryDB()->SetInLocalShelf("s1", "kept", true));
    for (const char* id : {"gone", "kept"}) {
        const BridgeReply reply = Call("DeleteErrorBook", {AnsiString("s1"), AnsiString(id)});
        EXPECT_FALSE(reply.then);
    }
    EXPECT_FALSE(StoryDB()->IsInOnlineShelf("s1", "gone"));
    // On no shelf any more: the row goes (the database's shelf rule).
    EXPECT_FALSE(StoryDB()->ArticleExists("s1", "gone"));
    EXPECT_FALSE(StoryDB()->IsInOnlineShelf("s1", "kept"));
    EXPECT_TRUE(StoryDB()->IsInLocalShelf("s1", "kept"));
}

TEST_F(XExternalTest, WithoutEventsSearchExAndSyncFallBackToTheMainWindow) {
    std::vector<AnsiString> searched;
    int syncs = 0;
    TXExternal::SetMainWindowActions(
        {[&](const AnsiString& text) { searched.push_back(text); }, [&] { ++syncs; }});
    CallNow("SearchEx", {G("斗破"), G("天蚕")});
    CallNow("SynReadHistory");
    EXPECT_EQ(searched, std::vector<AnsiString>{G("斗破+天蚕")});
    EXPECT_EQ(syncs, 1);

    // A failing fallback is swallowed; the call still succeeds.
    TXExternal::SetMainWindowActions(
        {[](const AnsiString&) { throw std::runtime_error("x"); }, {}});
    EXPECT_NO_THROW(CallNow("SearchEx", {AnsiString("a"), AnsiString("b")}));

    // An object with its search event wired never uses the fallback.
    TXExternal::SetMainWindowActions(
        {[&](const AnsiString& text) { searched.push_back(text); }, {}});
    external->OnSearch = [](TXExternal*, const AnsiString&, int) {};
    CallNow("SearchEx", {AnsiString("a"), AnsiString("b")});
    EXPECT_EQ(searched.size(), 1u);
}

// The road to the reader: the request block, "QuiraReader -read" from the
// program's folder, and WM_USER+2 to a reader that runs already.
TEST_F(XExternalTest, BrowserAndStartReadOpenTheReaderThroughTheBlock) {
    const std::string folder = tree.Make("program");
    SetProgramFolder(folder);
    const StandInProgram reader(folder, "QuiraReader");
    const pid_t running = platform::SpawnProgram(reader.Path(), {});
    ASSERT_GT(running, 0);
    const std::string first = std::to_string(running);
    ASSERT_EQ(reader.WaitForLines("ready " + first).size(), 1u);

    const BridgeReply reply = Call("Browser", {AnsiString("s1"), G("书号"), AnsiString("c9")});
    // Nothing is written or started while the page waits for its answer.
    AnsiString site, story, chapter;
    unsigned char continueRead = 0;
    TXDataShare().Read(site, story, chapter, continueRead);
    EXPECT_EQ(site, "");
    reply.then();

    // A second reader started with "-read", and it found the request.
    const auto starts = reader.WaitForLines("start ", 2);
    ASSERT_EQ(starts.size(), 2u);
    const std::string second = starts[1].substr(6, starts[1].find('\t') - 6);
    EXPECT_EQ(starts[1], "start " + second + "\t-read");
    EXPECT_EQ(reader.WaitForLines("block " + second).at(0),
              "block " + second + "\ts1\t" + G("书号") + "\tc9\t0");
    // A running reader was told (the new one may have taken the message if
    // its channel opened first).
    const auto told = reader.WaitForLines("message ");
    ASSERT_FALSE(told.empty());
    EXPECT_TRUE(told[0] == "message " + first + " 1026 0 0" ||
                told[0] == "message " + second + " 1026 0 0")
        << told[0];

    // StartRead asks for the saved position: no chapter, ContinueRead 1.
    Call("StartRead", {AnsiString("s1"), AnsiString("a1")}).then();
    const auto blocks = reader.WaitForLines("block ", 3);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_NE(blocks[2].find("\ts1\ta1\t\t1"), std::string::npos) << blocks[2];
    TXDataShare().Read(site, story, chapter, continueRead);
    EXPECT_EQ(site + "|" + story + "|" + chapter + "|" + std::to_string(continueRead), "s1|a1||1");

    // Every stand-in ends.
    ASSERT_EQ(reader.WaitForLines("ready ", 3).size(), 3u);
    for (const auto& program : platform::ProgramChannel::Programs()) {
        if (program.className == kReaderWindowClass)
            platform::ProgramChannel::Post(program.socketPath, {platform::kWmClose, 0, 0});
    }
    EXPECT_EQ(reader.WaitForLines("closed ", 3).size(), 3u);
    int status = 0;
    waitpid(running, &status, 0);
}

// A reader that runs (its lock held, its channel open) is told to open the
// request itself, as a second start would tell it: no second process. One
// whose channel is gone (it is ending) still gets a start, which takes over.
TEST_F(XExternalTest, ARunningReaderIsToldWithoutASecondStart) {
    const std::string folder = tree.Make("program");
    SetProgramFolder(folder);
    const StandInProgram starts(folder, "QuiraReader");
    platform::NamedLock lock(kReaderLock);
    ASSERT_TRUE(lock.Acquired());
    std::vector<platform::ChannelMessage> got;
    auto channel = platform::ProgramChannel::Open(
        kReaderWindowClass, "", [&](const platform::ChannelMessage& m) { got.push_back(m); });
    ASSERT_TRUE(channel);

    Call("Browser", {AnsiString("s1"), AnsiString("a1"), AnsiString("c9")}).then();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (got.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
    }
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].message, platform::kWmUser + 100);
    EXPECT_EQ(got[1].message, platform::kWmUser + 2);
    AnsiString site, story, chapter;
    unsigned char continueRead = 9;
    TXDataShare().Read(site, story, chapter, continueRead);
    EXPECT_EQ(site + "|" + story + "|" + chapter + "|" + std::to_string(continueRead),
              "s1|a1|c9|0");
    EXPECT_TRUE(starts.WaitForLines("start ", 1, 1000).empty()) << "a second reader started";

    // The channel is gone, the lock still held: a start it is.
    channel.reset();
    Call("StartRead", {AnsiString("s1"), AnsiString("a1")}).then();
    const auto started = starts.WaitForLines("start ");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_NE(started[0].find("\t-read"), std::string::npos) << started[0];
    const std::string pid = started[0].substr(6, started[0].find('\t') - 6);
    ASSERT_EQ(starts.WaitForLines("ready " + pid).size(), 1u);
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmClose, 0, 0});
    EXPECT_EQ(starts.WaitForLines("closed " + pid).size(), 1u);
}

}  // namespace
