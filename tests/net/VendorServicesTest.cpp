// The clients of the vendor's services against the stand-in: the update check
// with its site-database package, the search-keyword report, the usage report
// and the story list.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "StoryNetFixture.h"
#include "net/SoftUpdateCheker.h"
#include "net/Stats.h"
#include "net/StoryLog.h"
#include "net/StoryStatus.h"
#include "platform/Crypto.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "tests/support/VendorStandIn.h"

namespace fs = std::filesystem;
using namespace storynet;
using testing_support::Fault;
using testing_support::HttpReply;
using testing_support::TempTree;
using testing_support::VendorStandIn;

namespace {

class VendorTest : public StoryNetTest {
  protected:
    void SetUp() override {
        StoryNetTest::SetUp();
        tree_.SetEnv("QUIRA_SERVICE_URL", vendor_.BaseURL());
    }
    // Every request worker has ended: a result that was due has arrived.
    static void Settle() { ASSERT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s)); }

    VendorStandIn vendor_{server_};
};

// --- update check ----------------------------------------------------------

struct Results {
    Results(TSoftUpdateCheker& checker) {
        checker.OnResult = [this](TSoftUpdateCheker*, int kind, const std::string& text) {
            inbox.Add({kind, text});
        };
    }
    Inbox<std::pair<int, std::string>> inbox;
};

TEST_F(VendorTest, UpdateOutcomesFromTheDescription) {
    struct Case {
        const char* name;
        std::string description;
        std::optional<std::pair<int, std::string>> result;
    };
    const std::vector<Case> cases = {
        {"newer by number, through the updater",
         "[General]\r\nVersion=2.1.0.10\r\n[server]\r\nurl=x\r\n", std::pair{0, std::string()}},
        {"by hand", "[General]\r\nVersion=9.0\r\nfromsite=1\r\ndownsite= http://dl/ \r\n",
         std::pair{1, std::string("http://dl/")}},
        {"older: nothing", "[General]\r\nVersion=2.1.0.4\r\n[server]\r\nurl=x\r\n", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vendor_.SetUpdateDescription(c.description);
        TSoftUpdateCheker checker;
        checker.InstalledVersion = "2.1.0.5";
        Results results(checker);
        checker.Check();
        Settle();
        const auto got = results.inbox.Items();
        if (!c.result) {
            EXPECT_TRUE(got.empty());
            continue;
        }
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got.front(), *c.result);
    }
}

TEST_F(VendorTest, NewSiteDatabaseIsDownloadedUnpackedAndReported) {
    StoryDB()->SetParam("Version", "2");
    const std::string url = vendor_.SetSiteDatabasePackage("sites-2024.db", "SQLite bytes");
    vendor_.SetUpdateDescription("[General]\r\nVersion=2.1.0.8\r\nDBURL=" + url +
                                 "\r\nDBVersion=3\r\n");
    TSoftUpdateCheker checker;
    checker.InstalledVersion = "2.1.0.8";
    Results results(checker);
    checker.Check();
    ASSERT_TRUE(results.inbox.WaitFor(1));
    const auto [kind, path] = results.inbox.Items().front();
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(path, AppFolder() + "update/temp.db");
    EXPECT_EQ(TempTree::Read(path), "SQLite bytes");
}

TEST_F(VendorTest, HostilePackagesAreRefused) {
    StoryDB()->SetParam("Version", "2");
    const std::string victim = tree_.Write("app/victim.db", "keep");
    for (const std::string entry : {"../victim.db", "/tmp/x.db", "a/../../victim.db", "..\\v.db"}) {
        SCOPED_TRACE(entry);
        const std::string url = vendor_.SetSiteDatabasePackage(entry, "evil");
        vendor_.SetUpdateDescription("[General]\r\nVersion=2.1.0.8\r\nDBURL=" + url +
                                     "\r\nDBVersion=3\r\n");
        TSoftUpdateCheker checker;
        checker.InstalledVersion = "2.1.0.8";
        Results results(checker);
        checker.Check();
        ASSERT_TRUE(server_.WaitForRequests(2, 5s));
        Settle();
        EXPECT_TRUE(results.inbox.Items().empty());
        EXPECT_EQ(TempTree::Read(victim), "keep");
        EXPECT_FALSE(fs::exists(AppFolder() + "update/temp.db"));
        server_.ClearLog();
    }
}

