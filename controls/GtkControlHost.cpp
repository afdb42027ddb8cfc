#include "controls/GtkControlHost.h"

#include "controls/NativeChild.h"
#include "platform/ui/TrayIcon.h"
#include "platform/ui/Window.h"

namespace {

TShiftState ShiftOf(guint state) {
    TShiftState shift = 0;
    if (state & GDK_SHIFT_MASK) shift |= ss::Shift;
    if (state & GDK_CONTROL_MASK) shift |= ss::Ctrl;
    if (state & GDK_MOD1_MASK) shift |= ss::Alt;
    if (state & GDK_BUTTON1_MASK) shift |= ss::Left;
    if (state & GDK_BUTTON3_MASK) shift |= ss::Right;
    if (state & GDK_BUTTON2_MASK) shift |= ss::Middle;
    return shift;
}

bool ButtonOf(guint button, TMouseButton& out) {
    switch (button) {
        case 1:
            out = TMouseButton::Left;
            return true;
        case 2:
            out = TMouseButton::Middle;
            return true;
        case 3:
            out = TMouseButton::Right;
            return true;
        default:
            return false;
    }
}

// The vk number of a key that types nothing, or 0.
unsigned VirtualKeyOf(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Page_Up:
        case GDK_KEY_KP_Page_Up:
            return vk::Prior;
        case GDK_KEY_Page_Down:
        case GDK_KEY_KP_Page_Down:
            return vk::Next;
        case GDK_KEY_End:
        case GDK_KEY_KP_End:
            return vk::End;
        case GDK_KEY_Home:
        case GDK_KEY_KP_Home:
            return vk::Home;
        case GDK_KEY_Left:
        case GDK_KEY_KP_Left:
            return vk::Left;
        case GDK_KEY_Up:
        case GDK_KEY_KP_Up:
            return vk::Up;
        case GDK_KEY_Right:
        case GDK_KEY_KP_Right:
            return vk::Right;
        case GDK_KEY_Down:
        case GDK_KEY_KP_Down:
            return vk::Down;
        default:
            return 0;
    }
}

}  // namespace

// --- TGtkFormWindow ----------------------------------------------------------

GdkMonitor* TGtkFormWindow::Monitor() const {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_));
    GdkMonitor* monitor =
        gdkWindow ? gdk_display_get_monitor_at_window(display, gdkWindow) : nullptr;
    if (!monitor) monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    return monitor;
}

TRect TGtkFormWindow::WorkArea() const {
    GdkMonitor* monitor = Monitor();
    if (!monitor) return {};
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return {0, 0, area.width, area.height};
}

TRect TGtkFormWindow::NormalRect() const {
    GdkRectangle area{0, 0, 0, 0};
    if (GdkMonitor* monitor = Monitor()) gdk_monitor_get_workarea(monitor, &area);
    int x = 0, y = 0, w = 0, h = 0;
    gtk_window_get_position(window_, &x, &y);
    gtk_window_get_size(window_, &w, &h);
    return TRect::FromSize(x - area.x, y - area.y, w, h);
}

void TGtkFormWindow::SetNormalRect(const TRect& rect) {
    if (rect.IsEmpty()) return;
    GdkRectangle area{0, 0, 0, 0};
    if (GdkMonitor* monitor = Monitor()) gdk_monitor_get_workarea(monitor, &area);
    const TRect placed = KeepOnWorkArea(rect, {0, 0, area.width, area.height});
    gtk_window_unmaximize(window_);
    gtk_window_move(window_, placed.Left + area.x, placed.Top + area.y);
    gtk_window_resize(window_, placed.Width(), placed.Height());
}

TPoint TGtkFormWindow::DesktopSize() const {
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window_));
    GdkRectangle all{0, 0, 0, 0};
    for (int i = 0; i < gdk_display_get_n_monitors(display); ++i) {
        GdkRectangle g;
        gdk_monitor_get_geometry(gdk_display_get_monitor(display, i), &g);
        gdk_rectangle_union(&all, &g, &all);
    }
    return {all.width, all.height};
}

TPoint TGtkFormWindow::ScreenSize() const {
    GdkMonitor* monitor = Monitor();
    if (!monitor) return {};
    GdkRectangle g;
    gdk_monitor_get_geometry(monitor, &g);
    return {g.width, g.height};
}

TPoint TGtkFormWindow::Size() const {
    int w = 0, h = 0;
    gtk_window_get_size(window_, &w, &h);
    return {w, h};
}

void TGtkFormWindow::Minimize() {
    gtk_window_iconify(window_);
}

void TGtkFormWindow::HideToTray() {
    // The window layer knows whether a tray shows our icon; without one it
    // minimises, so the window keeps its task-bar entry and is never lost.
    platform::ui::HideToTray(window_);
}

bool TGtkFormWindow::TrayShown() const {
    const platform::ui::TrayIcon* tray = platform::ui::TrayIcon::Current();
    return tray && tray->Shown();
}

void TGtkFormWindow::Close() {
    gtk_window_close(window_);
}

void TGtkFormWindow::BeginMoveDrag() {
    GdkEvent* event = gtk_get_current_event();
    if (!event) return;
    guint button = 0;
    double x = 0, y = 0;
    if (gdk_event_get_button(event, &button) && gdk_event_get_root_coords(event, &x, &y))
        gtk_window_begin_move_drag(window_, static_cast<int>(button), static_cast<int>(x),
                                   static_cast<int>(y), gdk_event_get_time(event));
    gdk_event_free(event);
}

// --- TGtkControlHost ----------------------------------------------------------

