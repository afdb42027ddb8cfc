#include "reader/BookReaderForm.h"

#include <gtk/gtk.h>
#include <malloc.h>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "controls/ComponentGlobal.h"
#include "controls/NativeChild.h"
#include "controls/XLabel.h"
#include "core/Folders.h"
#include "core/LoadingPage.h"
#include "core/StoryDB.h"
#include "core/TextHelpers.h"
#include "exchange/XDataShare.h"
#include "exchange/XExternalClient.h"
#include "net/ServiceURL.h"
#include "net/StoryLog.h"
#include "platform/Folders.h"
#include "platform/ProgramChannel.h"
#include "platform/ui/BrowserBridge.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Fonts.h"
#include "reader/HackForm.h"
#include "reader/MinMaxCloseButton2.h"
#include "reader/NetworkCheker.h"
#include "reader/ReaderPages.h"
#include "reader/ReaderState.h"
#include "reader/XBookBrowser.h"
#include "reader/XColor.h"
#include "reader/XComboBox.h"
#include "reader/XReaderButton3.h"

using platform::Utf8ToAnsi;

namespace {

constexpr int kCaptionHeight = 22;
constexpr int kStatusHeight = 28;
constexpr int kToolbarHeight = 35;
constexpr int kPanelLeft = 2;
constexpr TColor kToolbarColor = RGB(0xF0, 0xF0, 0xF0);
constexpr TColor kToolbarLine = RGB(0xD9, 0xD9, 0xD9);

// The toolbar's background: a grey band with a separator line at its foot.
class TToolbarPanel : public TControl {
  public:
    void Paint(TCanvas& canvas) override {
        canvas.FillRect(ClientRect(), kToolbarColor);
        canvas.FillRect({0, Height() - 1, Width(), Height()}, kToolbarLine);
    }
};

// A Windows colour number (blue in the high byte) as a control colour.
TColor FromWindowsColor(uint32_t color) {
    return RGB(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

// "$BBGGRR" as a control colour.
TColor SwatchColor(const AnsiString& value) {
    const unsigned long bgr = std::strtoul(value.c_str() + 1, nullptr, 16);
    return FromWindowsColor(static_cast<uint32_t>(bgr));
}

bool SameText(const AnsiString& a, const AnsiString& b) {
    return a.size() == b.size() && g_ascii_strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

const char* const kBackgroundColors[] = {
    "$F2F2F2", "$D8D8D8", "$BFBFBF", "$A5A5A5", "$7F7F7F", "$595959", "$3F3F3F",
    "$262626", "$0C0C0C", "$C3D9DD", "$97BDC4", "$538993", "$294449", "$101B1D",
    "$F0D9C6", "$E2B38D", "$D48D54", "$5D3617", "$3E240F", "$F1E5DB", "$E4CCB8",
    "$D7B395", "$926036", "$614024", "$DBDCF2", "$B7B9E5", "$9496D9", "$343795",
    "$232463", "$DDF1EB", "$BCE3D7", "$9BD6C3", "$3C9276", "$28614F", "$ECE0E5",
    "$D9C1CC", "$C7A2B2", "$7A495F", "$51313F", "$F3EEDB", "$E8DDB7", "$DCCD92",
    "$9B8531", "$675820", "$DAEAFD", "$B5D5FB", "$8FC0FA", "$096CE3", "$064897"};

struct Choice {
    const char* caption;  // UTF-8
    const char* value;
};
const Choice kFontColors[] = {{"蓝字", "$E9A000"}, {"黄字", "$0097F3"}, {"绿字", "$449900"},
                              {"粉字", "$7F00E4"}, {"灰字", "$313131"}, {"黑字", "$000000"},
                              {"白字", "$FFFFFF"}};
const Choice kFonts[] = {{"宋体", "NSimSun,SimSun"},
                         {"微软雅黑", "Microsoft Yahei"},
                         {"仿宋", "FangSong,FangSong_GB2312"},
                         {"楷体", "KaiTi,KaiTi_GB2312"},
                         {"方正启体", "FZQiTi-S14S"}};
const Choice kFontSizes[] = {{"最小", "12"}, {"小号", "14"}, {"中号", "16"},
                             {"中大", "20"}, {"大号", "24"}, {"特大", "32"}};
const Choice kSpeeds[] = {
    {"最慢", "120"}, {"低速", "80"}, {"中速", "30"}, {"快速", "20"}, {"最快", "10"}};

template <size_t N>
std::vector<THTMLItemData> ChoiceList(const Choice (&choices)[N]) {
    std::vector<THTMLItemData> list;
    for (const Choice& c : choices) list.push_back({Utf8ToAnsi(c.caption), c.value});
    return list;
}

}  // namespace

// --- creation ----------------------------------------------------------------

TBookReaderForm::TBookReaderForm() : readTimer_(2000) {
    // The reader's own images, before its first control is made.
    SetProgramArtwork(TProgramArtwork::Reader);
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    g_object_ref_sink(window_);
    gtk_window_set_default_size(window_, 1000, 650);

    // Folders from set.ini, and the book folder with LocalRead.
    DeriveReaderFolders(true);
    platform::ui::SetTrustedPageFolders({Utf8ToAnsi(AppFolder()), Utf8ToAnsi(DataFolder())});
    // The page shown while a chapter downloads; the main program writes the
    // same page, whichever program starts first.
    WriteLoadingPage();
    // The reader goes on without a database when it cannot be opened.
    CreateStoryDB();

    dataShare_ = std::make_unique<TXDataShare>();
    host_.UseWindow(window_);
    host_.Background = clWhite;
    gtk_container_add(GTK_CONTAINER(window_), host_.Widget());
    CreateControls();

    browser_ = std::make_unique<TXBookBrowser>();
    browser_->OnTitle = [this](TXBookBrowser*, const AnsiString& text) { SetCaption(text); };
    browser_->OnToolbarMode = [this](TXBookBrowser*, bool toc) { ShowToolbarMode(toc); };
    browser_->OnReload = [this](TXBookBrowser*, int) { sink_.Post(kRefresh); };
    browser_->OnPageSaved = [this](TXBookBrowser*, const std::string& page) {
        BrowserPageSaved(page);
    };
    // Placed by PlaceChild; it fills what it is given.
    gtk_overlay_add_overlay(GTK_OVERLAY(host_.Widget()), browser_->Widget());

    FillChoiceLists();
    FillCombos();
    LoadToolbarIcons();
    // The drawn controls start with the default font; the native lists of
    // the combo boxes get it here.
    platform::ui::SetDefaultFont(GTK_WIDGET(window_));
    statusBar_->Font.Color = clBlack;

    SetOnline(true);
    networkCheker_ = std::make_unique<TNetworkCheker>();
    networkCheker_->OnChange = [](TNetworkCheker* sender) { SetOnline(sender->IsOnline()); };
    networkCheker_->Probe();

    LoadStatusLinks();
    if (IsLocalRead()) ShowLocalMode(true);
    WireEvents();
    SetCaption("Tolvane");
    // Before the shared block is first read (at show), so that a request
    // posted by a second start or by the main program is never lost.
    OpenChannel();
}

void TBookReaderForm::CreateControls() {
    hackForm_ = std::make_unique<THackForm>(window_);
    host_.Add(*hackForm_);
    panelTop_ = std::make_unique<TToolbarPanel>();
    host_.Add(*panelTop_);

    cbBGColor_ = std::make_unique<TXColor>();
    cbFontColor_ = std::make_unique<TXComboBox>();
    cbFont_ = std::make_unique<TXComboBox>();
    cbFontSize_ = std::make_unique<TXComboBox>();
    cbSpeed_ = std::make_unique<TXComboBox>();
    host_.Add(*cbBGColor_);
    for (TXComboBox* box : {cbFontColor_.get(), cbFont_.get(), cbFontSize_.get(), cbSpeed_.get()})
        host_.Add(*box);

    const auto button = [this](const char* caption) {
        auto b = std::make_unique<TXReaderButton3>();
        b->SetCaption(Utf8ToAnsi(caption));
        host_.Add(*b);
        return b;
    };
    btnRefresh_ = button("刷新");
    btnPrevious_ = button("上一章");
    btnNext_ = button(" 下一章");
    btnHome_ = button("目录");
    btnStartRead_ = button("继续阅读");

    minMaxClose_ = std::make_unique<TMinMaxCloseButton2>();
    minMaxClose_->CloseToHide = false;
    minMaxClose_->MaginRight = 0;
    host_.Add(*minMaxClose_);
    hackForm_->SetStrip(minMaxClose_.get());

    statusBar_ = std::make_unique<TXLabel>();
    statusBar_->SetReportError(Utf8ToAnsi("错误反馈"));
    statusBar_->SearchBook = Utf8ToAnsi("章节错误，重新搜索本书，更换站点继续阅读");
    statusBar_->SeachBookShow = true;
    host_.Add(*statusBar_);
    // The toolbar starts in chapter mode.
    btnStartRead_->SetVisible(false);
}

void TBookReaderForm::WireEvents() {
    const auto click = [](void (TBookReaderForm::*handler)(), TBookReaderForm* self) {
        return [self, handler](TControl*) { RunGuarded([&] { (self->*handler)(); }); };
    };
    btnRefresh_->OnClick = click(&TBookReaderForm::BtnRefreshClick, this);
    btnPrevious_->OnClick = click(&TBookReaderForm::BtnPreviousClick, this);
    btnNext_->OnClick = click(&TBookReaderForm::BtnNextClick, this);
    btnHome_->OnClick = click(&TBookReaderForm::BtnHomeClick, this);
    btnStartRead_->OnClick = click(&TBookReaderForm::BtnStartReadClick, this);
    cbBGColor_->OnChange = click(&TBookReaderForm::CBBGColorChange, this);
    cbFontColor_->OnChange = click(&TBookReaderForm::CBFontColorChange, this);
    cbFont_->OnChange = click(&TBookReaderForm::CBFontChange, this);
    cbFontSize_->OnChange = click(&TBookReaderForm::CBFontSizeChange, this);
    cbSpeed_->OnChange = click(&TBookReaderForm::CBSpeedChange, this);
    statusBar_->OnReportError = click(&TBookReaderForm::StatusBarReportError, this);
    statusBar_->OnClickSite = click(&TBookReaderForm::StatusBarClickSite, this);
    statusBar_->OnClickWindows = click(&TBookReaderForm::StatusBarClickWindows, this);
    statusBar_->OnSearchBook = click(&TBookReaderForm::StatusBarSearchBook, this);
    readTimer_.OnTimer = [this] { RunGuarded([&] { ReadTimerTimer(); }); };

    for (const unsigned id : {kRestore, kPageSaved, kRefresh, kOpenFromShare, kOpenLocalFile,
                              kMinimise, kFoldersChanged, kClose})
        sink_.On(id,
                 [this](const platform::ui::Message& m) { RunGuarded([&] { HandleMessage(m); }); });

    // The window sees every key before its controls (the form's key preview).
    g_signal_connect(
        window_, "key-press-event",
        G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
            const guint32 ch = gdk_keyval_to_unicode(event->keyval);
            if (ch >= 0x20 && ch < 0x7F && !(event->state & GDK_CONTROL_MASK))
                RunGuarded([&] {
                    static_cast<TBookReaderForm*>(self)->FormKeyPress(static_cast<char>(ch));
                });
            return FALSE;
        }),
        this);
    g_signal_connect(window_, "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                         RunGuarded([&] { static_cast<TBookReaderForm*>(self)->Close(); });
                         return TRUE;
                     }),
                     this);
    // Every overlay child is placed exactly: the browser over its rectangle,
    // the combo boxes over their controls. Left to itself the overlay would
    // give a child its natural size, and a browser taller than its place
    // would take the status bar's clicks.
    g_signal_connect(host_.Widget(), "get-child-position",
                     G_CALLBACK(+[](GtkOverlay*, GtkWidget* child, GdkRectangle* place,
                                    gpointer self) -> gboolean {
                         return static_cast<TBookReaderForm*>(self)->PlaceChild(child, *place);
                     }),
                     this);
    g_signal_connect(window_, "size-allocate",
                     G_CALLBACK(+[](GtkWidget*, GdkRectangle*, gpointer self) {
                         RunGuarded([&] { static_cast<TBookReaderForm*>(self)->LayoutControls(); });
                     }),
                     this);
}