// Links planted at the fixed names of the update folder are replaced, never
// written through: the files they point at keep their bytes, and the package
// is still unpacked.
TEST_F(VendorTest, LinksAtThePackageNamesAreNeverFollowed) {
    StoryDB()->SetParam("Version", "2");
    const std::string url = vendor_.SetSiteDatabasePackage("sites.db", "SQLite bytes");
    vendor_.SetUpdateDescription("[General]\r\nVersion=2.1.0.8\r\nDBURL=" + url +
                                 "\r\nDBVersion=3\r\n");
    tree_.Make("app/update");
    std::vector<std::string> victims;
    for (const char* name : {"temp.db.tmp", "temp.db.part", "temp.db"}) {
        victims.push_back(tree_.Write(std::string("victim-") + name, "keep"));
        fs::create_symlink(victims.back(), AppFolder() + "update/" + name);
    }
    TSoftUpdateCheker checker;
    checker.InstalledVersion = "2.1.0.8";
    Results results(checker);
    checker.Check();
    ASSERT_TRUE(results.inbox.WaitFor(1));
    const auto [kind, path] = results.inbox.Items().front();
    EXPECT_EQ(kind, 2);
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(TempTree::Read(path), "SQLite bytes");
    for (const std::string& victim : victims) EXPECT_EQ(TempTree::Read(victim), "keep") << victim;
}

TEST_F(VendorTest, NoDescriptionNoResult) {
    TSoftUpdateCheker checker;  // the stand-in answers 404: no description set
    Results results(checker);
    checker.Check();
    ASSERT_TRUE(server_.WaitForRequests(4, 5s));  // an error page is retried like a failure
    Settle();
    EXPECT_TRUE(results.inbox.Items().empty());
}

// --- search-keyword report -------------------------------------------------

TEST_F(VendorTest, KeywordsAreReportedAndEachReportIsFreedWhenItEnds) {
    TStoryStatus status;
    status.ReportSearch(A("剑来+烽火"));
    status.ReportSearch("");
    ASSERT_TRUE(server_.WaitForRequests(2, 5s));
    Settle();
    auto keys = vendor_.ReportedKeywords();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::string>{"", A("剑来+烽火")}));
    EXPECT_EQ(status.Pending(), 0u);

    // A failing report is tried four times, then dropped and freed too.
    Fault down;
    down.status = 500;
    server_.SetFault("/url", down);
    server_.ClearLog();
    status.ReportSearch("x");
    ASSERT_TRUE(server_.WaitForRequests(4, 5s));
    Settle();
    EXPECT_EQ(server_.RequestCount("/url"), 4u);
    EXPECT_EQ(status.Pending(), 0u);
}

TEST_F(VendorTest, DestroyedWithReportsInFlight) {
    Fault slow;
    slow.delay = 200ms;
    server_.SetFault("/url", slow);
    {
        TStoryStatus status;
        for (int i = 0; i < 5; ++i) status.ReportSearch("k" + std::to_string(i));
        ASSERT_TRUE(server_.WaitForRequests(5, 5s));
    }  // waits for nothing but cancels each request; no handler reaches the freed object
    Settle();
}

// --- usage report ----------------------------------------------------------

