#include "platform/ui/Window.h"

#include "platform/ui/TrayIcon.h"

#include <gtk/gtk.h>

namespace platform::ui {
namespace {

bool EdgeOf(HitArea area, GdkWindowEdge& edge) {
    switch (area) {
        case HitArea::Left:
            edge = GDK_WINDOW_EDGE_WEST;
            return true;
        case HitArea::Top:
            edge = GDK_WINDOW_EDGE_NORTH;
            return true;
        case HitArea::Right:
            edge = GDK_WINDOW_EDGE_EAST;
            return true;
        case HitArea::Bottom:
            edge = GDK_WINDOW_EDGE_SOUTH;
            return true;
        case HitArea::TopLeft:
            edge = GDK_WINDOW_EDGE_NORTH_WEST;
            return true;
        case HitArea::TopRight:
            edge = GDK_WINDOW_EDGE_NORTH_EAST;
            return true;
        case HitArea::BottomRight:
            edge = GDK_WINDOW_EDGE_SOUTH_EAST;
            return true;
        case HitArea::BottomLeft:
            edge = GDK_WINDOW_EDGE_SOUTH_WEST;
            return true;
        default:
            return false;
    }
}

const char* CursorName(HitArea area) {
    switch (area) {
        case HitArea::Left:
        case HitArea::Right:
            return "ew-resize";
        case HitArea::Top:
        case HitArea::Bottom:
            return "ns-resize";
        case HitArea::TopLeft:
        case HitArea::BottomRight:
            return "nwse-resize";
        case HitArea::TopRight:
        case HitArea::BottomLeft:
            return "nesw-resize";
        default:
            return nullptr;
    }
}

}  // namespace

struct BorderlessFrame::Signals {
    static void Pressed(GtkGestureMultiPress* gesture, int, double x, double y,
                        BorderlessFrame* self) {
        GdkWindowEdge edge;
        if (!EdgeOf(self->HitAt(static_cast<int>(x), static_cast<int>(y)), edge)) {
            // Not ours: the press goes on to the window's content.
            gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_DENIED);
            return;
        }
        const GdkEvent* event = gtk_gesture_get_last_event(
            GTK_GESTURE(gesture),
            gtk_gesture_single_get_current_sequence(GTK_GESTURE_SINGLE(gesture)));
        double rootX = 0;
        double rootY = 0;
        guint button = 1;
        if (event) {
            gdk_event_get_root_coords(event, &rootX, &rootY);
            gdk_event_get_button(event, &button);
        }
        gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
        gtk_window_begin_resize_drag(self->window_, edge, static_cast<int>(button),
                                     static_cast<int>(rootX), static_cast<int>(rootY),
                                     event ? gdk_event_get_time(event) : GDK_CURRENT_TIME);
        // The drag takes the pointer: this gesture never sees the release and
        // would ignore the next press without a reset.
        gtk_event_controller_reset(GTK_EVENT_CONTROLLER(gesture));
    }

    static void Motion(GtkEventControllerMotion*, double x, double y, BorderlessFrame* self) {
        GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(self->window_));
        if (!surface) return;
        const char* name = CursorName(self->HitAt(static_cast<int>(x), static_cast<int>(y)));
        if (!name && !self->edgeCursor_) return;  // leave the content's own cursor alone
        GdkCursor* cursor =
            name ? gdk_cursor_new_from_name(gdk_window_get_display(surface), name) : nullptr;
        gdk_window_set_cursor(surface, cursor);
        if (cursor) g_object_unref(cursor);
        self->edgeCursor_ = name != nullptr;
    }

    static void SizeAllocate(GtkWidget*, GdkRectangle* allocation, BorderlessFrame* self) {
        if (allocation->width == self->shapedWidth_ && allocation->height == self->shapedHeight_)
            return;
        self->ApplyShape(allocation->width, allocation->height);
        if (self->OnResize) self->OnResize(allocation->width, allocation->height);
    }
};

BorderlessFrame::BorderlessFrame(GtkWindow* window, int border) : window_(window), border_(border) {
    gtk_window_set_decorated(window_, FALSE);
    press_ = gtk_gesture_multi_press_new(GTK_WIDGET(window_));
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(press_), 0);
    // Capture phase: the edges win over whatever content lies under them.
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(press_), GTK_PHASE_CAPTURE);
    g_signal_connect(press_, "pressed", G_CALLBACK(Signals::Pressed), this);
    motion_ = gtk_event_controller_motion_new(GTK_WIDGET(window_));
    gtk_event_controller_set_propagation_phase(motion_, GTK_PHASE_CAPTURE);
    g_signal_connect(motion_, "motion", G_CALLBACK(Signals::Motion), this);
    g_signal_connect(window_, "size-allocate", G_CALLBACK(Signals::SizeAllocate), this);
}

BorderlessFrame::~BorderlessFrame() {
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(press_, this);
    g_signal_handlers_disconnect_by_data(motion_, this);
    g_object_unref(press_);
    g_object_unref(motion_);
}

void BorderlessFrame::SetMinSize(int width, int height) {
    GdkGeometry geometry{};
    geometry.min_width = width;
    geometry.min_height = height;
    gtk_window_set_geometry_hints(window_, nullptr, &geometry, GDK_HINT_MIN_SIZE);
}

