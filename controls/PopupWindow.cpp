#include "controls/PopupWindow.h"

#include <gtk/gtk.h>

#include "controls/GtkControlHost.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Window.h"

TGtkPopupWindow::TGtkPopupWindow(GtkWindow* mainWindow, int width, int height)
    : main_(mainWindow),
      window_(platform::ui::NewPopupWindow(width, height)),
      width_(width),
      height_(height),
      host_(std::make_unique<TGtkControlHost>()) {
    // Nothing in the pop-up types: it never takes the focus, not even when
    // clicked.
    gtk_window_set_accept_focus(window_, FALSE);
    gtk_widget_set_size_request(host_->Widget(), width, height);
    gtk_container_add(GTK_CONTAINER(window_), host_->Widget());
    host_->UseWindow(window_);
    if (main_) g_object_add_weak_pointer(G_OBJECT(main_), reinterpret_cast<gpointer*>(&main_));
    // Left to GTK a close request would destroy the window under this object.
    g_signal_connect(window_, "delete-event",
                     G_CALLBACK(+[](GtkWidget* widget, GdkEvent*, gpointer self) -> gboolean {
                         auto* popup = static_cast<TGtkPopupWindow*>(self);
                         if (popup->OnCloseQuery)
                             popup->OnCloseQuery();
                         else
                             gtk_widget_hide(widget);
                         return TRUE;
                     }),
                     this);
}

TGtkPopupWindow::~TGtkPopupWindow() {
    g_signal_handlers_disconnect_by_data(window_, this);
    if (main_) g_object_remove_weak_pointer(G_OBJECT(main_), reinterpret_cast<gpointer*>(&main_));
    // The host keeps its own reference on what it drew into.
    gtk_widget_destroy(GTK_WIDGET(window_));
    host_.reset();
}

TControlHost& TGtkPopupWindow::Host() {
    return *host_;
}

TRect TGtkPopupWindow::WorkArea() const {
    const platform::ui::Rect area = platform::ui::WorkArea(main_);
    return {area.left, area.top, area.right, area.bottom};
}

TPoint TGtkPopupWindow::Position() const {
    // After a drag by the user the window is where the window system put it.
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_));
    if (surface && gtk_widget_get_visible(GTK_WIDGET(window_))) {
        int x = 0, y = 0;
        gdk_window_get_root_origin(surface, &x, &y);
        return {x, y};
    }
    return position_;
}

void TGtkPopupWindow::Move(int left, int top) {
    position_ = {left, top};
    gtk_window_move(window_, left, top);
}

void TGtkPopupWindow::SetVisibleHeight(int height) {
    std::vector<platform::ui::Rect> shape;
    for (platform::ui::Rect r : platform::ui::RoundedShape(width_ + 1, height_ + 1, 3, 3)) {
        r.bottom = std::min(r.bottom, height);
        if (!r.Empty()) shape.push_back(r);
    }
    // An empty shape would mean "no shape at all": show one pixel at most.
    if (shape.empty()) shape.push_back({0, 0, 1, 1});
    platform::ui::SetWindowShape(GTK_WIDGET(window_), shape);
}

void TGtkPopupWindow::Show() {
    gtk_window_move(window_, position_.X, position_.Y);
    gtk_widget_show(GTK_WIDGET(window_));
    platform::ui::SetKeepAbove(window_, true);
}

void TGtkPopupWindow::Hide() {
    gtk_widget_hide(GTK_WIDGET(window_));
}

bool TGtkPopupWindow::Visible() const {
    return gtk_widget_get_visible(GTK_WIDGET(window_));
}

bool TGtkPopupWindow::PointerInside() const {
    GdkWindow* surface = gtk_widget_get_window(GTK_WIDGET(window_));
    if (!surface || !Visible()) return false;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(surface));
    int px = 0, py = 0, x = 0, y = 0;
    gdk_device_get_position(gdk_seat_get_pointer(seat), nullptr, &px, &py);
    gdk_window_get_origin(surface, &x, &y);
    return TRect::FromSize(x, y, width_, height_).Contains(px, py);
}