std::time_t Day(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(StatsCounters, DayWeekAndMonth) {
    // First start ever, on Wednesday 2024-05-15.
    auto first = TStats::CountRun({}, Day(2024, 5, 15));
    EXPECT_EQ(first.Run, 1);
    EXPECT_EQ(first.SingleRun, 1);
    EXPECT_EQ(first.Week, 0);
    EXPECT_EQ(first.Month, 0);
    EXPECT_EQ(first.Next.LastStatsDate, "2024-05-15");
    EXPECT_EQ(first.Next.MondayofWeek, "2024-05-13");
    EXPECT_EQ(first.Next.FirstDayOfMonth, "2024-05-01");
    EXPECT_EQ(first.Next.WeekCount, 0);
    EXPECT_EQ(first.Next.MonthCount, 0);

    // The same day again, then three more starts that week.
    auto stored = first.Next;
    auto again = TStats::CountRun(stored, Day(2024, 5, 15));
    EXPECT_EQ(again.SingleRun, 0);
    EXPECT_EQ(again.Next.WeekCount, 1);
    EXPECT_EQ(again.Next.MonthCount, 1);
    stored = again.Next;
    for (int d : {16, 19}) stored = TStats::CountRun(stored, Day(2024, 5, d)).Next;
    EXPECT_EQ(stored.WeekCount, 3);

    // Monday of the next week carries the three further starts of the old one.
    auto monday = TStats::CountRun(stored, Day(2024, 5, 20));
    EXPECT_EQ(monday.SingleRun, 1);
    EXPECT_EQ(monday.Week, 3);
    EXPECT_EQ(monday.Month, 0);
    EXPECT_EQ(monday.Next.WeekCount, 0);
    EXPECT_EQ(monday.Next.MondayofWeek, "2024-05-20");

    // Sunday belongs to the week of the Monday before it; a new month counts too.
    auto sunday = TStats::CountRun(monday.Next, Day(2024, 6, 2));
    EXPECT_EQ(sunday.Next.MondayofWeek, "2024-05-27");
    EXPECT_EQ(sunday.Month, monday.Next.MonthCount);
    EXPECT_EQ(sunday.Next.FirstDayOfMonth, "2024-06-01");
}

TEST(StatsCipher, PaddingToTheBlock) {
    std::string cipher;
    ASSERT_TRUE(platform::Base64Decode(TStats::EncryptReport(std::string(16, 'a')), cipher));
    EXPECT_EQ(cipher.size(), 16u);
    ASSERT_TRUE(platform::Base64Decode(TStats::EncryptReport(std::string(17, 'a')), cipher));
    EXPECT_EQ(cipher.size(), 24u);
    ASSERT_TRUE(platform::Base64Decode(TStats::EncryptReport(""), cipher));
    EXPECT_EQ(cipher.size(), 8u);
}

TEST_F(VendorTest, UsageReportsAsTheServiceReadsThem) {
    ASSERT_TRUE(platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine,
                                              "Software\\VELQO", "VendorID", "V<7>"));
    const std::time_t today = Day(2024, 5, 15);
    {
        TStats stats;
        EXPECT_EQ(stats.VendorID, "V<7>");
        stats.ReportRun(today);
        ASSERT_TRUE(server_.WaitForRequests(1, 5s));
        Settle();
        TStats second;
        second.ReportRun(today);
        ASSERT_TRUE(server_.WaitForRequests(2, 5s));
        Settle();
    }
    const auto reports = vendor_.DecryptedUsageReports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0],
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<userdata>\n  <runinfo>\n"
              "    <run>1</run>\n    <singlerun>1</singlerun>\n"
              "    <vendorid>V&lt;7&gt;</vendorid>\n  </runinfo>\n</userdata>\n");
    EXPECT_EQ(reports[1].find("singlerun"), std::string::npos);
    EXPECT_NE(reports[1].find("<run>1</run>"), std::string::npos);
    const platform::IniFile ini(SettingsFile());
    EXPECT_EQ(ini.ReadString("General", "LastStatsDate", ""), "2024-05-15");
    EXPECT_EQ(ini.ReadInteger("General", "WeekCount", -1), 1);
    EXPECT_EQ(ini.ReadInteger("General", "MonthCount", -1), 1);
    // The body goes as it is: no parameter name, no further encoding.
    const auto bodies = vendor_.UsageReports();
    EXPECT_EQ(bodies[0], TStats::EncryptReport(reports[0]));
}

