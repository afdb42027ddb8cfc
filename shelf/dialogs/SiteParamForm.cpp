#include "shelf/dialogs/SiteParamForm.h"

#include <gtk/gtk.h>

#include <algorithm>

namespace {

// Memos keep the CR LF line ends the stored rules have.
std::string MemoText(const AnsiString& text) {
    return TDialogFrame::ToUi(text);
}

AnsiString StoredText(const std::string& utf8) {
    std::string text;
    for (const char c : utf8) {
        if (c == '\n') text += '\r';
        text += c;
    }
    return platform::Utf8ToAnsi(text);
}

}  // namespace

TSiteParamForm::TSiteParamForm() : frame_(A("SiteParamForm"), 657, 572, 48) {
    using Panel = TDialogFrame::Panel;
    frame_.AddLabel("Label31", A("站点列表"), 14, 16, 70, 20);
    siteCB_ = frame_.Put(gtk_combo_box_text_new(), "SiteCB", 86, 10, 300, 26);

    scrollBox_ = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrollBox_), GTK_POLICY_NEVER,
                                   GTK_POLICY_ALWAYS);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrollBox_), GTK_SHADOW_IN);
    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_container_set_border_width(GTK_CONTAINER(column), 8);
    const auto& fields = TSiteParamFormController::Fields();
    std::vector<GtkWidget*> grids;
    for (const char* title : TSiteParamFormController::kGroups) {
        GtkWidget* group = gtk_frame_new(title);
        GtkWidget* grid = gtk_grid_new();
        gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
        gtk_grid_set_column_spacing(GTK_GRID(grid), 6);
        gtk_container_set_border_width(GTK_CONTAINER(grid), 6);
        gtk_container_add(GTK_CONTAINER(group), grid);
        gtk_box_pack_start(GTK_BOX(column), group, FALSE, FALSE, 0);
        grids.push_back(grid);
    }
    std::vector<int> rows(grids.size(), 0);
    for (const auto& field : fields) {
        GtkWidget* grid = grids[static_cast<size_t>(field.Group)];
        GtkWidget* label = gtk_label_new(field.Label);
        gtk_label_set_xalign(GTK_LABEL(label), 1);
        gtk_label_set_yalign(GTK_LABEL(label), field.Memo ? 0 : 0.5);
        gtk_widget_set_size_request(label, 150, -1);
        GtkWidget* control;
        GtkWidget* placed;
        if (field.Memo) {
            control = gtk_text_view_new();
            gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(control), GTK_WRAP_CHAR);
            placed = gtk_scrolled_window_new(nullptr, nullptr);
            gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(placed), GTK_SHADOW_IN);
            gtk_container_add(GTK_CONTAINER(placed), control);
            gtk_widget_set_size_request(placed, 440, 54);
            wheelTargets_.push_back(placed);
        } else {
            control = gtk_entry_new();
            placed = control;
            gtk_widget_set_size_request(placed, 440, -1);
        }
        gtk_widget_set_name(control, field.Control);
        const int row = rows[static_cast<size_t>(field.Group)]++;
        gtk_grid_attach(GTK_GRID(grid), label, 0, row, 1, 1);
        gtk_grid_attach(GTK_GRID(grid), placed, 1, row, 1, 1);
        controls_.push_back(control);
    }
    wheelTargets_.push_back(scrollBox_);
    gtk_container_add(GTK_CONTAINER(scrollBox_), column);
    gtk_widget_show_all(scrollBox_);
    frame_.Put(scrollBox_, "ScrollBox1", 10, 44, 637, 470);

    frame_.AddButton(
        "Button1", A("新增"), 390, 11, [this] { Button1Click(); }, 75, 26, Panel::Buttons);
    frame_.AddButton(
        "Button2", A("保存"), 475, 11, [this] { Button2Click(); }, 75, 26, Panel::Buttons);
    frame_.AddButton(
        "Button3", A("退出"), 560, 11, [this] { frame_.EndModal(platform::ui::MrCancel); }, 75, 26,
        Panel::Buttons);

    for (const AnsiString& name : controller_.SiteNames())
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(siteCB_),
                                       TDialogFrame::ToUi(name).c_str());
    filling_ = true;
    if (!controller_.SiteNames().empty()) gtk_combo_box_set_active(GTK_COMBO_BOX(siteCB_), 0);
    filling_ = false;
    frame_.Connect(siteCB_, "changed", [this] {
        if (!filling_) SiteCBChange();
    });
    // The wheel scrolls the whole box wherever the pointer is, memos
    // included: the box and each memo's own scroller take it before their
    // default handling.
    for (GtkWidget* scroller : wheelTargets_)
        wheelHandlers_.push_back(g_signal_connect(
            scroller, "scroll-event", G_CALLBACK(&TSiteParamForm::FormMouseWheel), this));
    ShowRecord();
    frame_.ApplyFont();
}

