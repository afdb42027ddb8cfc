#include "shelf/dialogs/SyncForm.h"

#include <gtk/gtk.h>

TSyncForm::TSyncForm(const AnsiString& siteID, const AnsiString& storyID)
    : frame_(A("小说同步"), 403, 241, 45), controller_(siteID, storyID) {
    using Style = TDialogFrame::LabelStyle;
    using Panel = TDialogFrame::Panel;
    frame_.AddLabel("LabelTitle", A("同步您选择的小说到本地，以便于离线浏览"), 20, 14, 363, 20,
                    Style{.bold = true});
    labelDescription_ =
        frame_.AddLabel("LabelDescription", {}, 20, 56, 363, 44, Style{.wrap = true});
    progressBar_ = frame_.AddProgressBar("ProgressBar", 20, 108, 363);
    frame_.AddLabel("IncludeImageLabel", A("注：向导将自动去除小说中包含的图片"), 12, 14, 210, 18,
                    {}, Panel::Buttons);
    btnOK_ = frame_.AddButton("BtnOK", A("开始"), 228, 10, [this] { controller_.Start(); });
    btnCancel_ = frame_.AddButton("BtnCancel", A("取消"), 314, 10,
                                  [this] { frame_.EndModal(controller_.CloseResult()); });
    frame_.ApplyFont();
    controller_.OnChanged = [this] { Render(); };
    Render();
}

TSyncForm::~TSyncForm() {
    controller_.OnChanged = nullptr;
}

int TSyncForm::ShowModal(GtkWindow* owner) {
    controller_.FormShow();
    return frame_.ShowModal(owner);
}

void TSyncForm::Render() {
    const TSyncFormController::State& state = controller_.GetState();
    TDialogFrame::SetText(labelDescription_, state.Description);
    TDialogFrame::SetProgress(progressBar_, state.Progress);
    gtk_widget_set_visible(btnOK_, state.OKVisible);
    gtk_widget_set_sensitive(btnOK_, state.OKEnabled);
    TDialogFrame::SetText(btnCancel_, state.CancelCaption);
}

int ShowSyncForm(GtkWindow* owner, const AnsiString& siteID, const AnsiString& storyID) {
    TSyncForm form(siteID, storyID);
    const int result = form.ShowModal(owner);
    if (result == platform::ui::MrOk) form.Controller().MarkInLocalShelf();
    return result;
}