// --- story list ------------------------------------------------------------

struct StoryListEvents {
    explicit StoryListEvents(TStoryLog& log) {
        log.OnStoryListReady = [this](TStoryLog*) { ready.Add(1); };
        log.OnPicturesChanged = [this](TStoryLog*) { pictures.Add(1); };
    }
    Inbox<int> ready, pictures;
};

std::string Package(const std::string& marker, const std::string& system) {
    return "[General]\r\nm=<a ID=\"" + marker + "\">\r\n[Story]\r\ns1=<a StoryName=\"" + A("剑来") +
           "\" SearchWords=\"" + A("剑来") +
           "\">\r\n[windows]\r\nw1=<a Title=\"t\" URL=\"u\">\r\nw2=<a Title=\"c\" "
           "Color=\"255\">\r\n"
           "[windows2]\r\nr1=<a Title=\"r\">\r\nr2=<a Title=\"g\" Color=\"12615680\">\r\n"
           "[system]\r\n" +
           system;
}

TEST_F(VendorTest, StoryListIsStoredAndPicturesChecked) {
    const std::string good = "GOOD PICTURE", altered = "ALTERED", kept = "KEPT";
    server_.Serve("/pic/good.png", HttpReply::Page(good, "image/png"));
    server_.Serve("/pic/altered.png", HttpReply::Page(altered, "image/png"));
    server_.Serve("/pic/kept.png", HttpReply::Page(kept, "image/png"));
    const std::string goodURL = server_.URL("/pic/good.png");
    const std::string alteredURL = server_.URL("/pic/altered.png");
    const std::string keptURL = server_.URL("/pic/kept.png");
    // The kept picture is already there with the listed MD5.
    tree_.Write("app/Pic/" + SaltedMD5(keptURL), kept);
    const std::string body =
        Package(std::string(TStoryLog::kMarker),
                "p1=<a Pic=\"" + goodURL + "\" URL=\"x\" MD5=\"" + StreamMD5(good) + "\">\r\n" +
                    "p2=<a Pic=\"" + alteredURL + "\" MD5=\"" + StreamMD5("ORIGINAL") + "\">\r\n" +
                    "p3=<a Pic=\"" + keptURL + "\" MD5=\"" + StreamMD5(kept) + "\">\r\n");
    vendor_.SetStoryList(body);

    TStoryLog log;
    StoryListEvents events(log);
    log.Download();
    ASSERT_TRUE(events.ready.WaitFor(1));
    ASSERT_TRUE(events.pictures.WaitFor(3));  // the check, then one per fetched picture
    Settle();
    EXPECT_EQ(events.pictures.Size(), 3u);
    EXPECT_EQ(TempTree::Read(TStoryLog::StoryListFile()), body + "\r\n");
    EXPECT_EQ(TempTree::Read(TStoryLog::PicFileName(goodURL)), good);
    EXPECT_FALSE(fs::exists(TStoryLog::PicFileName(alteredURL)));
    EXPECT_EQ(server_.RequestCount("/pic/kept.png"), 0u);
    EXPECT_EQ(server_.RequestCount("/pic/altered.png"), 1u);

    const std::string stored = TempTree::Read(TStoryLog::StoryListFile());
    const auto hot = TStoryLog::ReadHotStories(stored);
    ASSERT_EQ(hot.size(), 1u);
    EXPECT_EQ(U(hot[0].StoryName), "剑来");
    const auto main = TStoryLog::ReadStatusMessages(stored, "windows");
    ASSERT_EQ(main.size(), 2u);
    EXPECT_EQ(main[0].Color, 16777215u);
    EXPECT_EQ(main[0].URL, "u");
    // Colours are Windows colour numbers (red in the low byte) read as 0xRRGGBB.
    EXPECT_EQ(main[1].Color, 0xFF0000u);
    EXPECT_EQ(TStoryLog::ReadStatusMessages(stored, "WINDOWS").at(0).Color, 16777215u);
    const auto reader = TStoryLog::ReadStatusMessages(stored, "windows2");
    ASSERT_EQ(reader.size(), 2u);
    EXPECT_EQ(reader[0].Color, 0u);
    EXPECT_EQ(reader[1].Color, 0x0080C0u);  // 12615680 is 0xC08000: blue C0, green 80
}

