// TMainForm's showing and hiding, the tray and the boss key, the program
// channel, the workers and timers, the story list, the update check and the
// cache check.

#include "shelf/MainForm.h"

#include "controls/ComponentGlobal.h"
#include "controls/MinMaxCloseButton.h"
#include "controls/PopupForm.h"
#include "controls/SearchBox2.h"
#include "controls/StoryPicPanel.h"
#include "controls/XLabel.h"
#include "net/SoftUpdateCheker.h"
#include "net/Stats.h"
#include "net/StoryLog.h"
#include "net/StoryStatus.h"
#include "platform/IniFile.h"
#include "platform/ProgramChannel.h"
#include "platform/Shell.h"
#include "platform/ui/Timer.h"
#include "platform/ui/TrayIcon.h"
#include "shelf/AppIcon.h"
#include "shelf/BossKey.h"
#include "shelf/CacheScan.h"
#include "shelf/HackForm.h"
#include "shelf/MainFormParts.h"
#include "shelf/StoryListPanels.h"
#include "shelf/VendorPages.h"
#include "shelf/XExternal.h"
#include "shelf/dialogs/CacheForm.h"
#include "shelf/dialogs/SyncForm.h"

// --- showing, the tray, the boss key -------------------------------------------------

void TMainForm::Show() {
    gtk_widget_show_all(GTK_WIDGET(window_));
    FormShow();
}

void TMainForm::FormShow() {
    ResetFormComponentPos();
    if (firstShow_) {
        QuiraListBoxClickMainClass("TodayHot");
        NavigateBrowser(*searchBrowser_, VendorPageURL(TVendorPage::Search));
        minMaxCloseBtn_->LoadWindowPos("quira");
        firstShow_ = false;
    }
    ShowSearchPrompt();
}

void TMainForm::ShowSearchPrompt() {
    // Only an empty box gets the prompt: what the user typed and has not
    // searched yet stays. A box with the focus gets no focus-in to clear it
    // again, so there the prompt shows as the empty entry's placeholder
    // instead of text that typing would be added to.
    GtkWidget* edit = searchEdit_->Edit().Widget();
    const bool typing = edit && gtk_widget_has_focus(edit);
    if (searchEdit_->Text().empty() && !typing) searchEdit_->SetText(TSearchBox2::Prompt());
    FocusSearchEdit();
}

void TMainForm::ShowMainWindow() {
    platform::ui::ShowFromTray(window_);
    ShowSearchPrompt();
}

void TMainForm::HandleDelete() {
    // Closing the window by the desktop hides it like the close button does,
    // and the tray's "退出" ends the program. A desktop that shows no tray
    // offers no "退出": there its close ends the program, or nothing could.
    if (quitting_) return;
    const platform::ui::TrayIcon* tray = platform::ui::TrayIcon::Current();
    if (tray && tray->Shown())
        minMaxCloseBtn_->HideToTray();
    else
        Quit();
}

void TMainForm::RegisterBossKey() {
    const platform::IniFile settings(SettingsFile());
    bossKey_->Apply(settings.ReadString(kGeneralSection, "CustomHotKey", "ALT+R"));
}

void TMainForm::BossKeyPressed() {
    platform::ProgramChannel::PostToClass(kReaderWindowClass, {platform::kWmUser + 200, 0, 0});
    if (!platform::ui::IsMinimised(window_)) minMaxCloseBtn_->HideToTray();
}

void TMainForm::AddTrayIcon() {
    std::vector<platform::ui::TrayIcon::Item> menu = {
        {A("显示Tolvane"), [this] { ShowMainWindow(); }},
        {A("Tolvane官网"), [] { OpenURL(VendorHomeURL()); }},
        {"-", {}},
        {A("退出"), [this] { Quit(); }},
    };
    tray_ = std::make_unique<platform::ui::TrayIcon>(WriteApplicationIcon(), std::move(menu));
    tray_->OnActivate = [this] { ShowMainWindow(); };
}

// --- the program channel ---------------------------------------------------------------

void TMainForm::ChannelMessage(const platform::ChannelMessage& message) {
    // Another program's XExternal request (the reader's "search again").
    if (TXExternal::DispatchChannelRequest(message)) return;
    if (message.message == platform::kWmUser + 2) ShowMainWindow();
}

// --- workers and timers -----------------------------------------------------------------

