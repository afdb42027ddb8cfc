#pragma once

#include "platform/Charset.h"
#include "platform/ui/BrowserBridge.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _GCancellable GCancellable;
typedef struct _GVariant GVariant;
typedef struct _WebKitUserScript WebKitUserScript;

namespace platform::ui {

// The embedded browser control: one WebKit view with our page bridge, load
// and navigation events, script calls, scroll and zoom, and no context menu.
// Lives on the UI thread; the widget is destroyed with the object.
class Browser {
  public:
    Browser();
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    GtkWidget* Widget() const;

    // A URL, or an absolute file path (ANSI) that becomes a file:// URI.
    void Navigate(const AnsiString& target);
    void Reload();
    void Stop();
    bool IsLoading() const;
    // The URI of the top-level page (UTF-8, as WebKit has it).
    std::string Uri() const;
    std::string Title() const;

    // The object behind window.external: every member for our local pages,
    // the flagged ones for pages of the service origin, nothing for others.
    // Takes effect from the next page load.
    void SetExternalProvider(std::shared_ptr<ExternalProvider> provider);
    ExternalProvider* Provider() const { return provider_.get(); }

    // Calls the page's global function `name` with the arguments, which reach
    // the page as values, never as script text. done gets the result as JSON
    // text, or nullopt and an error message. done may be empty.
    using ScriptDone = std::function<void(std::optional<std::string> json, std::string error)>;
    void CallFunction(const std::string& name, const std::vector<BridgeValue>& args,
                      ScriptDone done = {});
    // Runs a script body of ours (a function body; `return` gives the result).
    void RunScript(const std::string& body, ScriptDone done = {});

    // The page scroll position, as the page last reported it (0, 0 on a new page).
    int ScrollX() const { return scrollX_; }
    int ScrollY() const { return scrollY_; }
    void ScrollTo(int x, int y);
    // Sets the zoom style of the page's body (1 = normal size).
    void SetPageZoom(double factor);
    // Clicks the body of the page, as a user click would.
    void ClickBody();
    // Gives the page the keyboard focus.
    void FocusPage();
    // Text selection in pages; on by default.
    void SetTextSelection(bool allowed);

    // Events. uri is UTF-8.
    // Before a navigation of the page or of one of its frames; false cancels it.
    std::function<bool(const std::string& uri)> OnBeforeNavigate;
    // A new window asked for by a page (target="_blank", window.open).
    std::function<void(const std::string& uri)> OnNewWindow;
    // The top-level page started showing (navigation committed).
    std::function<void(const std::string& uri)> OnNavigateComplete;
    // The top-level document has been parsed; its pictures and other parts
    // may still be loading.
    std::function<void(const std::string& uri)> OnDocumentReady;
    // The top-level page finished loading.
    std::function<void(const std::string& uri)> OnDocumentComplete;
    std::function<void(const std::string& uri, const std::string& message)> OnLoadFailed;
    std::function<void(const std::string& title)> OnTitleChanged;
    // Keys in the browser (GDK key values and modifier state); true swallows.
    std::function<bool(unsigned keyval, unsigned state)> OnKeyDown;
    std::function<bool(unsigned keyval, unsigned state)> OnKeyUp;
    // A mouse press or release in the page.
    std::function<void(unsigned button)> OnMouseDown;
    std::function<void(unsigned button)> OnMouseUp;
    // A wheel turn: delta > 0 away from the user; true swallows it.
    std::function<bool(int delta, bool control)> OnWheel;

    // For the scheme handler. A request is judged by the document committed
    // in the top frame: Admit says what that page may call when the request's
    // Origin fits it (None: refuse without reading the body); AnswerRequest
    // then answers the body.
    BridgePage Admit(const char* origin) const;
    struct Answer {
        int status = 200;
        std::string body;
        std::function<void()> then;
    };
    // path: of the request's address, which names the member called.
    Answer AnswerRequest(BridgePage page, std::string_view path, std::string_view body);
    // Scroll reports from the page.
    void SetScrollReport(int x, int y);

  private:
    struct Signals;
    void InstallScripts();
    void InstallStyles();
    void Call(const std::string& body, GVariant* args, ScriptDone done);

    // The top-level document the bridge answers: its URI as committed and
    // the token of the script injected into it. Cleared while a new load is
    // pending; a load that fails before committing leaves the page before.
    struct Committed {
        std::string uri;
        std::string token;
    };
    void LoadStarted();
    void LoadCommitted(const std::string& uri);
    void LoadFailedBeforeCommit();
    void ShowErrorPage(const std::string& uri, const std::string& message);
    void RenewScriptsIfSettingsChanged();
    // Before a navigation: keeps the local pages' script out of the page when
    // its address lies in our folders but its file does not.
    void JudgeLocalPage(const std::string& uri);

    WebKitWebView* view_ = nullptr;
    GCancellable* cancellable_ = nullptr;
    std::shared_ptr<ExternalProvider> provider_;
    // The token in the scripts that the next document gets; a new one after
    // each commit, so that no two documents share one. The engine may make
    // the committed document only once these scripts have reached it, so
    // the committed document is answered under either token.
    std::string scriptToken_;
    // The scripts in the content manager now (referenced), removed only once
    // their successors are in: a document made meanwhile never has none.
    struct ScriptUnref {
        void operator()(WebKitUserScript* script) const;
    };
    std::vector<std::unique_ptr<WebKitUserScript, ScriptUnref>> scripts_;
    unsigned scriptGeneration_ = 0;
    // The block list of the local pages' script: addresses judged misleading,
    // the most recent last.
    std::vector<std::string> blockedPages_;
    Committed committed_;
    Committed replaced_;
    bool pending_ = false;
    // The next commit is the error page of a failed load.
    bool errorPage_ = false;
    // Counts the loads the owner asked for.
    unsigned loads_ = 0;
    // Expires with the browser, which an event handler may free.
    const std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    int scrollX_ = 0;
    int scrollY_ = 0;
    bool selection_ = true;
};

// The widget that takes the page's input: the last browser view found inside
// a widget tree, depth first (the widget itself when it is one); null if none.
GtkWidget* GetIEServerWindow(GtkWidget* widget);

}  // namespace platform::ui