TEST_F(VendorTest, StoryListWithoutItsMarkerIsRejected) {
    const std::string old = Package(std::string(TStoryLog::kMarker), "");
    tree_.Write("app/Story.cab", old);
    for (const std::string body :
         {Package("{e4e4647d-5b7b-4ddb-9078-6658b701838b}", ""),
          "<a ID=\"other\"> " + Package(std::string(TStoryLog::kMarker), ""),
          std::string("<html>error</html>")}) {
        vendor_.SetStoryList(body);
        TStoryLog log;
        StoryListEvents events(log);
        log.Download();
        ASSERT_TRUE(events.pictures.WaitFor(1));  // the picture check runs all the same
        Settle();
        EXPECT_EQ(events.ready.Size(), 0u);
        EXPECT_EQ(TempTree::Read(TStoryLog::StoryListFile()), old);
    }
}

// Lines built to make an attribute reader retry without end: a quote run
// with no tag end (each quote a new try, each try rescanning the line) and
// a tag holding a hundred thousand names. They read in one pass; a line over
// the bound is no entry, the others read as the attribute pattern reads
// them.
TEST(StoryListText, HostileLinesReadInOnePassAndLongOnesAreNoEntries) {
    const std::string quotes(60000, '"');
    const std::string list = "[Story]\r\n1=<StoryName=\"" + std::string(4 << 20, '"') +
                             "<>\r\n2=<a StoryName=\"ok\" SearchWords=\"w\">\r\n3=<StoryName=\"" +
                             quotes + "<>\r\n4=<a StoryName=\"" + std::string(70000, 'x') +
                             "\">\r\n5=<a StoryName=\"" + quotes + "\">\r\n";
    const auto hot = TStoryLog::ReadHotStories(list);
    ASSERT_EQ(hot.size(), 3u);
    EXPECT_EQ(hot[0].StoryName, "ok");
    EXPECT_EQ(hot[0].SearchWords, "w");
    EXPECT_EQ(hot[1].StoryName, "");
    EXPECT_EQ(hot[2].StoryName, "");

    std::string names = "<x ";
    for (int i = 0; i < 100000; ++i) names += "ID=\"a\" ";
    EXPECT_TRUE(TStoryLog::IsValidPackage(names + "<a ID=\"" + std::string(TStoryLog::kMarker) +
                                          "\">" + std::string(1 << 20, '"')));
    EXPECT_FALSE(TStoryLog::IsValidPackage(names + ">" + std::string(1 << 20, '"')));
}

// A disk that fills up while the new list is saved: the stored list stays
// whole and nobody is told of a new one.
TEST_F(VendorTest, StoryListThatCannotBeSavedWholeKeepsTheStoredOne) {
    const std::string old = Package(std::string(TStoryLog::kMarker), "");
    tree_.Write("app/Story.cab", old);
    vendor_.SetStoryList(Package(std::string(TStoryLog::kMarker), "") + std::string(4096, ';'));
    TStoryLog log;
    StoryListEvents events(log);
    // Files of this process may not grow past the old list's size for now.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = old.size() + 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    log.Download();
    const bool checked = events.pictures.WaitFor(1);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(checked);
    Settle();
    EXPECT_EQ(events.ready.Size(), 0u);
    EXPECT_EQ(TempTree::Read(TStoryLog::StoryListFile()), old);
}

}  // namespace