void TMainForm::CreateWorkers() {
    const std::weak_ptr<Alive> weak = alive_;

    storyReader_ = std::make_unique<TStoryReader>();
    // Both run on the reader's worker: they read the ticket of the story
    // being read there and hand copies over.
    storyReader_->OnDone = [weak](TStoryReader*, const std::string& path) {
        const auto token = weak.lock();
        if (!token) return;
        const uint64_t ticket = token->storyTicket;
        PostTo(weak, [ticket, path](TMainForm& form) { form.StoryListReady(ticket, path); });
    };
    storyReader_->OnFail = [weak](TStoryReader*, const AnsiString& siteID,
                                  const AnsiString& storyID) {
        const auto token = weak.lock();
        if (!token) return;
        const uint64_t ticket = token->storyTicket;
        PostTo(weak, [ticket, siteID, storyID](TMainForm& form) {
            form.StoryListFailed(ticket, siteID, storyID);
        });
    };

    stats_ = std::make_unique<TStats>();
    softUpdate_ = std::make_unique<TSoftUpdateCheker>();
    softUpdate_->OnResult = [weak](TSoftUpdateCheker*, int kind, const std::string& text) {
        PostTo(weak, [kind, text](TMainForm& form) { form.SoftUpdateResult(kind, text); });
    };

    updateTimer_ = std::make_unique<platform::ui::Timer>(1000, [this] { UpdateTimerTimer(); });
    softUpdateTimer_ = std::make_unique<platform::ui::Timer>(5000, [this] {
        softUpdateTimer_->SetEnabled(false);
        softUpdate_->Check();
        storyLog_->Download();
    });
    runTimer_ = std::make_unique<platform::ui::Timer>(20000, [this] {
        runTimer_->SetEnabled(false);
        stats_->ReportRun();
    });
    cacheTimer_ = std::make_unique<platform::ui::Timer>(300000, [this] {
        cacheTimer_->SetEnabled(false);
        if (platform::IniFile(SettingsFile()).ReadBool(kGeneralSection, "ScanCache", true))
            StartCacheScan();
    });
    updateTimer_->SetEnabled(true);
    softUpdateTimer_->SetEnabled(true);
    cacheTimer_->SetEnabled(true);
    runTimer_->SetEnabled(true);

    popup_ = std::make_unique<TPopupForm>(window_);
    popup_->OnReadStory = [this](TPopupForm*, const AnsiString& siteID, const AnsiString& storyID) {
        PopupRead(siteID, storyID);
    };

    AddTrayIcon();
    LoadHotStories();
    LoadStoryPictures();

    storyStatus_ = std::make_unique<TStoryStatus>();
    storyLog_ = std::make_unique<TStoryLog>();
    // Raised on the story list's worker; the panels are filled here.
    storyLog_->OnStoryListReady = [weak](TStoryLog*) {
        PostTo(weak, [](TMainForm& form) { form.LoadHotStories(); });
    };
    storyLog_->OnPicturesChanged = [weak](TStoryLog*) {
        PostTo(weak, [](TMainForm& form) { form.LoadStoryPictures(); });
    };

    LoadTemplateResource("ListError", listErrorLines_);
}

// --- the story list, the update check, the cache -------------------------------------------

void TMainForm::SoftUpdateResult(int kind, const std::string& text) {
    const std::string program = ProgramFolder();
    if (kind == 0) {
        const int answer = platform::ui::MessageBox(
            window_, A("检测到新版本，是否现在升级？（升级时，Tolvane将被关闭）"), "Tolvane",
            platform::ui::MessageButtons::YesNo, platform::ui::MessageIcon::Question);
        // "退出" chosen while the question was open wins over a later Yes.
        if (answer != platform::ui::IdYes || quitting_) return;
        const std::string updater = program + "QuiraUpdater";
        if (IsFile(updater)) {
            // The program ends only for an update that is under way.
            if (!RunElevated(updater, "")) {
                TellUpdateFailed(A("无法启动升级程序，Tolvane将继续运行。"));
                return;
            }
            Quit();
        } else {
            OpenURL(VendorHomeURL());
        }
    } else if (kind == 1) {
        const int answer = platform::ui::MessageBox(window_, A("检测到新版本，是否现在升级？"),
                                                    "Tolvane", platform::ui::MessageButtons::YesNo,
                                                    platform::ui::MessageIcon::Question);
        if (answer != platform::ui::IdYes || quitting_) return;
        // The address comes from the downloaded description: web pages only.
        // Where nothing opened the user would be left without the program
        // and without the new version.
        const std::string address = TrimmedLink(text);
        if (!IsWebURL(address) || !OpenURL(address)) {
            TellUpdateFailed(
                FormatText("无法打开新版本的下载地址：%s\r\nTolvane将继续运行。", address));
            return;
        }
        Quit();
    } else if (kind == 2) {
        const std::string creater = program + "DBCreater";
        // The package path is one argument, whatever blanks it holds.
        if (IsFile(creater)) platform::StartProgram(creater, {text});
    }
}

void TMainForm::TellUpdateFailed(const AnsiString& text) {
    platform::ui::MessageBox(window_, text, "Tolvane", platform::ui::MessageButtons::Ok,
                             platform::ui::MessageIcon::Warning);
}

void TMainForm::LoadHotStories() {
    ::LoadHotStories(TStoryLog::StoryListFile(), *hotStoryPanel_, *statusBar_);
}

void TMainForm::LoadStoryPictures() {
    ::LoadStoryPictures(TStoryLog::StoryListFile(), *storyPicPanel_);
}

void TMainForm::StatusBarReportError() {
    OpenURL(VendorFeedbackURL());
}

void TMainForm::StatusBarClickSite() {
    OpenURL(VendorHomeURL());
}

void TMainForm::StatusBarClickWindows() {
    // The address comes from the downloaded story list: web pages only.
    OpenWebLink(statusBar_->StatusURL());
}

void TMainForm::StoryPicPanelClick() {
    OpenWebLink(storyPicPanel_->CurrentURL());
}

void TMainForm::StartCacheScan() {
    if (cacheThread_) return;
    const std::weak_ptr<Alive> weak = alive_;
    // The paths found lie in this folder, even if the data folder moves
    // before the clean-up runs.
    cacheBookFolder_ = BookFolder();
    cacheThread_ = NewCacheScan(
        StoryDB(), cacheBookFolder_,
        [weak](TCacheThread*, const std::vector<std::string>& paths, int64_t size) {
            // Raised on this thread already; the
            // thread is freed after its report.
            PostTo(weak, [paths, size](TMainForm& form) { form.CacheScanDone(paths, size); });
        });
}

void TMainForm::CacheScanDone(const std::vector<std::string>& paths, int64_t size) {
    cacheThread_.reset();
    cachePaths_ = paths;
    cacheSize_ = size;
    if (CacheOverLimit(size, ReadMaxCacheSize())) ShowCacheDialog();
}
