#pragma once

// The world of the reader's window tests: a temporary profile (HOME and the
// XDG folders), a real story database file in it, fake GBK and UTF-8 novel
// sites on 127.0.0.1 whose stories have been read as the main program reads
// them (list pages written), and the reader window itself, shown on the
// test process's private display. One world serves every test of the
// program: WebKit is slow to start.

#include <gdk/gdkkeysyms.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/LoadingPage.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "net/StoryReader.h"
#include "net/WinHTTPRequest2.h"
#include "platform/Charset.h"
#include "reader/BookReaderForm.h"
#include "reader/ReaderPages.h"
#include "reader/ReaderState.h"
#include "reader/XBookBrowser.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/TempTree.h"
#include "tests/support/window/PageScript.h"
#include "tests/support/window/WindowTest.h"

namespace readertest {

using namespace std::chrono_literals;
using testing_support::FakeChapter;
using testing_support::FakeNovelSite;
using testing_support::FakeStory;
using testing_support::Fault;
using testing_support::SiteCharset;

inline AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}
inline std::string U(std::string_view ansi) {
    return platform::AnsiToUtf8(ansi);
}

inline Fault Delay(std::chrono::milliseconds delay) {
    Fault fault;
    fault.delay = delay;
    return fault;
}
inline Fault Status(int status) {
    Fault fault;
    fault.status = status;
    return fault;
}
// No answer until the test releases the path.
inline Fault Held() {
    Fault fault;
    fault.held = true;
    return fault;
}

// The pages a browser committed to, in order, while the log lives (it must
// go before the browser does).
class CommitLog {
  public:
    explicit CommitLog(platform::ui::Browser& view)
        : view_(view), previous_(view.OnNavigateComplete) {
        view_.OnNavigateComplete = [this](const std::string& uri) {
            uris_.push_back(uri);
            if (previous_) previous_(uri);
        };
    }
    ~CommitLog() { view_.OnNavigateComplete = previous_; }
    CommitLog(const CommitLog&) = delete;
    CommitLog& operator=(const CommitLog&) = delete;

    // The committed local files, as paths; other addresses are left out.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const std::string& uri : uris_) {
            char* path = g_filename_from_uri(uri.c_str(), nullptr, nullptr);
            if (path) files.emplace_back(path);
            g_free(path);
        }
        return files;
    }

  private:
    platform::ui::Browser& view_;
    std::function<void(const std::string&)> previous_;
    std::vector<std::string> uris_;
};

// A chapter long enough to scroll a few thousand pixels.
inline std::string LongText(int number) {
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "第" + std::to_string(number) + "章第" + std::to_string(i + 1) +
                "段：山高水长，风起云涌，少年负剑而行，一路向北，不问归期。\n";
    return text;
}

class ReaderWorld {
  public:
    static ReaderWorld& Get() {
        if (!Slot()) Slot() = new ReaderWorld();  // lives until the process ends
        return *Slot();
    }
    // At the end of the test program the window goes (its downloads stop),
    // the sites' server joins its threads and the profile's folder goes;
    // the rest stays to the end.
    static void End() {
        if (!Slot()) return;
        Slot()->CloseForm();
        Slot()->server.Stop();
        std::error_code ignored;
        std::filesystem::remove_all(Slot()->tree.Root(), ignored);
    }

    testing_support::TempTree tree{testing_support::TempTree::Profile::kXdg};
    testing_support::FakeHttpServer server;
    std::unique_ptr<FakeNovelSite> gbk;
    std::unique_ptr<FakeNovelSite> utf;
    FakeStory gbkStory;  // GBK site, chapters "1".."15"
    FakeStory utfStory;  // UTF-8 site, first chapter "0123"
    std::unique_ptr<TBookReaderForm> form;
    std::string dbPath;
    // What the window's ways out to the desktop were asked.
    std::vector<std::string> openedLinks;
    std::vector<AnsiString> notices;
    std::vector<std::optional<std::string>> localFiles;  // answers of the file chooser
    bool closed = false;

    TBookReaderForm& Form() { return *form; }
    TXBookBrowser& Browser() { return form->Browser(); }

    // A new window, as a new start of the reader makes it.
    // localFile: the file a local start was given on its command line.
    void OpenForm(const std::string& localFile = {}) {
        form.reset();
        closed = false;
        form = std::make_unique<TBookReaderForm>();
        form->LocalFile = localFile;
        form->OnClosed = [this] { closed = true; };
        form->OpenLink = [this](const std::string& url) { openedLinks.push_back(url); };
        form->ShowNotice = [this](const AnsiString& text, const AnsiString&) {
            notices.push_back(text);
        };
        form->ChooseLocalFile = [this]() -> std::optional<std::string> {
            if (localFiles.empty()) return std::nullopt;
            auto next = localFiles.front();
            localFiles.erase(localFiles.begin());
            return next;
        };
        form->Show();
        EXPECT_TRUE(uitest::PumpUntil(
            [&] { return gtk_widget_get_mapped(Browser().Widget()) && !Form().PageList().empty(); },
            20000))
            << "the window never showed its first page";
        uitest::Settle();
    }

