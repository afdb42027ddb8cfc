#include "reader/XColor.h"

#include <gtk/gtk.h>

namespace {

// The classic system colours a colour box of this style starts with; the
// reader replaces them with its own list.
const struct {
    const char* name;
    TColor color;
} kSystemColors[] = {
    {"ScrollBar", RGB(0xC8, 0xC8, 0xC8)},     {"Background", RGB(0x00, 0x00, 0x00)},
    {"ActiveCaption", RGB(0x99, 0xB4, 0xD1)}, {"InactiveCaption", RGB(0xBF, 0xCD, 0xDB)},
    {"Menu", RGB(0xF0, 0xF0, 0xF0)},          {"Window", RGB(0xFF, 0xFF, 0xFF)},
    {"WindowFrame", RGB(0x64, 0x64, 0x64)},   {"MenuText", RGB(0x00, 0x00, 0x00)},
    {"WindowText", RGB(0x00, 0x00, 0x00)},    {"CaptionText", RGB(0x00, 0x00, 0x00)},
    {"ActiveBorder", RGB(0xB4, 0xB4, 0xB4)},  {"InactiveBorder", RGB(0xF4, 0xF7, 0xFC)},
    {"AppWorkSpace", RGB(0xAB, 0xAB, 0xAB)},  {"Highlight", RGB(0x33, 0x99, 0xFF)},
    {"HighlightText", RGB(0xFF, 0xFF, 0xFF)}, {"BtnFace", RGB(0xF0, 0xF0, 0xF0)},
    {"BtnShadow", RGB(0xA0, 0xA0, 0xA0)},     {"GrayText", RGB(0x6D, 0x6D, 0x6D)},
    {"BtnText", RGB(0x00, 0x00, 0x00)},       {"InactiveCaptionText", RGB(0x00, 0x00, 0x00)},
    {"BtnHighlight", RGB(0xFF, 0xFF, 0xFF)},  {"3DDkShadow", RGB(0x69, 0x69, 0x69)},
    {"3DLight", RGB(0xE3, 0xE3, 0xE3)},       {"InfoText", RGB(0x00, 0x00, 0x00)},
    {"InfoBk", RGB(0xFF, 0xFF, 0xE1)},
};

constexpr TColor kSwatchFrame = RGB(0xE2, 0xE4, 0xE7);

// A cell renderer that hands the drawing of each item to TXColor::DrawItem.
struct SwatchRenderer {
    GtkCellRenderer parent;
    const TXColor* box;
    int index;
};
struct SwatchRendererClass {
    GtkCellRendererClass parent_class;
};

G_DEFINE_TYPE(SwatchRenderer, swatch_renderer, GTK_TYPE_CELL_RENDERER)

enum { PROP_INDEX = 1 };

void swatch_renderer_set_property(GObject* object, guint id, const GValue* value,
                                  GParamSpec* pspec) {
    if (id == PROP_INDEX)
        reinterpret_cast<SwatchRenderer*>(object)->index = g_value_get_int(value);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void swatch_renderer_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    if (id == PROP_INDEX)
        g_value_set_int(value, reinterpret_cast<SwatchRenderer*>(object)->index);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void swatch_renderer_render(GtkCellRenderer* cell, cairo_t* cr, GtkWidget*, const GdkRectangle*,
                            const GdkRectangle* area, GtkCellRendererState flags) {
    auto* self = reinterpret_cast<SwatchRenderer*>(cell);
    if (!self->box) return;
    cairo_save(cr);
    TCanvas canvas(cr);
    const bool selected = flags & (GTK_CELL_RENDERER_SELECTED | GTK_CELL_RENDERER_PRELIT);
    self->box->DrawItem(canvas, self->index,
                        TRect::FromSize(area->x, area->y, area->width, area->height), selected);
    cairo_restore(cr);
}

void swatch_renderer_preferred_width(GtkCellRenderer*, GtkWidget*, gint* minimum, gint* natural) {
    *minimum = *natural = 40;
}

void swatch_renderer_preferred_height(GtkCellRenderer* cell, GtkWidget*, gint* minimum,
                                      gint* natural) {
    auto* self = reinterpret_cast<SwatchRenderer*>(cell);
    *minimum = *natural = self->box ? self->box->ItemHeight : 16;
}

void swatch_renderer_class_init(SwatchRendererClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->set_property = swatch_renderer_set_property;
    object->get_property = swatch_renderer_get_property;
    GtkCellRendererClass* cell = GTK_CELL_RENDERER_CLASS(klass);
    cell->render = swatch_renderer_render;
    cell->get_preferred_width = swatch_renderer_preferred_width;
    cell->get_preferred_height = swatch_renderer_preferred_height;
    g_object_class_install_property(
        object, PROP_INDEX,
        g_param_spec_int("index", "index", "item index", -1, G_MAXINT, -1, G_PARAM_READWRITE));
}

void swatch_renderer_init(SwatchRenderer* self) {
    self->box = nullptr;
    self->index = -1;
}

}  // namespace

TXColor::TXColor() : combo_(*this) {
    SetBounds(0, 0, 145, 22);
    // Start with the system colours, as a box of this style does.
    for (const auto& c : kSystemColors) items_.push_back({c.name, c.color});
    combo_.SetBounds(ClientRect());
}

TXColor::~TXColor() = default;

void TXColor::Resize() {
    combo_.SetBounds(ClientRect());
    TControl::Resize();
}

void TXColor::Clear() {
    items_.clear();
    item_index_ = -1;
    combo_.Reload();
    Invalidate();
}

int TXColor::AddItem(const AnsiString& caption, TColor color) {
    items_.push_back({caption, color});
    combo_.Reload();
    return static_cast<int>(items_.size()) - 1;
}

void TXColor::SetItemIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    item_index_ = index;
    if (GtkWidget* widget = combo_.Widget()) {
        // The widget's "changed" must not look like the user's choice.
        g_object_set_data(G_OBJECT(widget), "quira-quiet", GINT_TO_POINTER(1));
        gtk_combo_box_set_active(GTK_COMBO_BOX(widget), index);
        g_object_set_data(G_OBJECT(widget), "quira-quiet", nullptr);
    }
    Invalidate();
}

