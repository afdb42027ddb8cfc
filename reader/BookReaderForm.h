#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/GtkControlHost.h"
#include "platform/Charset.h"
#include "platform/ui/Timer.h"
#include "platform/ui/UiThread.h"

typedef struct _GtkWindow GtkWindow;

class TBookPreLoadReader;
class TMinMaxCloseButton2;
class TNetworkCheker;
class THackForm;
class TXBookBrowser;
class TXColor;
class TXComboBox;
class TXExternalClient;
class TXDataShare;
class TXLabel;
class TXReaderButton3;
class TGPImage;
namespace platform {
class ProgramChannel;
}

// One entry of a choice list: what the list shows, what is stored.
struct THTMLItemData {
    AnsiString Caption;
    AnsiString Value;
};

// The one window of the reading program: a borderless frame (THackForm), a
// toolbar of display choices and chapter buttons, the chapter browser and a
// status bar. It creates and frees every object of the reader, turns the
// browser's events into window actions, keeps the display settings (HTMLParam
// rows) in step with its combo boxes and offers local reading of text files.
// It answers the window messages of the program block on its channel (class
// "TBookReaderForm"), opened before it first reads the shared block.
class TBookReaderForm {
  public:
    // Window messages.
    static constexpr unsigned kRestore = 0x0400 + 2;
    static constexpr unsigned kPageSaved = 0x0400 + 3;
    static constexpr unsigned kRefresh = 0x0400 + 10;
    static constexpr unsigned kOpenFromShare = 0x0400 + 100;
    // A local file to show (a second start's, given on its command line): the
    // message's one text is its path (UTF-8).
    static constexpr unsigned kOpenLocalFile = 0x0400 + 101;
    static constexpr unsigned kMinimise = 0x0400 + 200;
    static constexpr unsigned kFoldersChanged = 0x0400 + 201;
    static constexpr unsigned kClose = 0x0010;
    static constexpr const char* kWindowClass = "TBookReaderForm";
    static constexpr unsigned kLargeFile = 1048576;

    // FormCreate: folders, database, data share, frame, browser, toolbar,
    // network check, status links, and the channel.
    TBookReaderForm();
    // FormDestroy: the browser (saving the position) with its preloader and
    // chapter reader, then the network check, the data share, the database.
    ~TBookReaderForm();
    TBookReaderForm(const TBookReaderForm&) = delete;
    TBookReaderForm& operator=(const TBookReaderForm&) = delete;

    // Shows the window (FormShow).
    void Show();
    // As the close button: the placement is saved and OnClosed raised.
    void Close();
    std::function<void()> OnClosed;

    // Ways out to the desktop that tests replace: the file chooser of local
    // reading (a UTF-8 path, or nothing when cancelled), the notice before a
    // large file, and opening a link.
    std::function<std::optional<std::string>()> ChooseLocalFile;
    std::function<void(const AnsiString& text, const AnsiString& caption)> ShowNotice;
    std::function<void(const std::string& url)> OpenLink;
    // In local mode, the file to show first (UTF-8 path) instead of asking
    // for one; empty: the file chooser opens.
    std::string LocalFile;
    // The main program that the "search again" link asks (and starts when
    // it does not run); empty: Quira beside the reader.
    std::string MainProgram;

    // Handlers.
    // The request of the shared block, as the main program or a second start
    // asks for it; in local reading a whole request ends the local reading.
    void OpenFromShare();
    void HandleMessage(const platform::ui::Message& message);
    void FormKeyPress(char key);
    void BtnRefreshClick();
    void BtnPreviousClick();
    void BtnNextClick();
    void BtnHomeClick();
    void BtnStartReadClick();
    void CBBGColorChange();
    void CBFontColorChange();
    void CBFontChange();
    void CBFontSizeChange();
    void CBSpeedChange();
    void ReadTimerTimer();
    void StatusBarReportError();
    void StatusBarClickSite();
    void StatusBarClickWindows();
    void StatusBarSearchBook();
    void ShowToolbarMode(bool tableOfContents);
    void LayoutControls();
    void FillCombos();
    // The page of the newest request (the last one written); empty before
    // the first page.
    std::string NewestPage() const;
    // "$BBGGRR" to "#RRGGBB".
    static AnsiString ColorToColor(const AnsiString& color);

