#include "shelf/dialogs/SettingForm.h"

#include <gtk/gtk.h>

#include "core/Folders.h"
#include "platform/ui/HotKey.h"

namespace {

constexpr int kPageWidth = 396, kPageHeight = 246;

// A white page of the notebook with design positions.
GtkWidget* Page(GtkWidget* notebook, const char* title, GtkWidget** fixed) {
    GtkWidget* box = gtk_event_box_new();
    TDialogFrame::AddStyle(box, "* { background-color: #FFFFFF; }");
    *fixed = gtk_fixed_new();
    gtk_widget_set_size_request(*fixed, kPageWidth, kPageHeight);
    gtk_container_add(GTK_CONTAINER(box), *fixed);
    gtk_notebook_append_page(GTK_NOTEBOOK(notebook), box, gtk_label_new(title));
    gtk_widget_show_all(box);
    return box;
}

GtkWidget* At(GtkWidget* fixed, GtkWidget* widget, const char* name, int x, int y, int width = -1,
              int height = -1) {
    gtk_widget_set_name(widget, name);
    if (width >= 0 || height >= 0) gtk_widget_set_size_request(widget, width, height);
    gtk_fixed_put(GTK_FIXED(fixed), widget, x, y);
    gtk_widget_show(widget);
    return widget;
}

GtkWidget* Label(GtkWidget* fixed, const char* name, const char* text, int x, int y, int width,
                 bool wrap = false) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    if (wrap) {
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        const int chars = TDialogFrame::WrapChars(label, width);
        gtk_label_set_width_chars(GTK_LABEL(label), chars);
        gtk_label_set_max_width_chars(GTK_LABEL(label), chars);
    }
    return At(fixed, label, name, x, y, width);
}

bool Checked(GtkWidget* box) {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(box));
}

unsigned Modifiers(guint state) {
    unsigned modifiers = 0;
    if (state & GDK_SHIFT_MASK) modifiers |= platform::ui::kModShift;
    if (state & GDK_CONTROL_MASK) modifiers |= platform::ui::kModControl;
    if (state & GDK_MOD1_MASK) modifiers |= platform::ui::kModAlt;
    return modifiers;
}

}  // namespace

TSettingForm::TSettingForm(TDiskInfo disks)
    : frame_(A("设置"), 420, 340, 45), controller_(std::move(disks)) {
    GtkWidget* notebook = frame_.Put(gtk_notebook_new(), "PageControl1", 10, 10);
    GtkWidget* general = nullptr;
    GtkWidget* cache = nullptr;
    Page(notebook, "常规", &general);
    Page(notebook, "缓存", &cache);

    const auto& values = controller_.Values;
    autoRunCB_ =
        At(general, gtk_check_button_new_with_label("开机自动启动Tolvane"), "AutoRunCB", 20, 18);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(autoRunCB_), values.AutoRun);
    Label(general, "Label2", "老板键", 24, 60, 50);
    edit1_ = At(general, gtk_entry_new(), "Edit1", 80, 54, 160, 26);
    TDialogFrame::SetText(edit1_, values.HotKey);
    // Only a pressed key writes the edit: nothing is typed, pasted or
    // composed into it (see Edit1KeyDown).
    gtk_editable_set_editable(GTK_EDITABLE(edit1_), FALSE);
    Label(general, "Label1", "说明：要修改老板键，请按下组合键或功能键，例如：ALT+R、F2...", 24, 88,
          350, true);
    cbCache_ =
        At(general, gtk_check_button_new_with_label("当在线书架缓存超过"), "CBCache", 20, 130);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cbCache_), values.ScanCache);
    edit2_ = At(general, gtk_spin_button_new_with_range(1, 9999, 1), "Edit2", 172, 128, 104, 26);
    // Small arrows, so that four digits and the label beside fit the design.
    TDialogFrame::AddStyle(edit2_, "button { min-width: 12px; padding: 0 3px; }");
    gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(edit2_), TRUE);
    gtk_entry_set_max_length(GTK_ENTRY(edit2_), 4);
    gtk_spin_button_set_value(GTK_SPIN_BUTTON(edit2_), values.MaxCacheSize);
    Label(general, "Label5", "MB时，提醒我清理", 284, 133, 110);
    cbStoryUpdate_ =
        At(general, gtk_check_button_new_with_label("当小说有更新时，显示更新提示窗口"),
           "CBStoryUpdate", 20, 170);
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(cbStoryUpdate_), values.AutoNotify);

    Label(cache, "Label3", "请选择小说缓存保存位置：", 20, 14, 300);
    GtkListStore* rows = gtk_list_store_new(3, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING);
    for (const auto& location : controller_.Locations()) {
        GtkTreeIter row;
        gtk_list_store_append(rows, &row);
        gtk_list_store_set(rows, &row, 0, TDialogFrame::ToUi(location.Caption).c_str(), 1,
                           location.TotalText.c_str(), 2, location.FreeText.c_str(), -1);
    }
    cacheListView_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(rows));
    g_object_unref(rows);
    int column = 0;
    for (const char* title : {"位置", "原始大小", "剩余空间"}) {
        GtkTreeViewColumn* view = gtk_tree_view_column_new_with_attributes(
            title, gtk_cell_renderer_text_new(), "text", column++, nullptr);
        gtk_tree_view_column_set_sizing(view, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(view, 100);
        gtk_tree_view_column_set_resizable(view, TRUE);
        gtk_tree_view_append_column(GTK_TREE_VIEW(cacheListView_), view);
    }
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scroller), cacheListView_);
    gtk_widget_set_name(cacheListView_, "CacheListView");
    gtk_widget_show(cacheListView_);
    At(cache, scroller, "CacheListScroller", 20, 38, 356, 150);
    label4_ = Label(cache, "Label4", "", 20, 200, 356);
    TDialogFrame::SetText(label4_, controller_.LocationText());
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(cacheListView_));
    if (controller_.SelectedRow() >= 0) {
        GtkTreePath* path = gtk_tree_path_new_from_indices(controller_.SelectedRow(), -1);
        gtk_tree_selection_select_path(selection, path);
        gtk_tree_path_free(path);
    }
    // Connected after the first selection: the current data folder stays
    // the chosen one until the user picks a row.
    frame_.Connect(selection, "changed", [this] { CacheListViewSelectItem(); });
    frame_.Connect(notebook, "switch-page", [this] { gtk_widget_grab_focus(cacheListView_); });
    keyHandler_ =
        g_signal_connect(edit1_, "key-press-event", G_CALLBACK(&TSettingForm::Edit1KeyDown), this);

    frame_.AddButton("BtnOK", A("确定"), 240, 10, [this] { BtnOKClick(); });
    frame_.AddButton("BtnCancel", A("取消"), 326, 10,
                     [this] { frame_.EndModal(platform::ui::MrCancel); });
    frame_.ApplyFont();
}

