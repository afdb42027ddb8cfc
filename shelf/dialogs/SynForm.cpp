#include "shelf/dialogs/SynForm.h"

#include <gtk/gtk.h>

#include "core/Folders.h"
#include "net/ServiceURL.h"
#include "shelf/LoginTexts.h"

namespace {

using platform::ui::MessageButtons;
using platform::ui::MessageIcon;

TSynForm* gShown = nullptr;  // the dialog while it is shown

constexpr const char* kMemo =
    "\r\n功能说明（第一次使用请先上传本地阅读记录）：\r\n上传本地记录：将当前机器的阅读记录上传到服"
    "务器。"
    "\r\n下载服务器记录：将服务器上的阅读记录下载到当前机器。\r\n合并记录：将服务器上的阅读记录与当"
    "前"
    "机器的阅读记录进行合并。";

bool Active(GtkWidget* radio) {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(radio));
}

}  // namespace

TSynForm::TSynForm(TSynLogin login, std::string apiURL, std::string debugFolder)
    : frame_(A("阅读记录同步"), 407, 239, 45),
      controller_(std::move(login), std::move(apiURL), std::move(debugFolder)) {
    using Style = TDialogFrame::LabelStyle;
    using Panel = TDialogFrame::Panel;
    labelTitle_ = frame_.AddLabel("LabelTitle", A("请选择阅读记录的同步模式"), 20, 14, 367, 20,
                                  Style{.bold = true});
    rbSaveLocal_ = frame_.Put(gtk_radio_button_new_with_label(nullptr, "上传本地阅读记录"),
                              "rbSaveLocal", 40, 38);
    rbSaveRemote_ = frame_.Put(gtk_radio_button_new_with_label_from_widget(
                                   GTK_RADIO_BUTTON(rbSaveLocal_), "下载服务器阅读记录"),
                               "rbSaveRemote", 40, 60);
    rbSaveAll_ = frame_.Put(
        gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(rbSaveLocal_), "合并阅读记录"),
        "rbSaveAll", 40, 82);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(rbSaveRemote_), TRUE);
    labelMemo_ =
        frame_.AddLabel("LabelMemo", A(kMemo), 20, 98, 367, 92, Style{.navy = true, .wrap = true});
    labelDescription_ =
        frame_.AddLabel("LabelDescription", {}, 20, 56, 367, 36, Style{.wrap = true});
    progressBar_ = frame_.AddProgressBar("ProgressBar", 20, 100, 367);
    frame_.AddLabel("IncludeImageLabel", A("注：向导将自动去除小说中包含的图片"), 12, 14, 210, 18,
                    {}, Panel::Buttons);
    btnOK_ = frame_.AddButton("BtnOK", A("开始"), 232, 10, [this] { BtnOKClick(); });
    btnCancel_ = frame_.AddButton("BtnCancel", A("取消"), 318, 10, [this] { BtnCancelClick(); });
    frame_.ApplyFont();
    controller_.OnChanged = [this] { Render(); };
    controller_.MessageBox = frame_.MessageBoxFn();
    Render();
}

TSynForm::~TSynForm() {
    controller_.OnChanged = nullptr;
}

int TSynForm::ShowModal(GtkWindow* owner) {
    return frame_.ShowModal(owner);
}

void TSynForm::Render() {
    const TSynFormController::State& state = controller_.GetState();
    for (GtkWidget* widget : {rbSaveLocal_, rbSaveRemote_, rbSaveAll_, labelMemo_})
        gtk_widget_set_visible(widget, state.Choosing);
    gtk_widget_set_visible(labelDescription_, !state.Choosing);
    gtk_widget_set_visible(progressBar_, !state.Choosing);
    TDialogFrame::SetText(labelDescription_, state.Description);
    TDialogFrame::SetProgress(progressBar_, state.Progress);
    gtk_widget_set_sensitive(btnOK_, state.OKEnabled);
    TDialogFrame::SetText(btnCancel_, state.CancelCaption);
}

void TSynForm::BtnOKClick() {
    const TSynMode mode = Active(rbSaveRemote_)  ? TSynMode::Download
                          : Active(rbSaveLocal_) ? TSynMode::Upload
                          : Active(rbSaveAll_)   ? TSynMode::Merge
                                                 : TSynMode::None;
    controller_.Start(mode);
}

void TSynForm::BtnCancelClick() {
    frame_.EndModal(controller_.CloseResult());
}

int ShowSynForm(GtkWindow* owner, std::function<void()> onSynced) {
    const TLoginTexts texts = GetLoginTexts();
    const TSynLogin login{texts.LoginKey, texts.UserID, texts.FDID};
    if (!login.Complete()) {
        platform::ui::MessageBox(owner, A("您还还没有登录用户中心，请先登录！"), A("提示"),
                                 MessageButtons::Ok, MessageIcon::Information);
        return platform::ui::MrNone;
    }
    if (gShown) {
        gtk_window_present(gShown->Window());
        return platform::ui::MrNone;
    }
    TSynForm form(login, ServiceURL("/api.php"), AppFolder());
    gShown = &form;
    const int result = form.ShowModal(owner);
    gShown = nullptr;
    if (result == platform::ui::MrOk && onSynced) onSynced();
    return result;
}
