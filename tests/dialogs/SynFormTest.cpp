// The reading-history sync against the vendor stand-in over real HTTP: the
// requests it sends, the steps it shows, what it does to the database.

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "DialogFixture.h"
#include "core/SqliteDB.h"
#include "shelf/dialogs/SynFormController.h"
#include "tests/support/VendorStandIn.h"

namespace {

using namespace dialogtest;
using nlohmann::json;
using testing_support::Fault;
using testing_support::HttpReply;
using testing_support::SyncHistoryRow;

const TSynLogin kLogin{"k-secret-1", "u1", "f1"};

struct Step {
    int progress;
    std::string text;
    bool operator==(const Step&) const = default;
    friend void PrintTo(const Step& step, std::ostream* out) {
        *out << step.progress << " " << step.text;
    }
};

// One controller with its steps recorded as the dialog would show them.
struct SynRun {
    SynRun(const std::string& url, const std::string& folder, TSynLogin login = kLogin)
        : controller(std::make_unique<TSynFormController>(login, url, folder)) {
        controller->OnChanged = [this] {
            const auto& state = controller->GetState();
            ++changes;
            if (steps.empty() || steps.back().text != U(state.Description))
                steps.push_back({state.Progress, U(state.Description)});
        };
        controller->MessageBox = boxes.Fn();
    }
    bool Run(TSynMode mode) {
        if (!controller->Start(mode)) return false;
        return PumpUntil([&] { return controller->GetState().Finished; });
    }
    std::string Final() const { return steps.empty() ? "" : steps.back().text; }
    bool Succeeded() const { return controller->CloseResult() == platform::ui::MrOk; }

    std::unique_ptr<TSynFormController> controller;
    std::vector<Step> steps;
    int changes = 0;
    MessageRecorder boxes;
};

class SynFormTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        vendor_ = std::make_unique<testing_support::VendorStandIn>(server_);
        vendor_->AddSyncAccount("u1", "k-secret-1", "f1");
        auto& db = DB();
        for (const auto& [id, name] : {std::pair{"s1", "书站一"}, std::pair{"s2", "书站二"}}) {
            TSiteItemData site;
            site.SiteID = id;
            site.SiteName = A(name);
            ASSERT_TRUE(db.SaveSite(id, site));
        }
        ASSERT_TRUE(db.AddArticle("s1", "101", A("剑影江湖"), A("云中客"), A("一段简介"), "", "",
                                  -1, "http://x/101"));
        ASSERT_TRUE(db.SetLastArticleInfo("s1", "101", A("第十二章 归来")));
        ASSERT_TRUE(db.SaveReadPosition("s1", "101", "2024-01-03 08:00:00", "11", 3, 4));
        ASSERT_TRUE(db.AddArticle("s1", "102", "  ", "", "", "", "", -1, ""));
        ASSERT_TRUE(db.SaveReadPosition("s1", "102", "2024-01-02 08:00:00", "1", 0, 0));
        ASSERT_TRUE(db.AddArticle("s2", "201", A("山海录"), A("老树"), "", "", "", -1, ""));
        ASSERT_TRUE(db.SaveReadPosition("s2", "201", "2024-01-01 08:00:00", "5", 0, 0));
    }

    std::string Url() const { return vendor_->BaseURL() + "/api.php"; }
    std::string Folder() const { return tree_.Path("app", true); }

    // (SiteID, StoryID, ReadChapter, ReadTime) of the history, newest first.
    std::vector<std::string> History() {
        std::vector<TReadHistoryListData> rows;
        DB().GetReadHistory(rows);
        std::vector<std::string> out;
        for (const auto& r : rows)
            out.push_back(r.SiteID + "/" + r.StoryID + " " + r.ReadChapter + " " + r.ReadTime);
        return out;
    }

    std::unique_ptr<testing_support::VendorStandIn> vendor_;
};

SyncHistoryRow ServerRow(std::string site, std::string id, std::string name, std::string chapter,
                         std::string time) {
    SyncHistoryRow row;
    row.siteid = std::move(site);
    row.bookid = std::move(id);
    row.bookname = std::move(name);
    row.lastchapterid = std::move(chapter);
    row.addtime = std::move(time);
    return row;
}