    GtkWindow* Window() const { return window_; }
    TXBookBrowser& Browser() { return *browser_; }
    TNetworkCheker& NetworkCheker() { return *networkCheker_; }
    TGtkControlHost& Host() { return host_; }
    TXLabel& StatusBar() { return *statusBar_; }
    TXColor& CBBGColor() { return *cbBGColor_; }
    TXComboBox& CBFontColor() { return *cbFontColor_; }
    TXComboBox& CBFont() { return *cbFont_; }
    TXComboBox& CBFontSize() { return *cbFontSize_; }
    TXComboBox& CBSpeed() { return *cbSpeed_; }
    TXReaderButton3& BtnRefresh() { return *btnRefresh_; }
    TXReaderButton3& BtnPrevious() { return *btnPrevious_; }
    TXReaderButton3& BtnNext() { return *btnNext_; }
    TXReaderButton3& BtnHome() { return *btnHome_; }
    TXReaderButton3& BtnStartRead() { return *btnStartRead_; }
    TMinMaxCloseButton2& CaptionStrip() { return *minMaxClose_; }
    THackForm& Frame() { return *hackForm_; }
    const std::vector<std::string>& PageList() const { return pageList_; }
    const platform::ui::Timer& ReadTimer() const { return readTimer_; }
    AnsiString Caption() const;
    // The rectangle the browser fills, in window coordinates.
    TRect BrowserRect() const { return browserRect_; }

  private:
    void CreateControls();
    void WireEvents();
    void LoadToolbarIcons();
    void LoadStatusLinks();
    void FillChoiceLists();
    void BrowserPageSaved(const std::string& page);
    void OpenLocalFile(const std::string& file);
    // firstRead: the window's own read once shown, which in local reading
    // opens nothing of the block.
    void OpenFromShare(bool firstRead);
    // Local reading on or off: the toolbar follows, and the position of what
    // was read is kept.
    void ShowLocalMode(bool local);
    void OpenHandedFile(const std::string& file);
    void SetCaption(const AnsiString& caption);
    void OpenChannel();
    // Where the overlay puts one of its children; false: not one of ours.
    bool PlaceChild(GtkWidget* child, GdkRectangle& place) const;
    static TRect BrowserRectFor(int width, int height);
    void Terminate();

    GtkWindow* window_ = nullptr;
    TGtkControlHost host_;
    std::unique_ptr<THackForm> hackForm_;
    std::unique_ptr<TMinMaxCloseButton2> minMaxClose_;
    std::unique_ptr<TXLabel> statusBar_;
    std::unique_ptr<TControl> panelTop_;
    std::unique_ptr<TXColor> cbBGColor_;
    std::unique_ptr<TXComboBox> cbFontColor_, cbFont_, cbFontSize_, cbSpeed_;
    std::unique_ptr<TXReaderButton3> btnRefresh_, btnPrevious_, btnNext_, btnHome_, btnStartRead_;
    std::vector<std::unique_ptr<TGPImage>> icons_;
    platform::ui::Timer readTimer_;

    std::vector<std::string> pageList_;
    std::vector<THTMLItemData> bgColors_, fontColors_, fonts_, fontSizes_, speeds_;
    std::unique_ptr<TXDataShare> dataShare_;
    std::unique_ptr<TXBookBrowser> browser_;
    std::unique_ptr<TNetworkCheker> networkCheker_;

    platform::ui::MessageSink sink_;
    // The wparam of the window's own first kOpenFromShare.
    static constexpr std::intptr_t kFirstRead = 1;
    // Files handed over the channel, in the order their messages came.
    std::deque<std::string> handedFiles_;
    std::unique_ptr<platform::ProgramChannel> channel_;
    std::unique_ptr<TXExternalClient> searchClient_;
    TRect browserRect_;
    bool closed_ = false;
};
