#include "platform/ui/Dialogs.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace platform::ui {
namespace {

constexpr const char* kModalKey = "quira-modal";

// A loop of a dialog's own. An end asked for before the loop runs (an answer
// that came while the dialog was being shown) is kept, not lost: the loop
// then does not run at all.
class NestedLoop {
  public:
    NestedLoop() : loop_(g_main_loop_new(nullptr, FALSE)) {}
    ~NestedLoop() { g_main_loop_unref(loop_); }
    NestedLoop(const NestedLoop&) = delete;
    NestedLoop& operator=(const NestedLoop&) = delete;

    void Run() {
        if (!ended_) g_main_loop_run(loop_);
    }
    void End() {
        ended_ = true;
        g_main_loop_quit(loop_);
    }

  private:
    GMainLoop* loop_;
    bool ended_ = false;
};

// The running modal loop of a form and its result.
struct ModalRun {
    NestedLoop loop;
    int result = MrNone;
    // Ended because the program ends: the result stays MrCancel whatever
    // the form's code sets on its way out.
    bool ended = false;
};

// A dialog, message box or chooser running its own loop, for as long as it
// runs, with how it is answered as if the user had closed it.
class OpenDialog {
  public:
    explicit OpenDialog(std::function<void()> close) : close_(std::move(close)) {
        Stack().push_back(this);
    }
    ~OpenDialog() { std::erase(Stack(), this); }
    OpenDialog(const OpenDialog&) = delete;
    OpenDialog& operator=(const OpenDialog&) = delete;

    void Close() const { close_(); }
    // The open ones, the innermost last. UI thread only.
    static std::vector<OpenDialog*>& Stack() {
        static std::vector<OpenDialog*> stack;
        return stack;
    }

  private:
    std::function<void()> close_;
};

// Set by EndDialogs until AllowDialogs: new dialogs answer at once.
bool g_dialogsEnded = false;

GtkMessageType TypeOf(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return GTK_MESSAGE_ERROR;
        case MessageIcon::Question:
            return GTK_MESSAGE_QUESTION;
        case MessageIcon::Warning:
            return GTK_MESSAGE_WARNING;
        case MessageIcon::Information:
            return GTK_MESSAGE_INFO;
        default:
            return GTK_MESSAGE_OTHER;
    }
}

// The chooser's answer, in a loop of our own so that EndDialogs can end it.
int RunNative(GtkNativeDialog* dialog) {
    struct Run {
        NestedLoop loop;
        int response = GTK_RESPONSE_CANCEL;
    } run;
    const gulong answered = g_signal_connect(
        dialog, "response", G_CALLBACK(+[](GtkNativeDialog*, int response, gpointer data) {
            auto* r = static_cast<Run*>(data);
            r->response = response;
            r->loop.End();
        }),
        &run);
    {
        const OpenDialog open([&run, dialog] {
            gtk_native_dialog_hide(dialog);
            run.response = GTK_RESPONSE_CANCEL;
            run.loop.End();
        });
        gtk_native_dialog_set_modal(dialog, TRUE);
        gtk_native_dialog_show(dialog);
        run.loop.Run();
    }
    g_signal_handler_disconnect(dialog, answered);
    gtk_native_dialog_hide(dialog);
    return run.response;
}

std::optional<AnsiString> RunChooser(GtkFileChooserNative* chooser) {
    std::optional<AnsiString> chosen;
    if (!g_dialogsEnded && RunNative(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (char* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            chosen = Utf8ToAnsi(file);
            g_free(file);
        }
    }
    g_object_unref(chooser);
    return chosen;
}

}  // namespace

void EndDialogs() {
    g_dialogsEnded = true;
    // A copy: closing changes nothing in the stack at once (each entry goes
    // when its loop has returned), but be safe from a close that runs code.
    const std::vector<OpenDialog*> open = OpenDialog::Stack();
    for (auto it = open.rbegin(); it != open.rend(); ++it) (*it)->Close();
}

void AllowDialogs() {
    g_dialogsEnded = false;
}

int OpenDialogCount() {
    return static_cast<int>(OpenDialog::Stack().size());
}

namespace {

// What a message box answers when it is closed without a button.
int ClosedAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
            return IdCancel;
        case MessageButtons::YesNo:
            return IdNo;
        case MessageButtons::Ok:
            break;
    }
    return IdOk;
}

}  // namespace