TEST_F(SynFormTest, UploadSendsTheHistoryAsAsciiJsonAndKeepsTheKeyOffDisk) {
    SynRun run(Url(), Folder());
    ASSERT_TRUE(run.Run(TSynMode::Upload));
    EXPECT_EQ(
        run.steps,
        (std::vector<Step>{
            {0, "正在处理..."}, {30, "正在生成数据"}, {60, "数据上传中"}, {100, "数据同步完成"}}));
    EXPECT_TRUE(run.Succeeded());
    EXPECT_EQ(U(run.controller->GetState().CancelCaption), "完成");
    EXPECT_FALSE(run.controller->GetState().OKEnabled);

    const auto requests = vendor_->ApiRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    ASSERT_EQ(requests[0].body.rfind("p=", 0), 0u);
    const std::string text = vendor_->SyncRequests().at(0);
    for (const unsigned char c : text) ASSERT_LT(c, 0x80) << text;
    EXPECT_NE(text.find("\\u5251"), std::string::npos) << text;  // 剑
    const json expected = {
        {"loginkey", "k-secret-1"},
        {"userid", "u1"},
        {"fdid", "f1"},
        {"action", "upload"},
        {"data",
         {{{"bookname", "剑影江湖"},
           {"authorname", "云中客"},
           {"bookid", "101"},
           {"sitename", "书站一"},
           {"siteid", "s1"},
           {"lastchapter", "第十二章 归来"},
           {"lastchapterid", "11"},
           {"addtime", "2024-01-03 08:00:00"}},
          {{"bookname", "山海录"},
           {"authorname", "老树"},
           {"bookid", "201"},
           {"sitename", "书站二"},
           {"siteid", "s2"},
           {"lastchapter", ""},
           {"lastchapterid", "5"},
           {"addtime", "2024-01-01 08:00:00"}}}},
    };
    EXPECT_EQ(json::parse(text), expected);  // the blank title stayed home
    EXPECT_EQ(vendor_->SyncRows("u1").size(), 2u);

    // The copy of the request: the same body without the key, private.
    const std::string copy = Folder() + TSynFormController::kUploadSent;
    const std::string written = testing_support::TempTree::Read(copy);
    EXPECT_EQ(written.rfind("p=", 0), 0u);
    EXPECT_EQ(written.find("k-secret-1"), std::string::npos);
    EXPECT_NE(written.find("u1"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(copy.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
}

TEST_F(SynFormTest, DownloadReplacesTheHistoryAndKeepsStoredStories) {
    vendor_->SetSyncRows("u1", {ServerRow("s1", "101", "别的书名", "40", "2024-06-01 09:00:00"),
                                ServerRow("s2", "299", "新书", "2", "2024-06-02 09:00:00"),
                                ServerRow("", "300", "无站点", "1", "2024-06-03 09:00:00"),
                                ServerRow("s2", " ", "无编号", "1", "2024-06-04 09:00:00")});
    SynRun run(Url(), Folder());
    ASSERT_TRUE(run.Run(TSynMode::Download));
    EXPECT_EQ(
        run.steps,
        (std::vector<Step>{
            {0, "正在处理..."}, {30, "数据下载中"}, {60, "开始同步数据"}, {100, "数据同步完成"}}));
    EXPECT_TRUE(run.Succeeded());
    EXPECT_EQ(History(), (std::vector<std::string>{"s2/299 2 2024-06-02 09:00:00",
                                                   "s1/101 40 2024-06-01 09:00:00"}));
    AnsiString title, author, intro;
    ASSERT_TRUE(DB().GetArticleInfo("s1", "101", title, author, intro));
    EXPECT_EQ(U(title), "剑影江湖");
    EXPECT_EQ(U(author), "云中客");
    EXPECT_EQ(U(intro), "一段简介");
    ASSERT_TRUE(DB().GetArticleTitle("s2", "299", title));
    EXPECT_EQ(U(title), "新书");

    EXPECT_EQ(
        json::parse(vendor_->SyncRequests().at(0)),
        (json{
            {"loginkey", "k-secret-1"}, {"userid", "u1"}, {"fdid", "f1"}, {"action", "download"}}));
    const std::string copy =
        testing_support::TempTree::Read(Folder() + TSynFormController::kDownloadSent);
    EXPECT_NE(copy.find("download"), std::string::npos);
    EXPECT_EQ(copy.find("k-secret-1"), std::string::npos);
}

TEST_F(SynFormTest, MergeLetsTheServerWinKeepsOtherRowsAndUploadsTheResult) {
    vendor_->SetSyncRows("u1", {ServerRow("s1", "101", "剑影江湖", "77", "2024-07-01 10:00:00"),
                                ServerRow("s2", "250", "远方", "8", "2023-12-01 10:00:00")});
    SynRun run(Url(), Folder());
    ASSERT_TRUE(run.Run(TSynMode::Merge));
    EXPECT_EQ(run.steps, (std::vector<Step>{{0, "正在处理..."},
                                            {10, "数据下载中"},
                                            {20, "开始合并数据"},
                                            {30, "数据合并完成，准备将记录上传到服务器"},
                                            {30, "正在生成数据"},
                                            {60, "数据上传中"},
                                            {100, "数据同步完成"}}));
    EXPECT_EQ(History(), (std::vector<std::string>{
                             "s1/101 77 2024-07-01 10:00:00", "s1/102 1 2024-01-02 08:00:00",
                             "s2/201 5 2024-01-01 08:00:00", "s2/250 8 2023-12-01 10:00:00"}));
    std::vector<std::string> uploaded;
    for (const auto& row : vendor_->SyncRows("u1"))
        uploaded.push_back(row.siteid + "/" + row.bookid + " " + row.lastchapterid);
    EXPECT_EQ(uploaded, (std::vector<std::string>{"s1/101 77", "s2/201 5", "s2/250 8"}));
    // The download step of a merge leaves no copy behind.
    EXPECT_FALSE(std::filesystem::exists(Folder() + TSynFormController::kDownloadSent));
}

TEST_F(SynFormTest, EveryKindOfAnswerEndsInItsText) {
    const std::string error = "，请重试或者通过界面右下角的问题反馈提交错误。";
    const auto page = [](std::string body) {
        return HttpReply::Page(std::move(body), "text/html");
    };
    struct Case {
        const char* name;
        TSynMode mode;
        std::function<HttpReply()> answer;  // null: the stand-in itself
        std::string final;
        bool succeeded;
        const char* receivedCopy;  // the answer copy that must appear, or null
    };
    const Case cases[] = {
        {"upload flag 3", TSynMode::Upload, [&] { return page(R"({"flag":"3"})"); },
         "数据同步错误[3]" + error, false, TSynFormController::kUploadReceived},
        {"upload flag 0 as a number", TSynMode::Upload, [&] { return page(R"({"flag":0})"); },
         "数据同步完成", true, nullptr},
        {"upload without flag", TSynMode::Upload, [&] { return page(R"({"data":[]})"); },
         "数据同步失败，请重试", false, nullptr},
        {"upload answered 500", TSynMode::Upload,
         [&] { return HttpReply::Status(500, R"({"flag":"0"})"); }, "数据同步失败，请重试", false,
         nullptr},
        {"download flag 7", TSynMode::Download,
         [&] { return page(R"({"flag":7,"loginkey":"k-secret-1"})"); }, "数据同步错误[7]" + error,
         false, TSynFormController::kDownloadReceived},
        {"download not JSON", TSynMode::Download,
         [&] { return page("<html><body>Bad gateway</body></html>"); }, "数据同步失败，请重试",
         false, nullptr},
        {"download a JSON array", TSynMode::Download, [&] { return page(R"([{"flag":"0"}])"); },
         "数据同步失败，请重试", false, nullptr},
        {"download empty data", TSynMode::Download,
         [&] { return page(R"({"flag":"0","data":[]})"); },
         "服务器上无阅读记录，请先上传本机的记录", true, nullptr},
        {"download without data", TSynMode::Download, [&] { return page(R"({"flag":"0"})"); },
         "数据同步失败，请重试", false, nullptr},
        {"merge flag 5", TSynMode::Merge, [&] { return page(R"({"flag":"5"})"); },
         "数据合并错误[5]，请重试或者通过界面右下角的问题反馈提交错误。", false, nullptr},
        {"merge not JSON", TSynMode::Merge, [&] { return page("oops"); }, "数据合并失败，请重试",
         false, nullptr},
        {"merge without data", TSynMode::Merge, [&] { return page(R"({"flag":"0"})"); },
         "数据合并失败，请重试", false, nullptr},
    };
    const std::vector<std::string> before = History();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name :
             {TSynFormController::kUploadReceived, TSynFormController::kDownloadReceived})
            std::filesystem::remove(Folder() + name);
        vendor_->SetApiHandler(
            [&c](const testing_support::HttpRequestRecord&) { return c.answer(); });
        SynRun run(Url(), Folder());
        ASSERT_TRUE(run.Run(c.mode));
        EXPECT_EQ(run.Final(), c.final);
        EXPECT_EQ(run.Succeeded(), c.succeeded);
        EXPECT_EQ(run.controller->GetState().Progress, 100);
        if (c.mode != TSynMode::Upload) {
            EXPECT_EQ(History(), before);
        }
        if (c.receivedCopy) {
            const std::string copy = testing_support::TempTree::Read(Folder() + c.receivedCopy);
            EXPECT_FALSE(copy.empty());
            EXPECT_EQ(copy.find("k-secret-1"), std::string::npos) << copy;
        }
    }
}

// Answers built to hurt: nested far past what the protocol uses (copying or
// freeing such a tree recursively ran a worker out of stack), over the size
// and row bounds, or with a great many keys. Each ends in the sync's failure
// text, or reads as it says, and the history stays.
TEST_F(SynFormTest, HostileAnswersAreRefusedWithTheFailureText) {
    const auto nested = [](const std::string& flag, size_t depth) {
        return R"({"flag":)" + flag + R"(,"data":[],"x":)" + std::string(depth, '[') +
               std::string(depth, ']') + "}";
    };
    std::string manyRows = R"({"flag":"0","data":[)";
    for (size_t i = 0; i <= TSynAnswer::kMaxRows; ++i)
        manyRows += std::string(i ? "," : "") + R"({"siteid":"s1","bookid":")" + std::to_string(i) +
                    R"("})";
    manyRows += "]}";
    std::string manyKeys = R"({"flag":"0",)";
    for (int i = 0; i < 100000; ++i) manyKeys += "\"k" + std::to_string(i) + "\":1,";
    manyKeys += R"("data":[]})";
    const std::string oversized =
        R"({"flag":"0","data":[],"pad":")" + std::string(TSynAnswer::kMaxBytes, 'x') + "\"}";
    const std::string failed = "数据同步失败，请重试";
    struct Case {
        const char* name;
        TSynMode mode;
        std::string body;
        std::string final;
    };
    const Case cases[] = {
        {"error flag, nested 200,000 deep", TSynMode::Download, nested("\"1\"", 200000), failed},
        {"upload answer nested 200,000 deep", TSynMode::Upload, nested("\"1\"", 200000), failed},
        {"success nested 200,000 deep", TSynMode::Download, nested("\"0\"", 200000), failed},
        {"merge answer nested deep", TSynMode::Merge, nested("\"0\"", 200000),
         "数据合并失败，请重试"},
        {"nested past the limit", TSynMode::Download, nested("\"1\"", TSynAnswer::kMaxDepth),
         failed},
        {"nested within the limit", TSynMode::Download, nested("\"0\"", TSynAnswer::kMaxDepth - 1),
         "服务器上无阅读记录，请先上传本机的记录"},
        {"more rows than a history holds", TSynMode::Download, manyRows, failed},
        {"larger than an answer may be", TSynMode::Download, oversized, failed},
        {"a hundred thousand keys", TSynMode::Download, manyKeys,
         "服务器上无阅读记录，请先上传本机的记录"},
    };
    const std::vector<std::string> before = History();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vendor_->SetApiHandler([&c](const testing_support::HttpRequestRecord&) {
            return HttpReply::Page(c.body, "application/json");
        });
        SynRun run(Url(), Folder());
        ASSERT_TRUE(run.Run(c.mode));
        EXPECT_EQ(run.Final(), c.final);
        EXPECT_EQ(History(), before);
    }
}

