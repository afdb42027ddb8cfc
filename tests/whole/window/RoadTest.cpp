// The road of one request across both programs, as a user takes it: the
// built Quira and QuiraReader run as processes of their own on the test's
// display, with a temporary profile, against the fake GBK and UTF-8 novel
// sites and the vendor stand-in. The windows are driven by synthesised input
// (XTest), the pages by scripts, and the test agent tells what each program
// shows. Every step leaves a screenshot in the test's output folder.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "platform/Charset.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "platform/NamedLock.h"
#include "platform/SharedBlock.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/ProcessRun.h"
#include "tests/support/RunTool.h"
#include "tests/support/TempTree.h"
#include "tests/support/VendorStandIn.h"
#include "tests/support/agent/ProgramAgent.h"
#include "tests/support/window/WindowTest.h"

// After gtest: Xlib's macros would break its templates.
#include "tests/support/window/FakeTray.h"
#include "tests/support/window/FakeWindowManager.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::AgentRect;
using testing_support::AgentText;
using testing_support::AgentView;
using testing_support::AgentWidget;
using testing_support::AgentWindow;
using testing_support::FakeNovelSite;
using testing_support::FakeStory;
using testing_support::ProcessRun;
using testing_support::ProgramAgent;
using testing_support::SiteCharset;
using testing_support::TempTree;

// Waits for the programs: generous, for a loaded machine and the sanitizer
// build, but bounded.
constexpr int kStartMs = 90000;
constexpr int kWaitMs = 45000;

std::string Utf8(const AnsiString& ansi) {
    return platform::AnsiToUtf8(ansi);
}

// A chapter long enough to scroll through.
std::string LongText(int number) {
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "第" + std::to_string(number) + "章第" + std::to_string(i + 1) +
                "段：星河万里，夜色如水，少年提灯而行，一路向东，不问归期。\n";
    return text;
}

// The JSON text of a script's string result as UTF-8.
std::string JsonString(const std::string& jsonText) {
    const json value = json::parse(jsonText, nullptr, false);
    return value.is_string() ? value.get<std::string>() : std::string();
}

class Road : public ::testing::Test {
  protected:
    void SetUp() override {
        uitest::RequireUi();
        ASSERT_TRUE(uitest::InputAvailable());
        tree_ = std::make_unique<TempTree>(TempTree::Profile::kXdg);
        vendor_ = std::make_unique<testing_support::VendorStandIn>(server_);
        tree_->SetEnv("QUIRA_SERVICE_URL", vendor_->BaseURL());
        shots_ = std::string(QUIRA_SCREENSHOT_DIR) + "/road/";
        std::error_code ignored;
        fs::remove_all(shots_, ignored);
        fs::create_directories(shots_);
        agentFolder_ = tree_->Make("agent");
        tree_->Make("home/Desktop");

        MakeSites();
        MakeProfile();
        // A notification area and the iconifying part of a window manager,
        // as a desktop has them, before the program looks for them.
        tray_ = std::make_unique<uitest::FakeTray>();
        windowManager_ = std::make_unique<uitest::FakeWindowManager>();
        // A reader that outlives the main program becomes ours to collect.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    void TearDown() override {
        // A failed step leaves the screen as it was, and what Quira painted.
        if (HasFailure()) {
            ShootScreen("failure");
            if (quiraAgent_) {
                try {
                    for (const AgentText& t : quiraAgent_->Texts())
                        std::cerr << "Quira painted \"" << t.text << "\" at " << t.rect.x << ","
                                  << t.rect.y << "\n";
                } catch (const testing_support::AgentError& e) {
                    std::cerr << e.what() << "\n";
                }
            }
            // What the program said before it failed (a sanitizer's report).
            if (quira_) {
                if (const auto status = quira_->Wait(0))
                    std::cerr << "Quira ended with status " << *status << "\n";
                std::cerr << "Quira's error output:\n"
                          << TempTree::Read(tree_->Path("quira.err")) << "\n";
            }
        }
        // Whatever is left of a failed run ends here, readers included.
        for (const pid_t pid : ProgramAgent::Serving(agentFolder_, "QuiraReader"))
            kill(pid, SIGKILL);
        reader_.reset();
        quiraAgent_.reset();
        quira_.reset();
        prctl(PR_SET_CHILD_SUBREAPER, 0);
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        SetStoryDB(nullptr);
        windowManager_.reset();
        tray_.reset();
        server_.Stop();
    }

