#include "controls/NativeChild.h"

#include <cstdio>

#include "controls/Control.h"
#include "controls/ControlHost.h"

TNativeChild::~TNativeChild() {
    // The widget belongs to the host's container; take it away with us.
    if (widget_) {
        GtkWidget* widget = widget_;
        Unrealize();
        gtk_widget_destroy(widget);
    }
}

void TNativeChild::SetBounds(const TRect& bounds) {
    if (bounds == bounds_) return;
    bounds_ = bounds;
    UpdatePlacement();
}

void TNativeChild::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    UpdatePlacement();
}

void TNativeChild::UpdatePlacement() {
    if (widget_) {
        const TRect r = bounds_.Offset(owner_.Left(), owner_.Top());
        gtk_widget_set_margin_start(widget_, r.Left);
        gtk_widget_set_margin_top(widget_, r.Top);
        gtk_widget_set_size_request(widget_, r.Width(), r.Height());
        gtk_widget_set_visible(widget_, visible_ && owner_.Visible());
    }
}

GtkWidget* TNativeChild::Realize() {
    if (!widget_) {
        widget_ = CreateWidget();
        g_object_add_weak_pointer(G_OBJECT(widget_), reinterpret_cast<gpointer*>(&widget_));
    }
    return widget_;
}

void TNativeChild::Unrealize() {
    if (!widget_) return;
    SaveWidgetState();
    g_object_remove_weak_pointer(G_OBJECT(widget_), reinterpret_cast<gpointer*>(&widget_));
    widget_ = nullptr;
}

AnsiString TEdit::Text() const {
    if (Widget()) return platform::Utf8ToAnsi(gtk_entry_get_text(GTK_ENTRY(Widget())));
    return text_;
}

void TEdit::SetText(const AnsiString& text) {
    text_ = text;
    if (Widget()) gtk_entry_set_text(GTK_ENTRY(Widget()), platform::AnsiToUtf8(text).c_str());
}

void TEdit::DoClick() {
    if (OnClick) OnClick();
}

bool TEdit::DoKeyPress(char key) {
    if (!OnKeyPress) return false;
    OnKeyPress(key);
    return key == 0;
}

void TEdit::SetFocus() {
    if (Widget()) gtk_widget_grab_focus(Widget());
}

void TEdit::SaveWidgetState() {
    text_ = Text();
}

GtkWidget* TEdit::CreateWidget() {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_has_frame(GTK_ENTRY(entry), FALSE);
    gtk_entry_set_text(GTK_ENTRY(entry), platform::AnsiToUtf8(text_).c_str());
    gtk_widget_set_halign(entry, GTK_ALIGN_START);
    gtk_widget_set_valign(entry, GTK_ALIGN_START);
    // The field takes the control's background and text colours, and no
    // theme padding: it sits inside a drawn frame.
    GtkCssProvider* css = gtk_css_provider_new();
    char style[256];
    std::snprintf(style, sizeof style,
                  "entry { background: #%06X; border: none; box-shadow: none; padding: 0 2px; "
                  "min-height: 0; font-family: \"微软雅黑\", \"Noto Sans CJK SC\", "
                  "sans-serif; font-size: 12px; }",
                  Color & 0xFFFFFF);
    gtk_css_provider_load_from_data(css, style, -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(entry), GTK_STYLE_PROVIDER(css),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    g_signal_connect(entry, "button-release-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventButton* event, gpointer self) -> gboolean {
                         if (event->button == 1) static_cast<TEdit*>(self)->DoClick();
                         return FALSE;
                     }),
                     this);
    g_signal_connect(entry, "key-press-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEventKey* event, gpointer self) -> gboolean {
                         char key = 0;
                         if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter)
                             key = 13;
                         else if (event->keyval == GDK_KEY_Escape)
                             key = 27;
                         if (!key) return FALSE;
                         return static_cast<TEdit*>(self)->DoKeyPress(key);
                     }),
                     this);
    return entry;
}