void TBookReaderForm::OpenChannel() {
    // The channel goes first when the window does: the handler never
    // outlives it.
    channel_ = platform::ProgramChannel::Open(
        kWindowClass, platform::AnsiToUtf8(Caption()),
        [this, poster = sink_.Poster()](const platform::ChannelMessage& m) {
            if (m.message == kOpenLocalFile) {
                // The file travels as the message's one text.
                if (m.texts.size() != 1 || m.texts[0].empty()) return;
                handedFiles_.push_back(m.texts[0]);
            }
            // Handled in the loop's order, after whatever runs now.
            poster.Post(m.message, static_cast<std::intptr_t>(m.wparam),
                        static_cast<std::intptr_t>(m.lparam));
        });
}

TBookReaderForm::~TBookReaderForm() {
    // No more messages from outside, and no request to the main program.
    channel_.reset();
    searchClient_.reset();
    readTimer_.SetEnabled(false);
    // The browser saves the position, stops its chapter reader and preloader
    // (no download event follows) and goes; only then what they used.
    if (browser_) gtk_container_remove(GTK_CONTAINER(host_.Widget()), browser_->Widget());
    browser_.reset();
    networkCheker_.reset();
    dataShare_.reset();
    FreeStoryDB();
    for (TControl* c : std::vector<TControl*>(host_.Controls())) host_.Remove(*c);
    // The frame lets go of the window's signals while the window still lives.
    hackForm_.reset();
    gtk_container_remove(GTK_CONTAINER(window_), host_.Widget());
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
}