    void MakeSites() {
        gbk_ = std::make_unique<FakeNovelSite>(
            server_, testing_support::SiteOptions("gbk", SiteCharset::Gbk, "书站甲"));
        utf8_ = std::make_unique<FakeNovelSite>(
            server_, testing_support::SiteOptions("utf8", SiteCharset::Utf8, "书站乙"));
        story_ = gbk_->AddStory("云台夜话", "陆青", 24, 2);
        // The second chapter is read down the page.
        story_.volumes.at(0).chapters.at(1).text = LongText(2);
        gbk_->UpdateStory(story_);
        utf8_->AddStory("云台夜话", "陆青", 9);
        utf8_->AddStory("云台夜话外传", "陆青", 3);
        gbk_->AddStory("山中岁月", "林木", 3);
    }

    // The user's database lists the two fake sites; set.ini names the boss
    // key. The test keeps the database open to read what the programs wrote.
    void MakeProfile() {
        const std::string app = tree_->Path("home/.local/share/Velqo", true);
        database_ = tree_->Write("home/.local/share/Velqo/idata.dll", "");
        SetAppFolder(app);
        SetDataFolder(app);
        ASSERT_TRUE(TDBCreater().CheckDatabase(database_, database_ + ".none"));
        SetStoryDB(std::make_unique<TStoryDB>(database_));
        for (FakeNovelSite* site : {gbk_.get(), utf8_.get()}) {
            const auto row = site->Row();
            ASSERT_TRUE(StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData()));
        }
        platform::IniFile(app + "set.ini").WriteString("General", "CustomHotKey", "Ctrl+Alt+Q");
        // A desktop without animations: a screenshot shows a state, never a
        // fade between two.
        tree_->Write("home/.config/gtk-3.0/settings.ini",
                     "[Settings]\ngtk-enable-animations=false\n");
    }

    void StartQuira() {
        quira_ = std::make_unique<ProcessRun>(
            std::string(QUIRA_BIN_DIR) + "/Quira", std::vector<std::string>{},
            ProgramAgent::Environment(agentFolder_, {"QuiraReader"}), tree_->Path("quira.out"),
            tree_->Path("quira.err"));
        ASSERT_TRUE(quira_->Started());
        quiraAgent_ = std::make_unique<ProgramAgent>(
            ProgramAgent::Connect(agentFolder_, quira_->Pid(), kStartMs));
    }

    ProgramAgent& Quira() { return *quiraAgent_; }
    ProgramAgent& Reader() { return *reader_; }

    // --- waiting and looking -------------------------------------------------------

    // Runs the test's own loop (the notification area lives in it) until
    // pred holds; false after the time.
    static bool Until(const std::function<bool()>& pred, int timeoutMs = kWaitMs) {
        return uitest::PumpUntil(pred, timeoutMs);
    }

    static std::optional<AgentWindow> WindowTitled(ProgramAgent& agent, const std::string& part) {
        for (const AgentWindow& w : agent.Windows())
            if (w.kind == "toplevel" && w.mapped && w.title.find(part) != std::string::npos)
                return w;
        return std::nullopt;
    }
    static std::optional<AgentWindow> WindowById(ProgramAgent& agent, const std::string& id) {
        for (const AgentWindow& w : agent.Windows())
            if (w.id == id) return w;
        return std::nullopt;
    }
    // A text painted in the window: that text, blanks around it aside.
    static std::optional<AgentText> TextIn(ProgramAgent& agent, const std::string& window,
                                           const std::string& text) {
        for (const AgentText& t : agent.Texts()) {
            const size_t first = t.text.find_first_not_of(' ');
            const size_t last = t.text.find_last_not_of(' ');
            if (t.window == window && first != std::string::npos &&
                t.text.substr(first, last - first + 1) == text)
                return t;
        }
        return std::nullopt;
    }
    std::optional<AgentText> AwaitText(ProgramAgent& agent, const std::string& window,
                                       const std::string& text) {
        std::optional<AgentText> found;
        Until([&] { return (found = TextIn(agent, window, text)).has_value(); });
        return found;
    }
    static std::optional<AgentWidget> WidgetNamed(ProgramAgent& agent, const std::string& window,
                                                  const std::string& type,
                                                  const std::string& name) {
        for (const AgentWidget& w : agent.Widgets(type))
            if (w.window == window && w.name == name && w.visible) return w;
        return std::nullopt;
    }
    static std::optional<AgentWidget> WidgetWithText(ProgramAgent& agent, const std::string& window,
                                                     const std::string& type,
                                                     const std::string& text) {
        for (const AgentWidget& w : agent.Widgets(type))
            if (w.window == window && w.text == text && w.visible) return w;
        return std::nullopt;
    }
    // The web view shown in the window.
    static std::optional<AgentView> ShownView(ProgramAgent& agent, const std::string& window) {
        for (const AgentView& v : agent.Views())
            if (v.window == window && v.visible) return v;
        return std::nullopt;
    }
    // Waits until the window shows a loaded page whose address ends so (or
    // holds it, for contains).
    std::optional<AgentView> AwaitPage(ProgramAgent& agent, const std::string& window,
                                       const std::string& address, bool contains = false) {
        std::optional<AgentView> page;
        Until([&] {
            page = ShownView(agent, window);
            if (!page || page->loading) return false;
            return contains ? page->uri.find(address) != std::string::npos
                            : page->uri.ends_with(address);
        });
        if (page && (page->loading || (contains ? page->uri.find(address) == std::string::npos
                                                : !page->uri.ends_with(address))))
            page.reset();
        return page;
    }
    static std::string PageText(ProgramAgent& agent, const AgentView& view,
                                const std::string& expression) {
        return JsonString(agent.Script(view.id, "return String(" + expression + ");"));
    }
    static int ScrollY(ProgramAgent& agent, const AgentView& view) {
        const json y = json::parse(agent.Script(view.id, "return Math.round(window.scrollY);"),
                                   nullptr, false);
        return y.is_number_integer() ? y.get<int>() : -1;
    }
    bool AwaitPageText(ProgramAgent& agent, const AgentView& view, const std::string& part) {
        return Until([&] {
            return PageText(agent, view, "document.body ? document.body.innerText : ''")
                       .find(part) != std::string::npos;
        });
    }
    // An element of the page, scrolled into view, on the screen.
    static AgentRect ElementRect(ProgramAgent& agent, const AgentView& view,
                                 const std::string& selector) {
        const std::string answer =
            agent.Script(view.id, "const e = document.querySelector(" + json(selector).dump() +
                                      "); if (!e) return null; e.scrollIntoView({block: 'center'});"
                                      " await new Promise(r => requestAnimationFrame(() =>"
                                      " requestAnimationFrame(r)));"
                                      " const b = e.getBoundingClientRect();"
                                      " return [b.left, b.top, b.width, b.height];");
        const json box = json::parse(answer, nullptr, false);
        if (!box.is_array() || box.size() != 4) return {};
        return {view.rect.x + static_cast<int>(box[0].get<double>()),
                view.rect.y + static_cast<int>(box[1].get<double>()),
                static_cast<int>(box[2].get<double>()), static_cast<int>(box[3].get<double>())};
    }

    // --- acting ----------------------------------------------------------------------

    static void Click(ProgramAgent& agent, int x, int y) {
        uitest::ClickAt(x, y);
        agent.Settle();
    }
    static void Click(ProgramAgent& agent, const AgentRect& r) {
        Click(agent, r.CenterX(), r.CenterY());
    }
    // A click on a widget where it stands once the program has laid it out:
    // a widget just changed (a caption, a move) may be drawn before its new
    // place is allocated, and a click on the old place would miss it.
    static void ClickWidget(ProgramAgent& agent, const AgentWidget& widget) {
        agent.Settle();
        AgentRect at = widget.rect;
        for (const AgentWidget& w : agent.Widgets(widget.type))
            if (w.id == widget.id) at = w.rect;
        Click(agent, at);
    }
    bool ClickElement(ProgramAgent& agent, const AgentView& view, const std::string& selector) {
        const AgentRect r = ElementRect(agent, view, selector);
        if (r.Empty()) return false;
        Click(agent, r);
        return true;
    }
    // The read button of a list row: the row shows a hand as far as its
    // right end, and the button lies 100 pixels inside that end, 72 wide.
    bool ClickReadButton(ProgramAgent& agent, const AgentWindow& window, int rowY) {
        for (int x = window.rect.x + window.rect.width - 4; x > window.rect.x + 300; x -= 6) {
            uitest::PointerTo(x, rowY);
            agent.Settle();
            const auto pointer = agent.Pointer();
            if (pointer.window == window.id && pointer.cursor) {
                Click(agent, x - 64, rowY);
                return true;
            }
        }
        return false;
    }

    // --- screenshots -----------------------------------------------------------------

    // The window as the screen shows it, once its page (if any) has painted.
    void Shoot(ProgramAgent& agent, const std::string& window, const std::string& name) {
        if (const auto view = ShownView(agent, window))
            agent.Script(view->id,
                         "await new Promise(r => requestAnimationFrame(() =>"
                         " requestAnimationFrame(r))); return 1;");
        agent.Settle();
        const std::string file = shots_ + Numbered(name);
        agent.Shoot(window, file);
        EXPECT_TRUE(fs::exists(file)) << file;
    }
    void ShootScreen(const std::string& name) {
        GdkPixbuf* shot = uitest::ShootScreen(0, 0, 1280, 1024);
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(uitest::SavePng(shot, shots_ + Numbered(name)));
        g_object_unref(shot);
    }
    std::string Numbered(const std::string& name) {
        const std::string number = std::to_string(++shotNumber_);
        return std::string(number.size() < 2 ? "0" : "") + number + "-" + name + ".png";
    }

    // --- the stored state ---------------------------------------------------------------

    bool ChaptersCached() const {
        for (const auto* chapter : story_.Chapters())
            if (!IsPublishedPage(
                    ChapterCacheFile("gbk", story_.id, platform::Utf8ToAnsi(chapter->id))))
                return false;
        return true;
    }
    TReadHistoryData Position() const {
        TReadHistoryData position;
        StoryDB()->GetReadPosition("gbk", story_.id, position);
        return position;
    }

    testing_support::FakeHttpServer server_;
    std::unique_ptr<TempTree> tree_;
    std::unique_ptr<testing_support::VendorStandIn> vendor_;
    std::unique_ptr<FakeNovelSite> gbk_, utf8_;
    FakeStory story_;
    std::string database_, agentFolder_, shots_;
    std::unique_ptr<uitest::FakeTray> tray_;
    std::unique_ptr<uitest::FakeWindowManager> windowManager_;
    std::unique_ptr<ProcessRun> quira_;
    std::unique_ptr<ProgramAgent> quiraAgent_;
    std::unique_ptr<ProgramAgent> reader_;
    int shotNumber_ = 0;
};

