#include "shelf/dialogs/CacheForm.h"

#include <gtk/gtk.h>

TCacheForm::TCacheForm() : frame_(A("缓存清理"), 403, 241, 45) {
    using Style = TDialogFrame::LabelStyle;
    using Panel = TDialogFrame::Panel;
    // A window the user can put aside: it also minimises.
    gtk_window_set_type_hint(frame_.Window(), GDK_WINDOW_TYPE_HINT_NORMAL);
    gtk_window_set_skip_taskbar_hint(frame_.Window(), FALSE);
    frame_.AddLabel("LabelTitle", A("小说缓存清理"), 20, 14, 363, 20, Style{.bold = true});
    labelDescription_ =
        frame_.AddLabel("LabelDescription", {}, 20, 56, 363, 44, Style{.wrap = true});
    progressBar_ = frame_.AddProgressBar("ProgressBar", 20, 108, 363);
    frame_.AddLabel("IncludeImageLabel", A("注：向导将自动去除小说中包含的图片"), 12, 14, 210, 18,
                    {}, Panel::Buttons);
    btnOK_ = frame_.AddButton("BtnOK", A("下一步"), 228, 10, [this] { controller_.Start(); });
    btnCancel_ = frame_.AddButton("BtnCancel", A("取消"), 314, 10, [this] { Close(); });
    frame_.ApplyFont();
    controller_.OnChanged = [this] { Render(); };
    Render();
}

TCacheForm::~TCacheForm() {
    controller_.OnChanged = nullptr;
}

void TCacheForm::Open(GtkWindow* owner, std::vector<std::string> paths, int maxCacheSizeMB,
                      std::string bookFolder) {
    controller_.Open(std::move(paths), maxCacheSizeMB, std::move(bookFolder));
    frame_.ShowModeless(owner);
}

void TCacheForm::Close() {
    gtk_widget_hide(GTK_WIDGET(frame_.Window()));
}

void TCacheForm::Render() {
    const TCacheFormController::State& state = controller_.GetState();
    TDialogFrame::SetText(labelDescription_, state.Description);
    gtk_widget_set_visible(progressBar_, state.ProgressVisible);
    TDialogFrame::SetProgress(progressBar_, state.Position, state.Maximum);
    gtk_widget_set_visible(btnOK_, state.OKVisible);
    gtk_widget_set_sensitive(btnOK_, state.OKEnabled);
    TDialogFrame::SetText(btnCancel_, state.CancelCaption);
}