TGtkControlHost::TGtkControlHost()
    : overlay_(GTK_WIDGET(g_object_ref_sink(gtk_overlay_new()))), area_(gtk_drawing_area_new()) {
    gtk_container_add(GTK_CONTAINER(overlay_), area_);
    // Our own reference: a window destroyed before the host destroys the
    // area with it, and the host still disconnects from it when it goes.
    g_object_ref(area_);
    gtk_widget_set_can_focus(area_, TRUE);
    gtk_widget_add_events(area_, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                     GDK_BUTTON_RELEASE_MASK | GDK_LEAVE_NOTIFY_MASK |
                                     GDK_ENTER_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK);
    g_signal_connect(area_, "draw", G_CALLBACK(OnDraw), this);
    g_signal_connect(area_, "motion-notify-event", G_CALLBACK(OnMotion), this);
    g_signal_connect(area_, "button-press-event", G_CALLBACK(OnButtonPress), this);
    g_signal_connect(area_, "button-release-event", G_CALLBACK(OnButtonRelease), this);
    g_signal_connect(area_, "leave-notify-event", G_CALLBACK(OnLeave), this);
    g_signal_connect(area_, "scroll-event", G_CALLBACK(OnScroll), this);
    g_signal_connect(area_, "key-press-event", G_CALLBACK(OnKeyPress), this);
    gtk_widget_show_all(overlay_);
}

TGtkControlHost::~TGtkControlHost() {
    DetachAll();
    g_signal_handlers_disconnect_by_data(area_, this);
    SetForm(nullptr);
    gtk_widget_destroy(overlay_);
    g_object_unref(overlay_);
    g_object_unref(area_);
}

void TGtkControlHost::UseWindow(GtkWindow* window) {
    window_ = std::make_unique<TGtkFormWindow>(window);
    SetForm(window_.get());
}

void TGtkControlHost::InvalidateRect(const TRect& rect) {
    if (rect.IsEmpty()) return;
    gtk_widget_queue_draw_area(area_, rect.Left, rect.Top, rect.Width(), rect.Height());
}

void TGtkControlHost::CursorChanged(TCursor cursor) {
    GdkWindow* window = gtk_widget_get_window(area_);
    if (!window) return;
    GdkCursor* shape = cursor == TCursor::HandPoint
                           ? gdk_cursor_new_from_name(gtk_widget_get_display(area_), "pointer")
                           : nullptr;
    gdk_window_set_cursor(window, shape);
    if (shape) g_object_unref(shape);
}

void TGtkControlHost::ControlAdded(TControl& control) {
    for (TNativeChild* child : control.NativeChildren()) {
        GtkWidget* widget = child->Realize();
        gtk_overlay_add_overlay(GTK_OVERLAY(overlay_), widget);
        child->UpdatePlacement();
    }
}

void TGtkControlHost::ControlRemoved(TControl& control) {
    for (TNativeChild* child : control.NativeChildren()) {
        GtkWidget* widget = child->Widget();
        if (!widget) continue;
        child->Unrealize();
        gtk_widget_destroy(widget);
    }
}

void TGtkControlHost::ControlMoved(TControl& control) {
    for (TNativeChild* child : control.NativeChildren()) child->UpdatePlacement();
}

gboolean TGtkControlHost::OnDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    auto* host = static_cast<TGtkControlHost*>(self);
    double x1, y1, x2, y2;
    cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
    SetSourceColor(cr, host->Background);
    cairo_paint(cr);
    host->PaintControls(cr, {int(x1), int(y1), int(x2 + 1), int(y2 + 1)});
    return TRUE;
}

gboolean TGtkControlHost::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
    static_cast<TGtkControlHost*>(self)->PointerMove(int(event->x), int(event->y),
                                                     ShiftOf(event->state));
    gdk_event_request_motions(event);
    return TRUE;
}

gboolean TGtkControlHost::OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* host = static_cast<TGtkControlHost*>(self);
    TMouseButton button;
    if (!ButtonOf(event->button, button)) return FALSE;
    if (!gtk_widget_has_focus(widget)) gtk_widget_grab_focus(widget);
    if (event->type == GDK_BUTTON_PRESS)
        host->PointerPress(button, int(event->x), int(event->y), ShiftOf(event->state));
    else if (event->type == GDK_2BUTTON_PRESS)
        host->PointerDoublePress(button, int(event->x), int(event->y), ShiftOf(event->state));
    return TRUE;
}

gboolean TGtkControlHost::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
    TMouseButton button;
    if (!ButtonOf(event->button, button)) return FALSE;
    static_cast<TGtkControlHost*>(self)->PointerRelease(button, int(event->x), int(event->y),
                                                        ShiftOf(event->state));
    return TRUE;
}

gboolean TGtkControlHost::OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer self) {
    // Crossing into one of our own real widgets is still a leave of the area.
    static_cast<TGtkControlHost*>(self)->PointerLeave();
    return FALSE;
}

gboolean TGtkControlHost::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer self) {
    int delta = 0;
    if (event->direction == GDK_SCROLL_UP) delta = 120;
    if (event->direction == GDK_SCROLL_DOWN) delta = -120;
    if (!delta) return FALSE;
    return static_cast<TGtkControlHost*>(self)->PointerWheel(delta, int(event->x), int(event->y),
                                                             ShiftOf(event->state));
}

gboolean TGtkControlHost::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* host = static_cast<TGtkControlHost*>(self);
    if (const unsigned vkey = VirtualKeyOf(event->keyval);
        vkey != 0 && host->KeyDown(vkey, ShiftOf(event->state)))
        return TRUE;
    char key = 0;
    if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) {
        key = 13;
    } else {
        const guint32 ch = gdk_keyval_to_unicode(event->keyval);
        if (ch >= 0x20 && ch < 0x7F) key = static_cast<char>(ch);
    }
    if (!key) return FALSE;
    return host->KeyPress(key);
}