void TBookReaderForm::FillChoiceLists() {
    bgColors_.clear();
    for (const char* value : kBackgroundColors) bgColors_.push_back({"1", value});
    fontColors_ = ChoiceList(kFontColors);
    fonts_ = ChoiceList(kFonts);
    fontSizes_ = ChoiceList(kFontSizes);
    speeds_ = ChoiceList(kSpeeds);
}

void TBookReaderForm::FillCombos() {
    TXColor& bg = *cbBGColor_;
    bg.Clear();
    const AnsiString color = browser_->GetColor();
    int selected = 0;
    for (size_t i = 0; i < bgColors_.size(); ++i) {
        bg.AddItem(bgColors_[i].Caption, SwatchColor(bgColors_[i].Value));
        if (SameText(ColorToColor(bgColors_[i].Value), color)) selected = static_cast<int>(i);
    }
    bg.SetItemIndex(selected);

    TXComboBox& fc = *cbFontColor_;
    fc.Clear();
    fc.AddItem(Utf8ToAnsi("字体颜色"), clWhite);
    const AnsiString fontColor = browser_->GetFontColor();
    selected = 0;
    for (size_t i = 0; i < fontColors_.size(); ++i) {
        fc.AddItem(fontColors_[i].Caption, SwatchColor(fontColors_[i].Value));
        if (SameText(ColorToColor(fontColors_[i].Value), fontColor))
            selected = static_cast<int>(i) + 1;
    }
    fc.SetItemIndex(selected);

    const auto fill = [](TXComboBox& box, const char* caption,
                         const std::vector<THTMLItemData>& list, const AnsiString& stored) {
        box.Clear();
        box.AddItem(Utf8ToAnsi(caption));
        int index = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            box.AddItem(list[i].Caption);
            if (list[i].Value == stored) index = static_cast<int>(i) + 1;
        }
        box.SetItemIndex(index);
    };
    fill(*cbFont_, "字体名称", fonts_, browser_->GetFontName());
    fill(*cbFontSize_, "字体大小", fontSizes_, browser_->GetFontSize());
    fill(*cbSpeed_, "滚动速度", speeds_, browser_->GetSpeed());
}