    // Runs a script body in the page and gives its JSON answer; a failure
    // fails the test and gives "".
    std::string Eval(const std::string& body) {
        const uitest::PageScriptAnswer answer =
            uitest::RunPageScript(Browser().WebBrowser(), body, 10000);
        if (!answer.json) ADD_FAILURE() << answer.error << "\nin the script: " << body;
        return answer.json.value_or("");
    }
    // A text of the page (the script's result, a string).
    std::string EvalText(const std::string& expression) {
        const std::string json = Eval("return encodeURIComponent(String(" + expression + "));");
        if (json.size() < 2) return "<no answer>";
        char* text = g_uri_unescape_string(json.substr(1, json.size() - 2).c_str(), nullptr);
        std::string out = text ? text : "";
        g_free(text);
        return out;
    }
    std::string PageText() { return EvalText("document.body ? document.body.innerText : ''"); }

    // True when the web view's load is the page's: the reader names its new
    // page before the view has begun to load it, and until then the view
    // still shows (and is done loading) the page before. A page that is no
    // file (a data: page) is told by its scheme: the engine may encode the
    // rest of its address anew.
    bool ViewShows(const std::string& page) {
        const std::string uri = Browser().WebBrowser().Uri();
        if (!g_path_is_absolute(page.c_str())) return uri.substr(0, 5) == page.substr(0, 5);
        char* expected = g_filename_to_uri(page.c_str(), nullptr, nullptr);
        const bool same = expected && uri == expected;
        g_free(expected);
        return same;
    }
    // The browser shows a page that is done loading and satisfies pred.
    bool WaitForPage(const std::function<bool(const std::string& page)>& pred, int ms = 20000) {
        return uitest::PumpUntil(
            [&] {
                const std::string& page = Browser().CurrentPage();
                return !page.empty() && pred(page) && !Browser().Navigating() &&
                       !Browser().WebBrowser().IsLoading() && ViewShows(page);
            },
            ms);
    }
    // The chapter (or local page) on screen, its position restored.
    bool WaitForChapter(const AnsiString& chapterID, int ms = 20000) {
        return uitest::PumpUntil(
            [&] {
                return Browser().ChapterID() == chapterID && Browser().PositionReady() &&
                       !Browser().Navigating() && !Browser().WebBrowser().IsLoading();
            },
            ms);
    }

    std::string CacheFile(const std::string& site, const FakeStory& story, const std::string& id) {
        return ChapterCacheFile(site, story.id, A(id));
    }
    // Downloads a chapter into the cache, as an earlier reading would have.
    void Cache(const std::string& site, const FakeStory& story, const std::string& id) {
        TStoryReader reader;
        std::atomic<bool> done{false};
        reader.OnDone = [&](TStoryReader*, const std::string&) { done = true; };
        std::string url;
        reader.ReadChapter(site, story.id, url, 0, A(id));
        uitest::PumpUntil([&] { return done.load(); }, 20000);
        EXPECT_TRUE(IsPublishedPage(CacheFile(site, story, id))) << id;
    }
    void Uncache(const std::string& site, const FakeStory& story, const std::string& id) {
        std::error_code error;
        std::filesystem::remove(CacheFile(site, story, id), error);
    }

    // The browser's rectangle on the screen.
    void BrowserOrigin(int& x, int& y) { uitest::WidgetOrigin(Browser().Widget(), x, y); }
    void ClickInPage(int dx = 300, int dy = 200) {
        int x = 0, y = 0;
        BrowserOrigin(x, y);
        gdk_window_raise(gtk_widget_get_window(GTK_WIDGET(Form().Window())));
        uitest::ClickAt(x + dx, y + dy);
    }

    // The window as the screen shows it, once the page has painted (the web
    // process paints some time after the page has loaded, later on a busy
    // machine): a corner of the browser no longer shows the white under it.
    void Screenshot(const std::string& name) {
        uitest::Settle();
        const TRect r = Form().BrowserRect();
        GdkPixbuf* shot = nullptr;
        const bool painted = uitest::PumpUntil(
            [&] {
                if (shot) g_object_unref(shot);
                shot = uitest::ShootWidget(GTK_WIDGET(Form().Window()));
                return shot && uitest::PixelAt(shot, r.Left + 4, r.Bottom - 4) != 0xFFFFFFu;
            },
            30000);
        ASSERT_NE(shot, nullptr);
        EXPECT_TRUE(painted) << "the page never painted";
        EXPECT_TRUE(uitest::SavePng(shot, std::string(QUIRA_SCREENSHOT_DIR) + "/" + name));
        g_object_unref(shot);
    }