int MessageBox(GtkWindow* owner, const AnsiString& text, const AnsiString& caption,
               MessageButtons buttons, MessageIcon icon, int defaultResult) {
    const int closed = ClosedAnswer(buttons);
    if (g_dialogsEnded) return closed;
    GtkWidget* dialog = gtk_message_dialog_new(
        owner, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        TypeOf(icon), GTK_BUTTONS_NONE, "%s", AnsiToUtf8(text).c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), AnsiToUtf8(caption).c_str());
    switch (buttons) {
        case MessageButtons::Ok:
            gtk_dialog_add_button(GTK_DIALOG(dialog), "确定", IdOk);
            break;
        case MessageButtons::OkCancel:
            gtk_dialog_add_buttons(GTK_DIALOG(dialog), "确定", IdOk, "取消", IdCancel, nullptr);
            break;
        case MessageButtons::YesNoCancel:
            gtk_dialog_add_buttons(GTK_DIALOG(dialog), "是", IdYes, "否", IdNo, "取消", IdCancel,
                                   nullptr);
            break;
        case MessageButtons::YesNo:
            gtk_dialog_add_buttons(GTK_DIALOG(dialog), "是", IdYes, "否", IdNo, nullptr);
            break;
    }
    if (defaultResult > 0) {
        gtk_dialog_set_default_response(GTK_DIALOG(dialog), defaultResult);
        if (GtkWidget* button =
                gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), defaultResult))
            gtk_widget_grab_focus(button);
    }
    gtk_window_set_position(GTK_WINDOW(dialog),
                            owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), owner == nullptr);
    // The answer, in a loop of our own so that EndDialogs can end it: a
    // button, or closing the box (its frame, Escape), which answers `closed`.
    struct Run {
        NestedLoop loop;
        int response = 0;
        int closed = IdOk;
    } run;
    run.closed = closed;
    const gulong answered = g_signal_connect(
        dialog, "response", G_CALLBACK(+[](GtkDialog*, int response, gpointer data) {
            auto* r = static_cast<Run*>(data);
            r->response = response > 0 ? response : r->closed;
            r->loop.End();
        }),
        &run);
    const gulong closing = g_signal_connect(
        dialog, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer data) -> gboolean {
            auto* r = static_cast<Run*>(data);
            r->response = r->closed;
            r->loop.End();
            return TRUE;
        }),
        &run);
    {
        const OpenDialog open([&run] {
            run.response = run.closed;
            run.loop.End();
        });
        gtk_widget_show(dialog);
        run.loop.Run();
    }
    g_signal_handler_disconnect(dialog, answered);
    g_signal_handler_disconnect(dialog, closing);
    gtk_widget_destroy(dialog);
    return run.response > 0 ? run.response : closed;
}

int ShowModal(GtkWindow* form, GtkWindow* owner) {
    if (IsModal(form)) return MrNone;
    if (g_dialogsEnded) return MrCancel;
    ModalRun run;
    g_object_set_data(G_OBJECT(form), kModalKey, &run);
    if (owner) gtk_window_set_transient_for(form, owner);
    gtk_window_set_modal(form, TRUE);
    gtk_window_set_position(form, owner ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    // Closing the form by its frame is Cancel, and the form stays for reuse.
    const gulong closing = g_signal_connect(
        form, "delete-event", G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer) -> gboolean {
            EndModal(GTK_WINDOW(widget), MrCancel);
            return TRUE;
        }),
        nullptr);
    {
        const OpenDialog open([form, &run] {
            EndModal(form, MrCancel);
            run.ended = true;
        });
        gtk_widget_show(GTK_WIDGET(form));
        gtk_window_present(form);
        run.loop.Run();
    }
    g_signal_handler_disconnect(form, closing);
    g_object_set_data(G_OBJECT(form), kModalKey, nullptr);
    gtk_window_set_modal(form, FALSE);
    gtk_widget_hide(GTK_WIDGET(form));
    return run.result;
}

void EndModal(GtkWindow* form, int result) {
    auto* run = static_cast<ModalRun*>(g_object_get_data(G_OBJECT(form), kModalKey));
    if (!run) {
        gtk_widget_hide(GTK_WIDGET(form));
        return;
    }
    if (!run->ended) run->result = result;
    run->loop.End();
}

bool IsModal(GtkWindow* form) {
    return g_object_get_data(G_OBJECT(form), kModalKey) != nullptr;
}

std::optional<AnsiString> SelectFolder(GtkWindow* owner, const AnsiString& title,
                                       const AnsiString& initialFolder) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        AnsiToUtf8(title).c_str(), owner, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, "选择", "取消");
    if (!initialFolder.empty())
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser),
                                            AnsiToUtf8(initialFolder).c_str());
    return RunChooser(chooser);
}

std::optional<AnsiString> SelectFile(GtkWindow* owner, const AnsiString& title,
                                     const std::vector<FileFilter>& filters, bool save,
                                     const AnsiString& initialFile) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        AnsiToUtf8(title).c_str(), owner,
        save ? GTK_FILE_CHOOSER_ACTION_SAVE : GTK_FILE_CHOOSER_ACTION_OPEN, save ? "保存" : "打开",
        "取消");
    if (save) gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    for (const FileFilter& filter : filters) {
        GtkFileFilter* f = gtk_file_filter_new();
        gtk_file_filter_set_name(f, AnsiToUtf8(filter.name).c_str());
        for (const auto& pattern : filter.patterns) gtk_file_filter_add_pattern(f, pattern.c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), f);
    }
    if (!initialFile.empty()) {
        const std::string utf8 = AnsiToUtf8(initialFile);
        if (save && !g_path_is_absolute(utf8.c_str()))
            gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), utf8.c_str());
        else
            gtk_file_chooser_set_filename(GTK_FILE_CHOOSER(chooser), utf8.c_str());
    }
    return RunChooser(chooser);
}

}  // namespace platform::ui