// The copy of an error answer is the answer again, in its order and
// escaping, with the login key masked however deep its value goes.
TEST_F(SynFormTest, TheCopyOfAnErrorAnswerMasksTheKey) {
    vendor_->SetApiHandler([](const testing_support::HttpRequestRecord&) {
        return HttpReply::Page(R"({"flag":7,"z":{"loginkey":"inner","a":[1,2.5,true,null,"中"]},)"
                               R"("loginkey":{"k":["k-secret-1"]},"b":"x"})",
                               "application/json");
    });
    SynRun run(Url(), Folder());
    ASSERT_TRUE(run.Run(TSynMode::Download));
    EXPECT_EQ(testing_support::TempTree::Read(Folder() + TSynFormController::kDownloadReceived),
              R"({"flag":7,"z":{"loginkey":"inner","a":[1,2.5,true,null,"\u4e2d"]},)"
              R"("loginkey":"********","b":"x"})");
}

TEST_F(SynFormTest, TheServiceRefusingOrFailingIsReported) {
    struct Case {
        const char* name;
        TSynLogin login;
        std::function<void()> arrange;
        std::string final;
    };
    const Case cases[] = {
        {"wrong key",
         {"other", "u1", "f1"},
         [] {},
         "数据同步错误[1]，请重试或者通过界面右下角的问题反馈提交错误。"},
        {"forced flag", kLogin, [&] { vendor_->SetSyncFlag("\"9\""); },
         "数据同步错误[9]，请重试或者通过界面右下角的问题反馈提交错误。"},
        {"connection reset", kLogin,
         [&] {
             Fault reset;
             reset.resetAfter = 0;
             server_.SetFault("/api.php", reset);
         },
         "数据同步失败，请重试"},
    };
    const std::vector<std::string> before = History();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vendor_->SetSyncFlag("");
        server_.ClearFaults();
        c.arrange();
        SynRun run(Url(), Folder(), c.login);
        ASSERT_TRUE(run.Run(TSynMode::Download));
        EXPECT_EQ(run.Final(), c.final);
        EXPECT_EQ(History(), before);
    }
}

