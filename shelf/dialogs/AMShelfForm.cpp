#include "shelf/dialogs/AMShelfForm.h"

#include <gtk/gtk.h>

TAMShelfForm::TAMShelfForm() : frame_(A("我的书架"), 300, 140, 45) {
    frame_.AddLabel("ShelfLabel", A("请选择，您要放入的书架："), 20, 16, 260, 20);
    bookClassCB_ = frame_.Put(gtk_combo_box_text_new(), "BooKClassCB", 20, 42, 260, 26);
    for (const TBookClassData& folder : controller_.Classes())
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(bookClassCB_),
                                       TDialogFrame::ToUi(folder.Name).c_str());
    gtk_combo_box_set_active(GTK_COMBO_BOX(bookClassCB_), controller_.SelectedIndex);
    // Kept from the design, never shown.
    GtkWidget* concern = frame_.Put(
        gtk_check_button_new_with_label("在添加到书架以后，自动添加关注"), "ConcernCB", 20, 72);
    gtk_widget_hide(concern);
    frame_.AddButton("BtnOK", A("确定"), 120, 10, [this] { frame_.EndModal(platform::ui::MrOk); });
    frame_.AddButton("BtnCancel", A("取消"), 205, 10,
                     [this] { frame_.EndModal(platform::ui::MrCancel); });
    frame_.ApplyFont();
}

int TAMShelfForm::ShowModal(GtkWindow* owner) {
    return frame_.ShowModal(owner);
}

int TAMShelfForm::SelectedClassID() {
    controller_.SelectedIndex = gtk_combo_box_get_active(GTK_COMBO_BOX(bookClassCB_));
    return controller_.SelectedClassID();
}

int ShowAMShelfForm(GtkWindow* owner, const AnsiString& siteID, const AnsiString& storyID) {
    TAMShelfForm form;
    const int result = form.ShowModal(owner);
    if (result == platform::ui::MrOk && form.SelectedClassID() != -1)
        form.Controller().Apply(siteID, storyID);
    return result;
}