TEST_F(Road, SearchReadShelveDownloadExportReadInTheReaderAndQuit) {
    StartQuira();
    ProgramAgent& quira = Quira();
    const std::string first = story_.Chapters().at(0)->id;
    const std::string second = story_.Chapters().at(1)->id;
    const std::string firstName = story_.Chapters().at(0)->name;
    const std::string secondName = story_.Chapters().at(1)->name;

    // The main window with the vendor's start page, and its tray icon.
    std::optional<AgentWindow> main;
    ASSERT_TRUE(Until(
        [&] {
            for (const AgentWindow& w : quira.Windows())
                if (w.kind == "toplevel" && w.mapped && w.rect.width >= 800) main = w;
            return main.has_value();
        },
        kStartMs))
        << "the main window never showed";
    ASSERT_TRUE(AwaitPage(quira, main->id, "/velqonew/html/index2.html"));
    ASSERT_TRUE(Until([&] { return !tray_->Icons().empty(); })) << "no tray icon docked";
    Shoot(quira, main->id, "start");

    // Type a title into the search box and press Enter: the results show
    // with their count.
    const auto box = [&] {
        for (const AgentWidget& w : quira.Widgets("GtkEntry"))
            if (w.window == main->id && w.visible) return std::optional<AgentWidget>(w);
        return std::optional<AgentWidget>();
    }();
    ASSERT_TRUE(box) << "no search box";
    ClickWidget(quira, *box);
    uitest::TypeUnicode("云台夜话");
    uitest::TypeKey(0xff0d /* Return */);
    ASSERT_TRUE(AwaitText(quira, main->id, "搜索完成，共找到小说2本！"))
        << "the search never reported its count";
    const auto gbkRow = AwaitText(quira, main->id, "来源: 书站甲");
    ASSERT_TRUE(gbkRow);
    EXPECT_TRUE(TextIn(quira, main->id, "云台夜话外传"));
    // Each site got the keyword in its own charset, and the vendor its report.
    EXPECT_EQ(gbk_->SearchKeys(), std::vector<std::string>{"云台夜话"});
    EXPECT_EQ(utf8_->SearchKeys(), std::vector<std::string>{"云台夜话"});
    ASSERT_TRUE(Until([&] { return vendor_->ReportedKeywords().size() == 1; }));
    EXPECT_EQ(Utf8(vendor_->ReportedKeywords().at(0)), "云台夜话");
    EXPECT_TRUE(TextIn(quira, main->id, "来源: 书站乙"));
    Shoot(quira, main->id, "results");

    // Read the GBK site's result: its chapter-list page shows.
    ASSERT_TRUE(ClickReadButton(quira, *main, gbkRow->rect.CenterY()));
    auto list = AwaitPage(quira, main->id, "/List.HTML");
    ASSERT_TRUE(list) << "the chapter-list page never showed";
    EXPECT_EQ(PageText(quira, *list, "document.body.getAttribute('data-story')"), story_.id);
    EXPECT_TRUE(AwaitPageText(quira, *list, "共 24 章"));
    Shoot(quira, main->id, "chapter-list");

    // "加入书架" on the page: on the online shelf, and so followed.
    ASSERT_TRUE(ClickElement(quira, *list, "#shelf"));
    ASSERT_TRUE(Until([&] { return StoryDB()->IsInOnlineShelf("gbk", story_.id).Found(); }))
        << "the story never reached the online shelf";
    EXPECT_TRUE(StoryDB()->IsFollowed("gbk", story_.id).Found());
    const auto shelfEntry = AwaitText(quira, main->id, "在线书架");
    ASSERT_TRUE(shelfEntry);
    Click(quira, shelfEntry->rect);
    const auto shelfRow = AwaitText(quira, main->id, "来源: 书站甲");
    ASSERT_TRUE(shelfRow);
    ASSERT_TRUE(AwaitText(quira, main->id, "云台夜话"));
    EXPECT_FALSE(TextIn(quira, main->id, "山中岁月"));
    Shoot(quira, main->id, "online-shelf");
    // From the shelf back to the story's chapter list.
    ASSERT_TRUE(ClickReadButton(quira, *main, shelfRow->rect.CenterY()));
    list = AwaitPage(quira, main->id, "/List.HTML");
    ASSERT_TRUE(list);

    // "离线下载": the offline download, with progress, ends complete.
    testing_support::Fault slow;
    slow.delay = std::chrono::milliseconds(400);
    for (const auto* chapter : story_.Chapters())
        server_.SetFault(gbk_->ChapterPath(story_.id, chapter->id), slow);
    ASSERT_TRUE(ClickElement(quira, *list, "a[href*=SyncBook]"));
    std::optional<AgentWindow> sync;
    ASSERT_TRUE(Until([&] { return (sync = WindowTitled(quira, "小说同步")).has_value(); }))
        << "the offline download never opened";
    const auto start = WidgetWithText(quira, sync->id, "GtkButton", "开始");
    ASSERT_TRUE(start);
    Shoot(quira, sync->id, "download");
    ClickWidget(quira, *start);
    std::optional<AgentWidget> bar;
    ASSERT_TRUE(Until([&] {
        bar = WidgetNamed(quira, sync->id, "GtkProgressBar", "ProgressBar");
        return bar && bar->fraction > 0 && bar->fraction < 1;
    })) << "no progress was shown";
    const auto working = WidgetNamed(quira, sync->id, "GtkLabel", "LabelDescription");
    ASSERT_TRUE(working);
    EXPECT_EQ(working->text.rfind("正在处理", 0), 0u) << working->text;
    Shoot(quira, sync->id, "download-progress");
    std::optional<AgentWidget> finish;
    ASSERT_TRUE(Until([&] {
        return (finish = WidgetWithText(quira, sync->id, "GtkButton", "完成")).has_value();
    })) << "the download never finished";
    EXPECT_EQ(WidgetNamed(quira, sync->id, "GtkLabel", "LabelDescription")->text,
              "小说同步完成，请点击\"完成\"按钮退出！");
    EXPECT_DOUBLE_EQ(WidgetNamed(quira, sync->id, "GtkProgressBar", "ProgressBar")->fraction, 1.0);
    Shoot(quira, sync->id, "download-complete");
    server_.ClearFaults();
    ClickWidget(quira, *finish);
    ASSERT_TRUE(Until([&] { return !WindowTitled(quira, "小说同步"); }));
    EXPECT_TRUE(ChaptersCached());
    EXPECT_TRUE(Until([&] { return StoryDB()->IsInLocalShelf("gbk", story_.id).Found(); }));

    // Export to EPUB, then to TXT, into the desktop folder.
    const auto exportBook = [&](bool epub) -> std::string {
        if (!ClickElement(quira, *list, "a[href*=ExportBook]")) return {};
        std::optional<AgentWindow> dialog;
        if (!Until([&] { return (dialog = WindowTitled(quira, "小说导出")).has_value(); }))
            return {};
        if (epub) {
            const auto choice = WidgetNamed(quira, dialog->id, "GtkRadioButton", "RBExportEPUB");
            if (!choice) return {};
            ClickWidget(quira, *choice);
            EXPECT_TRUE(WidgetNamed(quira, dialog->id, "GtkRadioButton", "RBExportEPUB")->active);
        }
        Shoot(quira, dialog->id, epub ? "export-epub" : "export-txt");
        const auto next = WidgetWithText(quira, dialog->id, "GtkButton", "下一步");
        if (!next) return {};
        ClickWidget(quira, *next);
        if (!epub) {
            // TXT drops pictures: the dialog asks first.
            std::optional<AgentWidget> yes;
            Until([&] {
                for (const AgentWindow& box : quira.Windows())
                    if (box.mapped && box.id != dialog->id && box.id != main->id &&
                        (yes = WidgetWithText(quira, box.id, "GtkButton", "是")))
                        return true;
                return false;
            });
            if (!yes) return {};
            Shoot(quira, yes->window, "export-txt-question");
            ClickWidget(quira, *yes);
        }
        std::optional<AgentWidget> done;
        if (!Until([&] {
                return (done = WidgetWithText(quira, dialog->id, "GtkButton", "完成")).has_value();
            }))
            return {};
        const auto where = WidgetNamed(quira, dialog->id, "GtkLabel", "LabelDescription");
        EXPECT_TRUE(WidgetNamed(quira, dialog->id, "GtkLabel", "LabelTitle"));
        EXPECT_EQ(WidgetNamed(quira, dialog->id, "GtkLabel", "LabelTitle")->text, "小说导出完成");
        Shoot(quira, dialog->id, epub ? "export-epub-done" : "export-txt-done");
        ClickWidget(quira, *done);
        EXPECT_TRUE(Until([&] { return !WindowTitled(quira, "小说导出"); }))
            << "the export dialog stayed open after 完成";
        const std::string prefix = "小说已经导出到:";
        if (!where || where->text.rfind(prefix, 0) != 0) return {};
        return where->text.substr(prefix.size());
    };
    const std::string epub = exportBook(true);
    ASSERT_FALSE(epub.empty()) << "the EPUB export did not end";
    EXPECT_EQ(fs::path(epub).parent_path(), fs::path(tree_->Path("home/Desktop")));
    ASSERT_TRUE(fs::exists(epub)) << epub;
    // The checker runs under any locale: it gets the book under a plain name.
    const std::string checked = tree_->Path("checked.epub");
    fs::copy_file(epub, checked);
    std::string report;
    EXPECT_EQ(testing_support::RunTool({"java", "-XX:TieredStopAtLevel=1", "-XX:+UseSerialGC",
                                        "-jar", "/usr/bin/epubcheck", checked},
                                       report),
              0)
        << report;
    EXPECT_EQ(report.find("ERROR"), std::string::npos) << report;
    const std::string txt = exportBook(false);
    ASSERT_FALSE(txt.empty()) << "the TXT export did not end";
    ASSERT_TRUE(fs::exists(txt)) << txt;
    const std::string text = Utf8(TempTree::Read(txt));
    EXPECT_NE(text.find(firstName), std::string::npos);
    EXPECT_NE(text.find(story_.Chapters().back()->name), std::string::npos);

    // A click on the first chapter: the reader starts with it.
    ASSERT_TRUE(ClickElement(quira, *list, ".ch[data-id=\"" + first + "\"] a"));
    reader_ = std::make_unique<ProgramAgent>(
        ProgramAgent::WaitForProgram(agentFolder_, "QuiraReader", kStartMs));
    const pid_t firstReader = Reader().Pid();
    std::optional<AgentWindow> readerWindow;
    ASSERT_TRUE(Until(
        [&] { return (readerWindow = WindowTitled(Reader(), firstName)).has_value(); }, kStartMs))
        << "the reader never showed the chapter";
    auto page = AwaitPage(Reader(), readerWindow->id, "/Content_", true);
    ASSERT_TRUE(page);
    const std::string opening =
        story_.Chapters().at(0)->text.substr(0, story_.Chapters().at(0)->text.find('\n'));
    ASSERT_TRUE(AwaitPageText(Reader(), *page, opening));
    Shoot(Reader(), readerWindow->id, "reader-chapter");

    // The next chapter from the toolbar; scroll; the position is saved.
    const auto next = AwaitText(Reader(), readerWindow->id, "下一章");
    ASSERT_TRUE(next);
    Click(Reader(), next->rect);
    ASSERT_TRUE(Until([&] { return WindowTitled(Reader(), secondName).has_value(); }));
    page = AwaitPage(Reader(), readerWindow->id, "/Content_", true);
    ASSERT_TRUE(page);
    ASSERT_TRUE(AwaitPageText(Reader(), *page, "第2章第1段"));
    uitest::PointerTo(page->rect.CenterX(), page->rect.CenterY());
    for (int notch = 0; notch < 6; ++notch) uitest::Wheel(true);
    Reader().Settle();
    // The wheel turn starts the save timer, which saves where the page is
    // when it fires. The wheel scrolls smoothly, and on a loaded machine the
    // page may still move after that save: wait until it rests as well, since
    // the close saves where it rests.
    int scrolled = -1;
    auto movedAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(Until([&] {
        const int now = ScrollY(Reader(), *page);
        if (now != scrolled) movedAt = std::chrono::steady_clock::now();
        scrolled = now;
        const bool resting =
            std::chrono::steady_clock::now() - movedAt > std::chrono::milliseconds(500);
        const TReadHistoryData saved = Position();
        return resting && scrolled > 0 && Utf8(saved.ReadChapter) == second &&
               saved.VScrollBarPos > 0;
    })) << "the position was not saved: scrolled "
        << scrolled << ", saved " << Position().VScrollBarPos << " in chapter "
        << Utf8(Position().ReadChapter);
    Shoot(Reader(), readerWindow->id, "reader-next-chapter-scrolled");

    // Close the reader with its caption button: it ends well.
    uitest::ClickAt(readerWindow->rect.x + readerWindow->rect.width - 14,
                    readerWindow->rect.y + 10);
    ASSERT_TRUE(Until([&] {
        return ProgramAgent::ExitStatus(agentFolder_, "QuiraReader", firstReader) >= 0;
    })) << "the reader did not end";
    EXPECT_EQ(ProgramAgent::ExitStatus(agentFolder_, "QuiraReader", firstReader), 0);
    reader_.reset();
    // The close saved the place the page rested at.
    const int savedPosition = Position().VScrollBarPos;
    EXPECT_EQ(savedPosition, scrolled);
    EXPECT_EQ(Utf8(Position().ReadChapter), second);

    // The recent reads list the story; its chapter list marks the chapter
    // last read.
    const auto recentEntry = AwaitText(quira, main->id, "最近阅读");
    ASSERT_TRUE(recentEntry);
    Click(quira, recentEntry->rect);
    // A row: the title with its author, the latest chapter, the site.
    const auto latest = AwaitText(quira, main->id, "最新章节: " + story_.Chapters().back()->name);
    ASSERT_TRUE(latest) << "the recent reads do not list the story";
    const auto author = TextIn(quira, main->id, "[作者:");
    ASSERT_TRUE(author);
    bool titled = false;
    for (const AgentText& t : quira.Texts())
        titled = titled || (t.text == "云台夜话" && t.rect.y == author->rect.y);
    EXPECT_TRUE(titled);
    EXPECT_TRUE(TextIn(quira, main->id, "来源: 书站甲"));
    Shoot(quira, main->id, "recent-reads");
    // The row's read button, level with the latest chapter (its hand shows
    // over the button alone).
    bool opened = false;
    const int rowY = latest->rect.CenterY();
    for (int x = main->rect.x + main->rect.width - 4; !opened && x > main->rect.x + 300; x -= 6) {
        uitest::PointerTo(x, rowY);
        quira.Settle();
        if (quira.Pointer().cursor) {
            Click(quira, x - 8, rowY);
            opened = true;
        }
    }
    ASSERT_TRUE(opened) << "no read button on the recent row";
    list = AwaitPage(quira, main->id, "/List.HTML");
    ASSERT_TRUE(list);
    ASSERT_TRUE(Until([&] {
        return PageText(quira, *list, "document.getElementById('lastread').textContent") ==
               secondName;
    }));
    EXPECT_EQ(
        PageText(quira, *list, "(document.querySelector('.chapters .ch font') || {}).textContent"),
        secondName);
    ASSERT_TRUE(ClickElement(quira, *list, "#resume a"));
    Shoot(quira, main->id, "chapter-list-last-read");

    // "继续阅读" opens the reader at the saved position.
    ASSERT_TRUE(ClickElement(quira, *list, "#continue"));
    reader_ = std::make_unique<ProgramAgent>(
        ProgramAgent::WaitForProgram(agentFolder_, "QuiraReader", kStartMs, {firstReader}));
    ASSERT_TRUE(Until(
        [&] { return (readerWindow = WindowTitled(Reader(), secondName)).has_value(); }, kStartMs))
        << "the reader did not continue with the chapter last read";
    page = AwaitPage(Reader(), readerWindow->id, "/Content_", true);
    ASSERT_TRUE(page);
    int continuedAt = -1;
    EXPECT_TRUE(Until([&] { return (continuedAt = ScrollY(Reader(), *page)) == savedPosition; }))
        << "not at the saved position " << savedPosition << " but at " << continuedAt
        << "; the stored position is " << Position().VScrollBarPos << " in chapter "
        << Utf8(Position().ReadChapter);
    Shoot(Reader(), readerWindow->id, "reader-continued");

    // The boss key hides the main window and minimises the reader.
    uitest::TypeKey(0x71 /* q */, {0xffe3 /* Control_L */, 0xffe9 /* Alt_L */});
    EXPECT_TRUE(Until([&] {
        const auto w = WindowById(quira, main->id);
        return w && !w->visible;
    })) << "the main window stayed";
    EXPECT_TRUE(Until([&] {
        const auto w = WindowById(Reader(), readerWindow->id);
        return w && w->iconified;
    })) << "the reader was not minimised";
    EXPECT_TRUE(windowManager_->Iconified().count(readerWindow->xid));
    ShootScreen("boss-key");

    // "退出" in the tray menu ends both programs, and they leave nothing.
    const pid_t secondReader = Reader().Pid();
    GtkWidget* icon = tray_->Icons().at(0);
    int iconX = 0, iconY = 0;
    uitest::WidgetOrigin(icon, iconX, iconY);
    uitest::PointerTo(iconX + 4, iconY + 4);
    uitest::Button(3, true);
    uitest::Button(3, false);
    std::optional<AgentWidget> quit;
    ASSERT_TRUE(Until([&] {
        for (const AgentWidget& item : quira.Widgets("GtkMenuItem"))
            if (item.text == "退出" && item.mapped && !item.rect.Empty()) quit = item;
        return quit.has_value();
    })) << "the tray menu never opened";
    Shoot(quira, quit->window, "tray-menu");
    reader_.reset();
    quiraAgent_.reset();
    uitest::ClickAt(quit->rect.CenterX(), quit->rect.CenterY());
    const auto quitStatus = quira_->Wait(kWaitMs, [] { uitest::PumpFor(20); });
    EXPECT_EQ(quitStatus, std::optional<int>(0)) << TempTree::Read(tree_->Path("quira.err"));
    // The reader ends too: its status comes from Quira, or from us once
    // Quira is gone.
    int readerStatus = -1;
    EXPECT_TRUE(Until([&] {
        readerStatus = ProgramAgent::ExitStatus(agentFolder_, "QuiraReader", secondReader);
        int status = 0;
        if (readerStatus < 0 && waitpid(secondReader, &status, WNOHANG) == secondReader)
            readerStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return readerStatus >= 0;
    })) << "the reader did not end";
    EXPECT_EQ(readerStatus, 0);

    EXPECT_TRUE(platform::NamedLock("velqo@Quira").Acquired());
    EXPECT_TRUE(platform::NamedLock("velqo@QuiraReader").Acquired());
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(platform::RuntimeFolder(), error))
        EXPECT_NE(entry.path().extension(), ".sock") << entry.path() << " left behind";
    EXPECT_FALSE(fs::exists("/dev/shm" + platform::SharedBlock::ShmNameFor("X_QuiraReader")));
}

}  // namespace
