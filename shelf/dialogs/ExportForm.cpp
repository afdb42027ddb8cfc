#include "shelf/dialogs/ExportForm.h"

#include <gtk/gtk.h>

#include <filesystem>

namespace {

constexpr int kOKLeft = 228, kCancelLeft = 314, kButtonTop = 10;

}  // namespace

TExportForm::TExportForm(const AnsiString& siteID, const AnsiString& storyID,
                         const AnsiString& siteName)
    : frame_(A("小说导出"), 403, 241, 45), controller_(siteID, storyID, siteName) {
    using Style = TDialogFrame::LabelStyle;
    using Panel = TDialogFrame::Panel;
    labelTitle_ = frame_.AddLabel("LabelTitle", {}, 20, 14, 363, 20, Style{.bold = true});
    rbExportTXT_ = frame_.Put(gtk_radio_button_new_with_label(nullptr, "文本格式（不支持图片）"),
                              "RBExportTXT", 40, 40);
    rbExportEPUB_ = frame_.Put(gtk_radio_button_new_with_label_from_widget(
                                   GTK_RADIO_BUTTON(rbExportTXT_), "EPUB（支持图片）"),
                               "RBExportEPUB", 220, 40);
    label2_ = frame_.AddLabel("Label2", A("从第"), 40, 74, 30, 20);
    cbChapter_ = frame_.Put(gtk_combo_box_text_new(), "CBChapter", 72, 68, 190, 26);
    label1_ = frame_.AddLabel("Label1", A("章，开始导出"), 270, 74, 100, 20);
    labelDescription_ =
        frame_.AddLabel("LabelDescription", {}, 20, 104, 363, 20, Style{.wrap = true});
    exportFolderEdit_ = frame_.Put(gtk_entry_new(), "ExportFolderEdit", 20, 126, 280, 26);
    btnBrowse_ = frame_.AddButton(
        "BtnBrowse", A("浏览(&R)"), 308, 126, [this] { BtnBrowseClick(); }, 75, 26, Panel::Client);
    progressBar_ = frame_.AddProgressBar("ProgressBar", 20, 60, 363);
    includeImageLabel_ =
        frame_.AddLabel("IncludeImageLabel", A("注：向导将自动去除小说中包含的图片"), 12, 14, 210,
                        18, {}, Panel::Buttons);
    btnOK_ = frame_.AddButton("BtnOK", A("下一步"), kOKLeft, kButtonTop, [this] { BtnOKClick(); });
    btnCancel_ = frame_.AddButton("BtnCancel", A("取消"), kCancelLeft, kButtonTop,
                                  [this] { BtnCancelClick(); });
    TDialogFrame::SetText(exportFolderEdit_, controller_.ExportFolder());
    frame_.SetCaption(controller_.Caption());
    frame_.ApplyFont();
    controller_.OnChanged = [this] { Render(); };
    controller_.OnClose = [this] { frame_.EndModal(platform::ui::MrOk); };
    controller_.MessageBox = frame_.MessageBoxFn();
    Render();
}

TExportForm::~TExportForm() {
    controller_.OnChanged = nullptr;
    controller_.OnClose = nullptr;
}

void TExportForm::FillChapters() {
    controller_.FillChapters();
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(cbChapter_));
    for (const AnsiString& name : controller_.ChapterNames())
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(cbChapter_),
                                       TDialogFrame::ToUi(name).c_str());
    if (!controller_.ChapterNames().empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(cbChapter_), 0);
}

int TExportForm::ShowModal(GtkWindow* owner) {
    return frame_.ShowModal(owner);
}

void TExportForm::Render() {
    const TExportFormController::State& state = controller_.GetState();
    TDialogFrame::SetText(labelTitle_, state.Title);
    TDialogFrame::SetText(labelDescription_, state.Description);
    for (GtkWidget* widget : {rbExportTXT_, rbExportEPUB_, label2_, cbChapter_, label1_})
        gtk_widget_set_visible(widget, state.ChoicesVisible);
    for (GtkWidget* widget : {exportFolderEdit_, btnBrowse_, includeImageLabel_})
        gtk_widget_set_visible(widget, state.FolderVisible);
    gtk_widget_set_visible(progressBar_, state.ProgressVisible);
    TDialogFrame::SetProgress(progressBar_, state.Progress);
    gtk_widget_set_sensitive(btnOK_, state.OKEnabled);
    TDialogFrame::SetText(btnOK_, state.OKCaption);
    gtk_widget_set_visible(btnCancel_, state.CancelVisible);
    // The description sits over the folder in the first step, under the
    // progress bar while working, and has room for a long path at the end.
    GtkFixed* client = GTK_FIXED(frame_.ClientPanel());
    if (state.Step == 0) {
        gtk_fixed_move(client, labelDescription_, 20, 104);
        gtk_widget_set_size_request(labelDescription_, 363, 20);
    } else if (!state.Finished) {
        gtk_fixed_move(client, labelDescription_, 20, 88);
        gtk_widget_set_size_request(labelDescription_, 363, 60);
    } else {
        gtk_fixed_move(client, labelDescription_, 20, 48);
        gtk_widget_set_size_request(labelDescription_, 363, 100);
    }
    // At the end OK takes the place of the hidden cancel button.
    gtk_fixed_move(GTK_FIXED(frame_.ButtonPanel()), btnOK_,
                   state.CancelVisible ? kOKLeft : kCancelLeft, kButtonTop);
}

void TExportForm::BtnOKClick() {
    const bool epub = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(rbExportEPUB_));
    controller_.Next(epub ? TExportFormat::Epub : TExportFormat::Text,
                     gtk_combo_box_get_active(GTK_COMBO_BOX(cbChapter_)),
                     TDialogFrame::FromUi(gtk_entry_get_text(GTK_ENTRY(exportFolderEdit_))));
}

void TExportForm::BtnCancelClick() {
    controller_.Cancel();
    frame_.EndModal(platform::ui::MrCancel);
}

void TExportForm::BtnBrowseClick() {
    const AnsiString current =
        TDialogFrame::FromUi(gtk_entry_get_text(GTK_ENTRY(exportFolderEdit_)));
    std::error_code error;
    const bool exists = std::filesystem::is_directory(platform::AnsiToUtf8(current), error);
    if (const auto chosen =
            platform::ui::SelectFolder(frame_.Window(), A("请选择文件夹:"), exists ? current : ""))
        TDialogFrame::SetText(exportFolderEdit_, *chosen);
}

int ShowExportForm(GtkWindow* owner, const AnsiString& siteID, const AnsiString& storyID,
                   const AnsiString& siteName) {
    TExportForm form(siteID, storyID, siteName);
    form.FillChapters();
    return form.ShowModal(owner);
}