    // The database of the world, also while no window has it open.
    TStoryDB& DB() {
        if (!StoryDB()) SetStoryDB(std::make_unique<TStoryDB>(dbPath));
        return *StoryDB();
    }
    // Frees the window; freeing it touches no object it has let go of (GLib
    // says so when it does).
    void CloseForm() {
        int complaints = 0;
        const guint handler = g_log_set_handler(
            "GLib-GObject", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
            [](const gchar*, GLogLevelFlags, const gchar*, gpointer count) {
                ++*static_cast<int*>(count);
            },
            &complaints);
        form.reset();
        g_log_remove_handler("GLib-GObject", handler);
        EXPECT_EQ(complaints, 0) << "the window's objects were used after they went";
        DB();
    }

    TReadHistoryData Position(const std::string& site, const FakeStory& story) {
        DB();
        TReadHistoryData position;
        StoryDB()->GetReadPosition(site, story.id, position);
        return position;
    }

  private:
    static ReaderWorld*& Slot() {
        static ReaderWorld* world = nullptr;
        return world;
    }
    ReaderWorld() {
        uitest::RequireUi();
        // RequireUi gave the process a runtime folder; the profile has its own.
        tree.SetEnv("XDG_RUNTIME_DIR", tree.Make("run"));
        tree.SetEnv("QUIRA_PROBE_ADDRESS", "127.0.0.1:" + std::to_string(server.Port()));
        tree.SetEnv("QUIRA_SERVICE_URL", server.URL("/vendor"));
        SetProgramFolder(std::string(QUIRA_BIN_DIR) + "/");
        DeriveReaderFolders(true);
        dbPath = AppFolder() + "idata.dll";
        tree.Write("home/.local/share/Velqo/idata.dll", "");
        EXPECT_TRUE(TDBCreater().CheckDatabase(dbPath, dbPath + ".none"));
        SetStoryDB(std::make_unique<TStoryDB>(dbPath));

        testing_support::FakeSiteOptions gbkOptions;
        gbkOptions.siteID = "gbk";
        gbkOptions.charset = SiteCharset::Gbk;
        gbk = std::make_unique<FakeNovelSite>(server, gbkOptions);
        testing_support::FakeSiteOptions utfOptions;
        utfOptions.siteID = "utf";
        utfOptions.siteName = "测试书站二";
        utfOptions.charset = SiteCharset::Utf8;
        utf = std::make_unique<FakeNovelSite>(server, utfOptions);
        for (const auto* site : {gbk.get(), utf.get()}) {
            const auto row = site->Row();
            EXPECT_TRUE(StoryDB()->SaveSite(row.SiteID, row.ToSiteItemData()));
        }

        gbkStory = Lengthen(*gbk, gbk->AddStory("长风万里", "云游子", 15, 2), {});
        utfStory = Lengthen(*utf, utf->AddStory("山海之间", "无名氏", 15), {"0123"});
        ReadStory("gbk", gbkStory);
        ReadStory("utf", utfStory);
        OpenForm();
    }

    // Long chapters; the first ids replaced by the given ones.
    static FakeStory Lengthen(FakeNovelSite& site, FakeStory story,
                              const std::vector<std::string>& ids) {
        size_t n = 0;
        for (auto& volume : story.volumes)
            for (auto& chapter : volume.chapters) {
                if (n < ids.size()) chapter.id = ids[n];
                chapter.text = LongText(static_cast<int>(++n));
            }
        site.UpdateStory(story);
        return story;
    }

    // The main program reads a story before the reader ever sees it.
    void ReadStory(const std::string& site, const FakeStory& story) {
        TStoryReader reader;
        std::atomic<bool> done{false};
        reader.OnDone = [&](TStoryReader*, const std::string&) { done = true; };
        reader.OnFail = [&](TStoryReader*, const AnsiString&, const AnsiString&) { done = true; };
        reader.UpdateStory(site, story.id, 0);
        uitest::PumpUntil([&] { return done.load(); }, 30000);
        std::vector<TChapterItemData> chapters;
        StoryDB()->GetChapterList(site, story.id, chapters);
        EXPECT_EQ(chapters.size(), story.Chapters().size()) << site;
    }
};

class ReaderWorldEnd : public ::testing::Environment {
  public:
    void TearDown() override { ReaderWorld::End(); }
};
inline ::testing::Environment* const kReaderWorldEnd =
    ::testing::AddGlobalTestEnvironment(new ReaderWorldEnd);

// Every test starts from the story-mode window of the world.
class ReaderWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        world_ = &ReaderWorld::Get();
        if (!world_->form || world_->closed || IsLocalRead()) {
            SetLocalRead(false);
            world_->OpenForm();
        }
        world_->Browser().SetLoadWait(TXBookBrowser::kLoadWait);
        world_->server.ClearFaults();
    }
    ReaderWorld& W() { return *world_; }
    TXBookBrowser& B() { return world_->Browser(); }
    ReaderWorld* world_ = nullptr;
};

}  // namespace readertest
