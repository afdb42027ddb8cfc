#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Charset.h"
#include "shelf/dialogs/DialogCommon.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;

// The common look of the dialogs: a window with a fixed border and a client
// area of a set size, a white panel above a grey panel of buttons, every
// control in the default font. Controls sit at their design positions and
// carry their component names (gtk_widget_get_name), by which the views and
// the window tests find them. The frame owns its window and everything in it.
// How a dialog label looks.
struct TLabelStyle {
    bool bold = false;
    bool navy = false;
    bool wrap = false;
};

class TDialogFrame {
  public:
    enum class Panel { Client, Buttons };
    using LabelStyle = TLabelStyle;

    // buttonPanelHeight 0: the white panel fills the client area.
    TDialogFrame(const AnsiString& caption, int width, int height, int buttonPanelHeight = 42);
    ~TDialogFrame();
    TDialogFrame(const TDialogFrame&) = delete;
    TDialogFrame& operator=(const TDialogFrame&) = delete;

    GtkWindow* Window() const { return window_; }
    GtkWidget* ClientPanel() const { return client_; }
    GtkWidget* ButtonPanel() const { return buttons_; }

    void SetCaption(const AnsiString& caption);

    // Places a widget at design coordinates (width or height -1: its own)
    // and names it; returns the widget.
    GtkWidget* Put(GtkWidget* widget, const char* name, int x, int y, int width = -1,
                   int height = -1, Panel panel = Panel::Client);
    GtkWidget* AddLabel(const char* name, const AnsiString& text, int x, int y, int width,
                        int height, LabelStyle style = {}, Panel panel = Panel::Client);
    GtkWidget* AddButton(const char* name, const AnsiString& caption, int x, int y,
                         std::function<void()> onClick, int width = 75, int height = 25,
                         Panel panel = Panel::Buttons);
    GtkWidget* AddProgressBar(const char* name, int x, int y, int width, int height = 18);

    // Runs fn on a signal of a widget or another object of the window (one
    // whose arguments fn does not need, such as "clicked", "changed" or
    // "toggled") for the frame's life.
    void Connect(void* instance, const char* signal, std::function<void()> fn);

    // The widget of that name inside the window, or null.
    GtkWidget* Named(const char* name) const;

    // Real message boxes over this window, for a controller.
    TMessageBoxFn MessageBoxFn() const;

    // Gives every control the default font; call once the controls are in.
    void ApplyFont();

    // Modal over the owner, centred on it; the result of EndModal, or
    // platform::ui::MrCancel when the window is closed by its frame.
    int ShowModal(GtkWindow* owner);
    void EndModal(int result);
    // Shown without blocking, centred on the owner and in front; closing it
    // by its frame hides it (the owner keeps it for later).
    void ShowModeless(GtkWindow* owner);
    // Raised, instead of hiding, when a modeless window is closed by its frame.
    std::function<void()> OnCloseQuery;

    // Widget helpers for ANSI texts.
    static void SetText(GtkWidget* labelOrButton, const AnsiString& text);
    static std::string ToUi(const AnsiString& text);  // UTF-8, CR LF as LF
    static AnsiString FromUi(const char* utf8);
    static void SetProgress(GtkWidget* bar, int position, int maximum = 100);
    static void AddStyle(GtkWidget* widget, const std::string& css);
    // How many characters of the default font a wrapping label of that
    // width is measured at.
    static int WrapChars(GtkWidget* label, int width);

  private:
    struct Handler;
    GtkWindow* window_ = nullptr;
    GtkWidget* client_ = nullptr;   // a GtkFixed inside the white panel
    GtkWidget* buttons_ = nullptr;  // a GtkFixed inside the grey panel
    std::vector<std::unique_ptr<Handler>> handlers_;
    unsigned long closeHandler_ = 0;
};