TSiteParamForm::~TSiteParamForm() {
    for (size_t i = 0; i < wheelHandlers_.size(); ++i)
        g_signal_handler_disconnect(wheelTargets_[i], wheelHandlers_[i]);
}

int TSiteParamForm::ShowModal(GtkWindow* owner) {
    return frame_.ShowModal(owner);
}

double TSiteParamForm::ScrollPosition() const {
    return gtk_adjustment_get_value(
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(scrollBox_)));
}

void TSiteParamForm::ShowRecord() {
    const auto& fields = TSiteParamFormController::Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const AnsiString& value = controller_.Record.*fields[i].Member;
        if (fields[i].Memo)
            gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(controls_[i])),
                                     MemoText(value).c_str(), -1);
        else
            TDialogFrame::SetText(controls_[i], value);
    }
    gtk_widget_set_sensitive(controls_[0], controller_.SiteIDEditable);
}

void TSiteParamForm::ReadRecord() {
    const auto& fields = TSiteParamFormController::Fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        AnsiString& value = controller_.Record.*fields[i].Member;
        if (fields[i].Memo) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(controls_[i]));
            GtkTextIter start, end;
            gtk_text_buffer_get_bounds(buffer, &start, &end);
            gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
            value = StoredText(text ? text : "");
            g_free(text);
        } else {
            value = TDialogFrame::FromUi(gtk_entry_get_text(GTK_ENTRY(controls_[i])));
        }
    }
}

void TSiteParamForm::SiteCBChange() {
    gchar* name = gtk_combo_box_text_get_active_text(GTK_COMBO_BOX_TEXT(siteCB_));
    controller_.Select(TDialogFrame::FromUi(name));
    g_free(name);
    ShowRecord();
}

void TSiteParamForm::Button1Click() {
    controller_.New();
    ShowRecord();
}

void TSiteParamForm::Button2Click() {
    ReadRecord();
    controller_.Save();
    gtk_widget_set_sensitive(controls_[0], controller_.SiteIDEditable);
}

int TSiteParamForm::FormMouseWheel(GtkWidget*, void* data, TSiteParamForm* self) {
    const GdkEventScroll& scroll = *static_cast<GdkEventScroll*>(data);
    // Down unless the wheel turned up.
    const bool up = scroll.direction == GDK_SCROLL_UP ||
                    (scroll.direction == GDK_SCROLL_SMOOTH && scroll.delta_y < 0);
    GtkAdjustment* adjustment =
        gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(self->scrollBox_));
    const double value = gtk_adjustment_get_value(adjustment) + (up ? -kWheelStep : kWheelStep);
    const double top =
        gtk_adjustment_get_upper(adjustment) - gtk_adjustment_get_page_size(adjustment);
    gtk_adjustment_set_value(adjustment, std::clamp(value, 0.0, std::max(0.0, top)));
    return TRUE;
}

int ShowSiteParamForm(GtkWindow* owner) {
    TSiteParamForm form;
    return form.ShowModal(owner);
}