TColor TXColor::Selected() const {
    return item_index_ >= 0 ? items_[item_index_].Color : clBlack;
}

void TXColor::SetSelected(TColor color) {
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].Color == color) {
            SetItemIndex(static_cast<int>(i));
            return;
        }
    }
}

void TXColor::UserSelect(int index) {
    if (index < 0 || index >= static_cast<int>(items_.size()) || index == item_index_) return;
    item_index_ = index;
    Invalidate();
    if (OnChange) OnChange(this);
    if (OnSelect) OnSelect(this);
}

void TXColor::DrawItem(TCanvas& canvas, int index, const TRect& r, bool selected) const {
    if (index < 0 || index >= static_cast<int>(items_.size())) return;
    canvas.FillRect(r, selected ? kSelectionColor : clWhite);
    TColor color = items_[index].Color;
    if (color == clDefault) color = DefaultColorColor;
    if (color == clNone) color = NoneColorColor;
    const TRect inner = r.Shrunk(1);
    canvas.FillRect(inner, color);
    canvas.FrameRect(inner, kSwatchFrame);
}

// Without a combo box (off screen) the closed box is drawn here: the chosen
// swatch beside a drop-down arrow.
void TXColor::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.FillRect(client, clWhite);
    canvas.FrameRect(client, RGB(0xB9, 0xC4, 0xD0));
    const TRect swatch{client.Left + 3, client.Top + 3, client.Right - 20, client.Bottom - 3};
    if (item_index_ >= 0) DrawItem(canvas, item_index_, swatch, false);
    const int cx = client.Right - 11, cy = client.Top + client.Height() / 2;
    for (int i = 0; i < 4; ++i)
        canvas.Line(cx - 3 + i, cy - 1 + i, cx + 4 - i, cy - 1 + i, RGB(0x5B, 0x65, 0x70));
}

// The combo box in the flat look of the drawn controls: a white face with a
// one-pixel frame. Installed once for the screen, for boxes of our class.
static void InstallComboStyle() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        css,
        ".quira-swatch-box button { background: #FFFFFF; border: 1px solid #B9C4D0; "
        "border-radius: 3px; box-shadow: none; padding: 1px 4px; min-height: 0; }"
        ".quira-swatch-box button:hover { border-color: #2B83D6; }"
        ".quira-swatch-box arrow { min-width: 10px; min-height: 10px; color: #5B6570; }",
        -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

GtkWidget* TXColor::Combo::CreateWidget() {
    InstallComboStyle();
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_INT);
    GtkWidget* combo = gtk_combo_box_new_with_model(GTK_TREE_MODEL(store));
    GtkCellRenderer* renderer =
        GTK_CELL_RENDERER(g_object_new(swatch_renderer_get_type(), nullptr));
    reinterpret_cast<SwatchRenderer*>(renderer)->box = &box_;
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(combo), renderer, TRUE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(combo), renderer, "index", 0);
    gtk_combo_box_set_wrap_width(GTK_COMBO_BOX(combo), 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(combo), "quira-swatch-box");
    gtk_widget_set_halign(combo, GTK_ALIGN_START);
    gtk_widget_set_valign(combo, GTK_ALIGN_START);
    g_signal_connect(combo, "changed", G_CALLBACK(+[](GtkComboBox* widget, gpointer self) {
                         if (g_object_get_data(G_OBJECT(widget), "quira-quiet")) return;
                         static_cast<TXColor*>(self)->UserSelect(gtk_combo_box_get_active(widget));
                     }),
                     &box_);
    for (size_t i = 0; i < box_.Items().size(); ++i)
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, static_cast<int>(i), -1);
    gtk_combo_box_set_active(GTK_COMBO_BOX(combo), box_.ItemIndex());
    g_object_unref(store);
    return combo;
}

void TXColor::Combo::Reload() {
    GtkWidget* widget = Widget();
    if (!widget) return;
    GtkListStore* store = GTK_LIST_STORE(gtk_combo_box_get_model(GTK_COMBO_BOX(widget)));
    g_object_set_data(G_OBJECT(widget), "quira-quiet", GINT_TO_POINTER(1));
    gtk_list_store_clear(store);
    for (size_t i = 0; i < box_.Items().size(); ++i)
        gtk_list_store_insert_with_values(store, nullptr, -1, 0, static_cast<int>(i), -1);
    gtk_combo_box_set_active(GTK_COMBO_BOX(widget), box_.ItemIndex());
    g_object_set_data(G_OBJECT(widget), "quira-quiet", nullptr);
}
