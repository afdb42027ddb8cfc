#include "reader/XComboBox.h"

#include <gtk/gtk.h>

#include <cstdio>

namespace {

enum Column { kCaption, kSwatch, kHasSwatch, kColumns };

constexpr const char* kQuiet = "quira-quiet";

std::string ColorText(TColor color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", color & 0xFFFFFF);
    return text;
}

void Fill(GtkListStore* store, const std::vector<TXComboBox::Item>& items) {
    gtk_list_store_clear(store);
    for (const auto& item : items) {
        const std::string caption = platform::AnsiToUtf8(item.Caption);
        const std::string swatch = item.Swatch ? ColorText(*item.Swatch) : "#FFFFFF";
        gtk_list_store_insert_with_values(store, nullptr, -1, kCaption, caption.c_str(), kSwatch,
                                          swatch.c_str(), kHasSwatch, item.Swatch.has_value(), -1);
    }
}

// The flat look of the drawn controls, installed once for the screen.
void InstallComboStyle() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css,
        ".quira-reader-combo button { background: #FFFFFF; border: 1px solid #B9C4D0; "
        "border-radius: 3px; box-shadow: none; padding: 0 3px; min-height: 0; "
        "font-size: 12px; }"
        ".quira-reader-combo button:hover { border-color: #2B83D6; }"
        ".quira-reader-combo arrow { min-width: 8px; min-height: 8px; color: #5B6570; }",
        -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

}  // namespace

TXComboBox::TXComboBox() : combo_(*this) {
    SetBounds(0, 0, 80, 25);
    combo_.SetBounds(ClientRect());
}

TXComboBox::~TXComboBox() = default;

void TXComboBox::Resize() {
    combo_.SetBounds(ClientRect());
    TControl::Resize();
}

void TXComboBox::Clear() {
    items_.clear();
    item_index_ = -1;
    combo_.Reload();
    Invalidate();
}

int TXComboBox::AddItem(const AnsiString& caption, std::optional<TColor> swatch) {
    items_.push_back({caption, swatch});
    combo_.Reload();
    return static_cast<int>(items_.size()) - 1;
}

void TXComboBox::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    item_index_ = index;
    if (GtkWidget* widget = combo_.Widget()) {
        g_object_set_data(G_OBJECT(widget), kQuiet, GINT_TO_POINTER(1));
        gtk_combo_box_set_active(GTK_COMBO_BOX(widget), index);
        g_object_set_data(G_OBJECT(widget), kQuiet, nullptr);
    }
    Invalidate();
}

void TXComboBox::UserSelect(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size()) || index == item_index_) return;
    item_index_ = index;
    Invalidate();
    if (OnChange) OnChange(this);
}

// Without a combo box (off screen) the closed box is drawn here.
void TXComboBox::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.FillRect(client, clWhite);
    canvas.FrameRect(client, RGB(0xB9, 0xC4, 0xD0));
    if (item_index_ < 0) return;
    const Item& item = items_[item_index_];
    int left = client.Left + 4;
    if (item.Swatch) {
        const TRect swatch{left, client.Top + 5, left + 14, client.Bottom - 5};
        canvas.FillRect(swatch, *item.Swatch);
        canvas.FrameRect(swatch, RGB(0xE2, 0xE4, 0xE7));
        left = swatch.Right + 4;
    }
    canvas.Font = Font;
    canvas.DrawText(item.Caption, {left, client.Top, client.Right - 16, client.Bottom},
                    tf::Left | tf::VCenter | tf::SingleLine);
}

GtkWidget* TXComboBox::Combo::CreateWidget() {
    InstallComboStyle();
    GtkListStore* store =
        gtk_list_store_new(kColumns, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_BOOLEAN);
    Fill(store, box_.Items());
    GtkWidget* combo = gtk_combo_box_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);

    GtkCellRenderer* swatch = gtk_cell_renderer_text_new();
    g_object_set(swatch, "text", "", "width", 12, "xpad", 0, "ypad", 4, nullptr);
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), swatch, FALSE);
    gtk_cell_layout_set_attributes(GTK_CELL_LAYOUT(combo), swatch, "cell-background", kSwatch,
                                   "visible", kHasSwatch, nullptr);
    // The box keeps its toolbar width: a long caption is cut, not widened.
    GtkCellRenderer* caption = gtk_cell_renderer_text_new();
    g_object_set(caption, "ypad", 0, "xpad", 1, "ellipsize", PANGO_ELLIPSIZE_END, "max-width-chars",
                 5, nullptr);
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), caption, TRUE);
    gtk_cell_layout_set_attributes(GTK_CELL_LAYOUT(combo), caption, "text", kCaption, nullptr);

    gtk_style_context_add_class(gtk_widget_get_style_context(combo), "quira-reader-combo");
    gtk_widget_set_halign(combo, GTK_ALIGN_START);
    gtk_widget_set_valign(combo, GTK_ALIGN_START);
    gtk_widget_set_focus_on_click(combo, FALSE);
    g_signal_connect(
        combo, "changed", G_CALLBACK(+[](GtkComboBox* widget, gpointer self) {
            if (g_object_get_data(G_OBJECT(widget), kQuiet)) return;
            static_cast<TXComboBox*>(self)->UserSelect(gtk_combo_box_get_active(widget));
        }),
        &box_);
    g_object_set_data(G_OBJECT(combo), kQuiet, GINT_TO_POINTER(1));
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), box_.ItemIndex());
    g_object_set_data(G_OBJECT(combo), kQuiet, nullptr);
    return combo;
}

void TXComboBox::Combo::Reload() {
    GtkWidget* widget = Widget();
    if (!widget) return;
    g_object_set_data(G_OBJECT(widget), kQuiet, GINT_TO_POINTER(1));
    Fill(GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(widget))), box_.Items());
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), box_.ItemIndex());
    g_object_set_data(G_OBJECT(widget), kQuiet, nullptr);
}