TSettingForm::~TSettingForm() {
    if (keyHandler_) g_signal_handler_disconnect(edit1_, keyHandler_);
}

int TSettingForm::ShowModal(GtkWindow* owner) {
    gtk_widget_grab_focus(cacheListView_);
    return frame_.ShowModal(owner);
}

int TSettingForm::Edit1KeyDown(GtkWidget* edit, void* event, TSettingForm*) {
    const auto* key = static_cast<GdkEventKey*>(event);
    const auto press = TSettingFormController::HotKeyEditKey(key->keyval, Modifiers(key->state));
    if (!press.Handled) return FALSE;
    if (press.Text) {
        TDialogFrame::SetText(edit, *press.Text);
        gtk_editable_set_position(GTK_EDITABLE(edit), -1);
    }
    return TRUE;  // whatever it made of the key, the edit types nothing
}

void TSettingForm::BtnOKClick() {
    const AnsiString hotKey = TDialogFrame::FromUi(gtk_entry_get_text(GTK_ENTRY(edit1_)));
    if (!TSettingFormController::HotKeyUsable(hotKey)) {
        // Saved, it would leave the program without its boss key.
        platform::ui::MessageBox(
            frame_.Window(),
            FormatText("“%s”不是可用的老板键，请按下组合键或功能键，例如：ALT+R、F2...", hotKey),
            A("设置"), platform::ui::MessageButtons::Ok, platform::ui::MessageIcon::Warning);
        gtk_widget_grab_focus(edit1_);
        return;
    }
    frame_.EndModal(platform::ui::MrOk);
}

void TSettingForm::CacheListViewSelectItem() {
    GtkTreeSelection* selection = gtk_tree_view_get_selection(GTK_TREE_VIEW(cacheListView_));
    GtkTreeModel* model = nullptr;
    GtkTreeIter row;
    if (!gtk_tree_selection_get_selected(selection, &model, &row)) return;
    GtkTreePath* path = gtk_tree_model_get_path(model, &row);
    controller_.SelectRow(gtk_tree_path_get_indices(path)[0]);
    gtk_tree_path_free(path);
    TDialogFrame::SetText(label4_, controller_.LocationText());
}

void TSettingForm::ReadControls() {
    auto& values = controller_.Values;
    values.AutoRun = Checked(autoRunCB_);
    values.HotKey = TDialogFrame::FromUi(gtk_entry_get_text(GTK_ENTRY(edit1_)));
    gtk_spin_button_update(GTK_SPIN_BUTTON(edit2_));
    values.MaxCacheSize = gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(edit2_));
    values.ScanCache = Checked(cbCache_);
    values.AutoNotify = Checked(cbStoryUpdate_);
}

bool TSettingForm::SaveSettings() {
    ReadControls();
    return controller_.SaveSettings();
}

int ShowSettingForm(GtkWindow* owner, TSettingResult& result) {
    TSettingForm form;
    const int answer = form.ShowModal(owner);
    if (answer != platform::ui::MrOk) return answer;
    form.SaveSettings();
    const std::string before = DataFolder();
    if (!form.Controller().ApplyDataFolder()) {
        platform::ui::MessageBox(
            owner,
            FormatText("无法在“%s”保存小说，请选择其他位置。\r\n小说仍保存在原来的位置。",
                       platform::Utf8ToAnsi(form.Controller().SelectedFolder())),
            A("设置"), platform::ui::MessageButtons::Ok, platform::ui::MessageIcon::Warning);
    }
    result.HotKey = form.Controller().Values.HotKey;
    result.DataFolder = DataFolder();
    result.DataFolderChanged = result.DataFolder != before;
    return answer;
}