void TBookReaderForm::LoadToolbarIcons() {
    const std::pair<TXReaderButton3*, const char*> icons[] = {{btnRefresh_.get(), "ICON_Refresh"},
                                                              {btnPrevious_.get(), "ICON_Back"},
                                                              {btnNext_.get(), "ICON_Forward"},
                                                              {btnHome_.get(), "ICON_Home2"}};
    for (const auto& [button, name] : icons) {
        icons_.push_back(LoadResourceImage(name));
        button->Icon = icons_.back().get();
        button->Invalidate();
    }
}

void TBookReaderForm::LoadStatusLinks() {
    std::string text;
    if (!platform::ReadWholeFile(TStoryLog::StoryListFile(), text)) return;
    const auto messages = TStoryLog::ReadStatusMessages(text, "windows2");
    if (messages.empty()) return;
    statusBar_->ClearMessages();
    for (const auto& message : messages) {
        if (message.Title.empty() || message.URL.empty()) continue;
        statusBar_->AddMessage(message.Title, message.URL, message.Color);
    }
}

// --- showing and closing -----------------------------------------------------

void TBookReaderForm::Show() {
    minMaxClose_->LoadWindowPos("Reader");
    gtk_widget_show_all(GTK_WIDGET(window_));
    LayoutControls();
    ShowToolbarMode(false);
    browser_->ClickBody();
    sink_.Post(kOpenFromShare, kFirstRead);
    if (IsLocalRead())
        platform::ui::RunWhenIdle([poster = sink_.Poster()] { poster.Post(kRefresh, 1); });
}

