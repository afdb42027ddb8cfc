#include "platform/ui/Cursor.h"

#include <gtk/gtk.h>

namespace platform::ui {
namespace {

CursorKind screenCursor = CursorKind::Default;

const char* NameOf(CursorKind kind) {
    switch (kind) {
        case CursorKind::Hand:
            return "pointer";
        case CursorKind::Wait:
            return "wait";
        case CursorKind::IBeam:
            return "text";
        case CursorKind::SizeAll:
            return "move";
        case CursorKind::SizeWE:
            return "ew-resize";
        case CursorKind::SizeNS:
            return "ns-resize";
        default:
            return nullptr;
    }
}

void Apply(GdkWindow* window, CursorKind kind) {
    if (!window) return;
    const char* name = NameOf(kind);
    GdkCursor* cursor =
        name ? gdk_cursor_new_from_name(gdk_window_get_display(window), name) : nullptr;
    gdk_window_set_cursor(window, cursor);
    if (cursor) g_object_unref(cursor);
}

}  // namespace

void SetCursor(GtkWidget* widget, CursorKind kind) {
    Apply(gtk_widget_get_window(widget), kind);
}

void SetScreenCursor(CursorKind kind) {
    screenCursor = kind;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next)
        Apply(gtk_widget_get_window(GTK_WIDGET(item->data)), kind);
    g_list_free(windows);
}

CursorKind ScreenCursor() {
    return screenCursor;
}

}  // namespace platform::ui