void BorderlessFrame::SetShape(std::function<std::vector<Rect>(int, int)> shape) {
    shape_ = std::move(shape);
    GtkAllocation allocation;
    gtk_widget_get_allocation(GTK_WIDGET(window_), &allocation);
    if (gtk_widget_get_realized(GTK_WIDGET(window_)))
        ApplyShape(allocation.width, allocation.height);
    else
        shapedWidth_ = shapedHeight_ = -1;
}

void BorderlessFrame::ApplyShape(int width, int height) {
    shapedWidth_ = width;
    shapedHeight_ = height;
    SetWindowShape(GTK_WIDGET(window_), shape_ ? shape_(width, height) : std::vector<Rect>{});
}

HitArea BorderlessFrame::HitAt(int x, int y) const {
    if (border_ <= 0) return HitArea::Client;
    return HitTest(gtk_widget_get_allocated_width(GTK_WIDGET(window_)),
                   gtk_widget_get_allocated_height(GTK_WIDGET(window_)), border_, x, y);
}

void BeginMoveDrag(GtkWidget* widget) {
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    if (!GTK_IS_WINDOW(top)) return;
    GdkEvent* event = gtk_get_current_event();
    double rootX = 0;
    double rootY = 0;
    guint button = 1;
    guint32 time = GDK_CURRENT_TIME;
    if (event) {
        gdk_event_get_root_coords(event, &rootX, &rootY);
        gdk_event_get_button(event, &button);
        time = gdk_event_get_time(event);
        gdk_event_free(event);
    } else {
        GdkSeat* seat = gdk_display_get_default_seat(gtk_widget_get_display(top));
        int x = 0;
        int y = 0;
        gdk_device_get_position(gdk_seat_get_pointer(seat), nullptr, &x, &y);
        rootX = x;
        rootY = y;
    }
    gtk_window_begin_move_drag(GTK_WINDOW(top), static_cast<int>(button), static_cast<int>(rootX),
                               static_cast<int>(rootY), time);
}

void SetWindowShape(GtkWidget* window, const std::vector<Rect>& shape) {
    if (shape.empty()) {
        gtk_widget_shape_combine_region(window, nullptr);
        gtk_widget_input_shape_combine_region(window, nullptr);
        return;
    }
    cairo_region_t* region = cairo_region_create();
    for (const Rect& rect : shape) {
        const cairo_rectangle_int_t r{rect.left, rect.top, rect.Width(), rect.Height()};
        cairo_region_union_rectangle(region, &r);
    }
    gtk_widget_shape_combine_region(window, region);
    gtk_widget_input_shape_combine_region(window, region);
    cairo_region_destroy(region);
}

Rect WorkArea(GtkWindow* window) {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = nullptr;
    if (window && gtk_widget_get_window(GTK_WIDGET(window)))
        monitor =
            gdk_display_get_monitor_at_window(display, gtk_widget_get_window(GTK_WIDGET(window)));
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return {};
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return {area.x, area.y, area.x + area.width, area.y + area.height};
}

Rect DesktopRect() {
    GdkDisplay* display = gdk_display_get_default();
    Rect all;
    bool first = true;
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkRectangle g;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &g);
        const Rect r{g.x, g.y, g.x + g.width, g.y + g.height};
        if (first) {
            all = r;
            first = false;
            continue;
        }
        all = {std::min(all.left, r.left), std::min(all.top, r.top), std::max(all.right, r.right),
               std::max(all.bottom, r.bottom)};
    }
    return all;
}

Rect WindowRect(GtkWindow* window) {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    gtk_window_get_position(window, &x, &y);
    gtk_window_get_size(window, &width, &height);
    return {x, y, x + width, y + height};
}

void SetWindowRect(GtkWindow* window, const Rect& rect) {
    gtk_window_move(window, rect.left, rect.top);
    gtk_window_resize(window, std::max(1, rect.Width()), std::max(1, rect.Height()));
}

void Minimise(GtkWindow* window) {
    gtk_window_iconify(window);
}

bool IsMinimised(GtkWindow* window) {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window));
    return surface && (gdk_window_get_state(surface) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

HideResult HideToTray(GtkWindow* window) {
    const TrayIcon* tray = TrayIcon::Current();
    if (tray && tray->Shown()) {
        gtk_window_set_skip_taskbar_hint(window, TRUE);
        gtk_widget_hide(GTK_WIDGET(window));
        return HideResult::Hidden;
    }
    Minimise(window);
    return HideResult::Minimised;
}

void ShowFromTray(GtkWindow* window) {
    gtk_window_set_skip_taskbar_hint(window, FALSE);
    gtk_widget_show(GTK_WIDGET(window));
    gtk_window_deiconify(window);
    gtk_window_present(window);
}

void SetKeepAbove(GtkWindow* window, bool above) {
    gtk_window_set_keep_above(window, above);
}

GtkWindow* NewPopupWindow(int width, int height) {
    GtkWindow* window = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_default_size(window, width, height);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_focus_on_map(window, FALSE);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_NOTIFICATION);
    gtk_window_set_keep_above(window, TRUE);
    return window;
}

}  // namespace platform::ui