void TBookReaderForm::Close() {
    if (closed_) return;
    closed_ = true;
    minMaxClose_->SaveWindowPos("Reader");
    gtk_widget_hide(GTK_WIDGET(window_));
    if (OnClosed) OnClosed();
}

void TBookReaderForm::Terminate() {
    Close();
}

AnsiString TBookReaderForm::Caption() const {
    return hackForm_->Caption();
}

void TBookReaderForm::SetCaption(const AnsiString& caption) {
    hackForm_->SetCaption(caption);
    hackForm_->Invalidate();
    const std::string utf8 = platform::AnsiToUtf8(caption);
    gtk_window_set_title(window_, utf8.c_str());
    if (channel_) channel_->SetTitle(utf8);
}

void TBookReaderForm::LayoutControls() {
    int w = 0, h = 0;
    gtk_window_get_size(window_, &w, &h);
    if (w <= 0 || h <= 0) return;
    hackForm_->Resized(w, h);

    const int panelWidth = w - kPanelLeft - 2;
    panelTop_->SetBounds(kPanelLeft, kCaptionHeight, panelWidth, kToolbarHeight);
    browserRect_ = BrowserRectFor(w, h);

    statusBar_->SetBounds(10, h - 23 - 2, w - 20, 23);
    // The main program's version; both programs carry one version, so the
    // reader's own file stands in while the main program is not beside it.
    std::string version = GetFileVersionString(ProgramFolder() + "Quira", "FileVersion");
    if (version.empty())
        version = GetFileVersionString(ProgramFolder() + "QuiraReader", "FileVersion");
    statusBar_->SetAppVersion(" V" + version);
    statusBar_->SetReportError(Utf8ToAnsi("错误报告"));
    statusBar_->Font.Color = clBlack;
    minMaxClose_->SetBounds(w - 91 - 4, 1, 91, 20);

    // Buttons from the right: the toolbar's left edge is the client panel's,
    // and within it BtnHome stands at W - 80 - 8.
    const int top = kCaptionHeight + 3;
    const int homeLeft = kPanelLeft + w - 80 - 8;
    btnHome_->SetBounds(homeLeft, top, 80, 27);
    btnStartRead_->SetBounds(homeLeft, top, 80, 27);
    btnNext_->SetBounds(homeLeft - 4 - 80, top, 80, 27);
    btnPrevious_->SetBounds(btnNext_->Left() - 4 - 80, top, 80, 27);
    btnRefresh_->SetBounds(btnPrevious_->Left() - 4 - 80, top, 80, 27);

    int left = kPanelLeft + 8;
    cbBGColor_->SetBounds(left, kCaptionHeight + 6, 80, 25);
    cbBGColor_->ItemHeight = 18;
    for (TXComboBox* box : {cbFontColor_.get(), cbFont_.get(), cbFontSize_.get(), cbSpeed_.get()}) {
        left += 80 + 4;
        box->SetBounds(left, kCaptionHeight + 6, 80, 25);
        box->ItemHeight = 18;
    }
}