TEST_F(SynFormTest, AFailedWriteRollsBackAndSaysSo) {
    vendor_->SetSyncRows("u1", {ServerRow("s1", "101", "剑影江湖", "40", "2024-06-01 09:00:00"),
                                ServerRow("s2", "bad", "写不进", "2", "2024-06-02 09:00:00")});
    {
        auto raw = SqliteDB::Open(dbPath_, SqliteDB::Mode::ReadWrite, 5000);
        ASSERT_TRUE(raw);
        ASSERT_TRUE(raw->Execute(
            "create trigger refuse before insert on LastReadHistory when NEW.StoryID='bad' "
            "begin select raise(abort, 'refused'); end"));
    }
    const std::vector<std::string> before = History();
    SynRun run(Url(), Folder());
    ASSERT_TRUE(run.Run(TSynMode::Download));
    EXPECT_EQ(run.Final(), "数据同步失败，请重试");
    EXPECT_FALSE(run.Succeeded());
    EXPECT_EQ(History(), before);
}

TEST_F(SynFormTest, NothingToSendOrNoModeOrNoServiceNeverLeavesTheDialogWaiting) {
    // No mode: the user is told, and the dialog stays as it was.
    {
        SynRun run(Url(), Folder());
        EXPECT_FALSE(run.controller->Start(TSynMode::None));
        ASSERT_EQ(run.boxes.boxes.size(), 1u);
        EXPECT_EQ(run.boxes.boxes[0].text, "请选择一种同步模式！");
        EXPECT_EQ(run.boxes.boxes[0].caption, "Tolvane");
        EXPECT_EQ(run.boxes.boxes[0].icon, platform::ui::MessageIcon::Information);
        EXPECT_TRUE(run.controller->GetState().Choosing);
        EXPECT_TRUE(run.controller->GetState().OKEnabled);
    }
    // No service address: no request, the failure text.
    {
        SynRun run("", Folder());
        ASSERT_TRUE(run.Run(TSynMode::Download));
        EXPECT_EQ(run.Final(), "数据同步失败，请重试");
    }
    // An empty history has nothing to upload, and a merge with nothing on
    // either side neither.
    ASSERT_TRUE(DB().ClearTable("LastReadHistory"));
    for (const auto& [mode, text] : {std::pair{TSynMode::Upload, "本机没有阅读记录，无需上传"},
                                     std::pair{TSynMode::Merge, "本机和服务器上都没有阅读记录"}}) {
        SynRun run(Url(), Folder());
        ASSERT_TRUE(run.Run(mode));
        EXPECT_EQ(run.Final(), text);
        EXPECT_EQ(run.controller->GetState().Progress, 100);
        EXPECT_TRUE(run.Succeeded());
    }
    EXPECT_TRUE(vendor_->SyncRows("u1").empty());
    EXPECT_EQ(server_.RequestCount("/api.php"), 1u);  // the merge's download
}

TEST_F(SynFormTest, ClosingDuringAHungRequestLeavesNoLateEvent) {
    Fault hang;
    hang.hang = true;
    server_.SetFault("/api.php", hang);
    auto run = std::make_unique<SynRun>(Url(), Folder());
    int changes = 0;
    run->controller->OnChanged = [&changes] { ++changes; };
    ASSERT_TRUE(run->controller->Start(TSynMode::Download));
    ASSERT_TRUE(server_.WaitForRequests(1, 10s));
    const std::vector<std::string> before = History();
    run.reset();  // the dialog closes
    const int seen = changes;
    server_.Stop();  // the hung answer ends now: a live request would fail
    ASSERT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(10s));
    Drain();
    EXPECT_EQ(changes, seen);
    EXPECT_EQ(History(), before);
}

}  // namespace