TRect TBookReaderForm::BrowserRectFor(int width, int height) {
    // The client panel below the caption and above the status bar, less the
    // toolbar at its top.
    const int panelHeight = height - kCaptionHeight - kStatusHeight;
    return TRect::FromSize(kPanelLeft, kCaptionHeight + kToolbarHeight,
                           std::max(0, width - kPanelLeft - 2),
                           std::max(0, panelHeight - kToolbarHeight));
}

bool TBookReaderForm::PlaceChild(GtkWidget* child, GdkRectangle& place) const {
    if (child == browser_->Widget()) {
        // From the overlay's own size, which is set before its children are
        // placed: the rectangle is never one size behind.
        const TRect r = BrowserRectFor(gtk_widget_get_allocated_width(host_.Widget()),
                                       gtk_widget_get_allocated_height(host_.Widget()));
        place = {r.Left, r.Top, std::max(1, r.Width()), std::max(1, r.Height())};
        return true;
    }
    for (TControl* c : host_.Controls()) {
        for (TNativeChild* native : c->NativeChildren()) {
            if (native->Widget() != child) continue;
            // The widget's start and top margins place it (as the native
            // child keeps them); the allocation only fixes its size.
            const TRect r = native->Bounds().Offset(c->Left(), c->Top());
            place = {0, 0, r.Right, r.Bottom};
            return true;
        }
    }
    return false;
}

void TBookReaderForm::ShowToolbarMode(bool tableOfContents) {
    btnStartRead_->SetVisible(tableOfContents);
    for (TControl* c : std::initializer_list<TControl*>{
             cbFont_.get(), cbFontSize_.get(), btnRefresh_.get(), btnPrevious_.get(),
             btnNext_.get(), btnHome_.get(), cbBGColor_.get(), cbFontColor_.get(), cbSpeed_.get()})
        c->SetVisible(!tableOfContents);
}

// --- messages ----------------------------------------------------------------

void TBookReaderForm::HandleMessage(const platform::ui::Message& message) {
    switch (message.id) {
        case kRestore:
            gtk_window_deiconify(window_);
            gtk_widget_show(GTK_WIDGET(window_));
            gtk_window_present(window_);
            break;
        case kPageSaved: {
            if (message.wparam < 0 || static_cast<size_t>(message.wparam) >= pageList_.size())
                break;
            const std::string entry = pageList_[static_cast<size_t>(message.wparam)];
            browser_->ClickBody();
            if (browser_->Navigating()) {
                // A page waits for the running load. The newest request
                // wins: this page takes its place (a loading page too, which
                // belongs to a chapter asked for after the waiting one) and
                // is shown the moment that load ends, or once the browser
                // has waited long enough; the timer still shows the newest
                // page should the wait end otherwise.
                browser_->NavigateWhenIdle(entry);
                readTimer_.Restart();
            } else if (IsLocalRead()) {
                browser_->NavigateNow(entry);
            } else {
                browser_->NavigateWhenIdle(entry);
            }
            if (!IsLoadingPage(entry) && !entry.starts_with("data:")) browser_->PrefetchChapters();
            break;
        }
        case kRefresh:
            // wparam 1: a local start, once shown: the file it was given, or
            // the file chooser.
            if (message.wparam == 1 && IsLocalRead() && !LocalFile.empty()) {
                OpenLocalFile(std::exchange(LocalFile, {}));
            } else {
                BtnRefreshClick();
            }
            break;
        case kOpenFromShare:
            OpenFromShare(message.wparam == kFirstRead);
            break;
        case kOpenLocalFile:
            if (!handedFiles_.empty()) {
                const std::string file = handedFiles_.front();
                handedFiles_.pop_front();
                OpenHandedFile(file);
            }
            break;
        case kMinimise:
            gtk_window_iconify(window_);
            break;
        case kFoldersChanged:
            DeriveReaderFolders(false);
            platform::ui::SetTrustedPageFolders(
                {Utf8ToAnsi(AppFolder()), Utf8ToAnsi(DataFolder())});
            break;
        case kClose:
            Close();
            break;
        default:
            break;
    }
}

void TBookReaderForm::OpenFromShare() {
    OpenFromShare(false);
}

void TBookReaderForm::OpenFromShare(bool firstRead) {
    AnsiString site, story, chapter;
    unsigned char continueRead = 0;
    dataShare_->Read(site, story, chapter, continueRead);
    const bool whole = !site.empty() && !story.empty() && (continueRead != 0 || !chapter.empty());
    if (IsLocalRead() && !firstRead) {
        // A request sent to a local reading (a chapter opened in the main
        // program) ends it and opens, as a new start with "-read" would;
        // anything less leaves the text on screen.
        if (!whole) return;
        ShowLocalMode(false);
    }
    browser_->ShowLoadingPage();
    ShowToolbarMode(false);
    browser_->UseCache = true;
    // A local start opens nothing of the block: what it holds was left there
    // for an earlier reader.
    if (whole && !IsLocalRead()) {
        if (continueRead != 0)
            browser_->StartRead(site, story);
        else
            browser_->OpenChapter(site, story, chapter);
    }
    // Memory freed by the work so far goes back to the system.
    malloc_trim(0);
}

void TBookReaderForm::ShowLocalMode(bool local) {
    if (IsLocalRead() != local) {
        // Where the reader is stays where it was read: the chapter in the
        // database, the text in Scroll.ini.
        browser_->SaveReadPosition();
        SetLocalRead(local);
        browser_->LocalMode = local;
    }
    btnRefresh_->SetCaption(Utf8ToAnsi(local ? "本地小说" : "刷新"));
    btnPrevious_->SetEnabled(!local);
    btnNext_->SetEnabled(!local);
    btnHome_->SetEnabled(!local);
}

void TBookReaderForm::OpenHandedFile(const std::string& file) {
    // A file that another start was given (the desktop's "open with") is
    // shown here, in local reading whatever was read before.
    ShowLocalMode(true);
    ShowToolbarMode(false);
    OpenLocalFile(file);
}

void TBookReaderForm::BrowserPageSaved(const std::string& page) {
    pageList_.push_back(page);
    sink_.Post(kPageSaved, static_cast<std::intptr_t>(pageList_.size() - 1));
}

std::string TBookReaderForm::NewestPage() const {
    // Pages come in the order of the requests (a chapter's loading page
    // before its chapter, pages of abandoned requests never), so the last
    // one, a loading page or not, answers the newest request.
    return pageList_.empty() ? std::string() : pageList_.back();
}

void TBookReaderForm::ReadTimerTimer() {
    readTimer_.SetEnabled(false);
    const std::string newest = NewestPage();
    if (!newest.empty() && newest != browser_->CurrentPage()) browser_->NavigateWhenIdle(newest);
}

// --- toolbar -----------------------------------------------------------------

void TBookReaderForm::FormKeyPress(char key) {
    if (key == 't') BtnRefreshClick();
}

void TBookReaderForm::BtnRefreshClick() {
    if (!IsLocalRead()) {
        browser_->LocalMode = false;
        browser_->Reload();
        return;
    }
    std::optional<std::string> file;
    if (ChooseLocalFile) {
        file = ChooseLocalFile();
    } else {
        const auto chosen =
            platform::ui::SelectFile(window_, Utf8ToAnsi("打开本地小说（只支持文本文件）"),
                                     {{Utf8ToAnsi("文本文件"), {"*.[tT][xX][tT]"}}});
        if (chosen) file = platform::AnsiToUtf8(*chosen);
    }
    if (!file) {
        // Cancelled: the reader has nothing to show and ends.
        Terminate();
        return;
    }
    OpenLocalFile(*file);
}

void TBookReaderForm::OpenLocalFile(const std::string& file) {
    browser_->LocalMode = true;
    if (platform::RegularFileSize(file) > static_cast<long long>(kLargeFile)) {
        const AnsiString text =
            Utf8ToAnsi("您要导入的本地文件体积较大，导入过程可能会花费一些时间，请您耐心等待！");
        const AnsiString caption = Utf8ToAnsi("提示");
        if (ShowNotice)
            ShowNotice(text, caption);
        else
            platform::ui::MessageBox(window_, text, caption, platform::ui::MessageButtons::Ok,
                                     platform::ui::MessageIcon::Information);
    }
    browser_->OpenLocalFile(file);
}

void TBookReaderForm::BtnPreviousClick() {
    if (!IsLocalRead()) browser_->PreviousChapter();
}

void TBookReaderForm::BtnNextClick() {
    if (!IsLocalRead()) browser_->NextChapter();
}

void TBookReaderForm::BtnHomeClick() {
    if (!IsLocalRead()) browser_->HomePage();
}

void TBookReaderForm::BtnStartReadClick() {
    if (!IsLocalRead()) browser_->RestartRead();
}

AnsiString TBookReaderForm::ColorToColor(const AnsiString& color) {
    if (color.size() < 7) return {};
    return "#" + color.substr(5, 2) + color.substr(3, 2) + color.substr(1, 2);
}

void TBookReaderForm::CBBGColorChange() {
    const int index = cbBGColor_->ItemIndex();
    if (index < 0 || index >= static_cast<int>(bgColors_.size())) return;
    browser_->SetColor(ColorToColor(bgColors_[index].Value));
    browser_->ApplyPageStyle();
}

void TBookReaderForm::CBFontColorChange() {
    const int index = cbFontColor_->ItemIndex();
    if (index <= 0 || index > static_cast<int>(fontColors_.size())) return;
    browser_->SetFontColor(ColorToColor(fontColors_[index - 1].Value));
    browser_->ApplyPageStyle();
}

void TBookReaderForm::CBFontChange() {
    const int index = cbFont_->ItemIndex();
    if (index <= 0 || index > static_cast<int>(fonts_.size())) return;
    browser_->SetFontName(fonts_[index - 1].Value);
    browser_->ApplyPageStyle();
}

void TBookReaderForm::CBFontSizeChange() {
    const int index = cbFontSize_->ItemIndex();
    if (index <= 0 || index > static_cast<int>(fontSizes_.size())) return;
    browser_->SetFontSize(fontSizes_[index - 1].Value);
    browser_->ApplyPageStyle();
}

void TBookReaderForm::CBSpeedChange() {
    const int index = cbSpeed_->ItemIndex();
    if (index <= 0 || index > static_cast<int>(speeds_.size())) return;
    browser_->SetSpeed(speeds_[index - 1].Value);
    browser_->ApplyPageStyle();
}

// --- status bar --------------------------------------------------------------

void TBookReaderForm::StatusBarReportError() {
    const std::string url = ErrorReportURL(browser_->ChapterURL());
    if (url.empty()) return;
    if (OpenLink)
        OpenLink(url);
    else
        OpenURL(url);
}

void TBookReaderForm::StatusBarClickSite() {
    const std::string url = ServiceURL("/");
    if (url.empty()) return;
    if (OpenLink)
        OpenLink(url);
    else
        OpenURL(url);
}

void TBookReaderForm::StatusBarClickWindows() {
    std::string url = statusBar_->StatusURL();
    url.erase(0, url.find_first_not_of(" \t\r\n"));
    url.erase(url.find_last_not_of(" \t\r\n") + 1);
    if (url.empty()) return;
    if (OpenLink)
        OpenLink(url);
    else
        OpenURL(url);
}

void TBookReaderForm::StatusBarSearchBook() {
    if (IsLocalRead() || searchClient_) return;
    AnsiString title, author, intro;
    if (TStoryDB* db = StoryDB())
        db->GetArticleInfo(browser_->SiteID(), browser_->StoryID(), title, author, intro);
    // The main program shows the results; the reader has done its part and
    // ends once the request is handed over. It steps aside while the main
    // program starts; when no main program can be reached it comes back, as
    // nothing has happened.
    searchClient_ = std::make_unique<TXExternalClient>(MainProgram);
    try {
        searchClient_->SearchEx(title, author, [this](bool delivered) {
            RunGuarded([&] {
                if (delivered) {
                    Close();
                    return;
                }
                searchClient_.reset();
                gtk_widget_show(GTK_WIDGET(window_));
                gtk_window_present(window_);
            });
        });
    } catch (...) {
        // Not even on its way: the reader stays as it is.
        searchClient_.reset();
        throw;
    }
    gtk_widget_hide(GTK_WIDGET(window_));
}
