#include "platform/ui/TrayIcon.h"

#include <gdk/gdkx.h>
#include <gio/gio.h>
#include <gtk/gtk.h>
#ifdef QUIRA_HAVE_APPINDICATOR
#include <libayatana-appindicator/app-indicator.h>
#endif

#include <filesystem>

// GtkStatusIcon is deprecated, yet it is the one way to reach an X11 tray.
G_GNUC_BEGIN_IGNORE_DEPRECATIONS

namespace platform::ui {
namespace {

TrayIcon* current = nullptr;

}  // namespace

struct TrayIcon::Signals {
    static void Activate(GtkStatusIcon*, TrayIcon* self) {
        if (self->OnActivate) self->OnActivate();
    }
    static void Popup(GtkStatusIcon*, guint, guint, TrayIcon* self) { self->PopupMenu(); }
    static void ItemActivated(GtkMenuItem* item, TrayIcon* self) {
        const auto index = static_cast<std::size_t>(
            GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "quira-index")));
        if (index < self->items_.size() && self->items_[index].onClick) {
            // Copied: a click may end the program and this icon with it.
            const auto click = self->items_[index].onClick;
            click();
        }
    }
#ifdef QUIRA_HAVE_APPINDICATOR
    static void Connection(AppIndicator*, gboolean connected, TrayIcon* self) {
        self->indicatorConnected_ = connected;
    }
#endif
};

TrayIcon::TrayIcon(const std::string& iconFile, std::vector<Item> menu) : items_(std::move(menu)) {
    menu_ = gtk_menu_new();
    g_object_ref_sink(menu_);
    for (std::size_t i = 0; i < items_.size(); ++i) {
        GtkWidget* item = items_[i].caption == "-"
                              ? gtk_separator_menu_item_new()
                              : gtk_menu_item_new_with_label(AnsiToUtf8(items_[i].caption).c_str());
        g_object_set_data(G_OBJECT(item), "quira-index", GINT_TO_POINTER(static_cast<int>(i)));
        g_signal_connect(item, "activate", G_CALLBACK(Signals::ItemActivated), this);
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_), item);
    }
    gtk_widget_show_all(menu_);

#ifdef QUIRA_HAVE_APPINDICATOR
    if (!SystemTrayPresent() && IndicatorHostPresent()) {
        const std::filesystem::path path(iconFile);
        AppIndicator* indicator = app_indicator_new("quira", path.stem().c_str(),
                                                    APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
        app_indicator_set_icon_theme_path(indicator, path.parent_path().c_str());
        app_indicator_set_menu(indicator, GTK_MENU(menu_));
        // The indicator has no left click: the first entry stands for it.
        GList* children = gtk_container_get_children(GTK_CONTAINER(menu_));
        if (children)
            app_indicator_set_secondary_activate_target(indicator, GTK_WIDGET(children->data));
        g_list_free(children);
        g_signal_connect(indicator, "connection-changed", G_CALLBACK(Signals::Connection), this);
        app_indicator_set_status(indicator, APP_INDICATOR_STATUS_ACTIVE);
        indicatorConnected_ = true;
        indicator_ = indicator;
    }
#endif
    if (!indicator_) {
        GtkStatusIcon* icon = gtk_status_icon_new_from_file(iconFile.c_str());
        g_signal_connect(icon, "activate", G_CALLBACK(Signals::Activate), this);
        g_signal_connect(icon, "popup-menu", G_CALLBACK(Signals::Popup), this);
        gtk_status_icon_set_visible(icon, TRUE);
        statusIcon_ = icon;
    }
    current = this;
}

TrayIcon::~TrayIcon() {
    if (current == this) current = nullptr;
    if (statusIcon_) {
        g_signal_handlers_disconnect_by_data(statusIcon_, this);
        gtk_status_icon_set_visible(GTK_STATUS_ICON(statusIcon_), FALSE);
        g_object_unref(statusIcon_);
    }
#ifdef QUIRA_HAVE_APPINDICATOR
    if (indicator_) {
        g_signal_handlers_disconnect_by_data(indicator_, this);
        app_indicator_set_status(APP_INDICATOR(indicator_), APP_INDICATOR_STATUS_PASSIVE);
        g_object_unref(indicator_);
    }
#endif
    gtk_widget_destroy(menu_);
    g_object_unref(menu_);
}

bool TrayIcon::Shown() const {
    if (statusIcon_) return gtk_status_icon_is_embedded(GTK_STATUS_ICON(statusIcon_));
    return indicator_ && indicatorConnected_;
}

void TrayIcon::PopupMenu() {
    gtk_menu_popup_at_pointer(GTK_MENU(menu_), nullptr);
}

const TrayIcon* TrayIcon::Current() {
    return current;
}

bool SystemTrayPresent() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display || !GDK_IS_X11_DISPLAY(display)) return false;
    Display* x = GDK_DISPLAY_XDISPLAY(display);
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(x));
    const Atom selection = XInternAtom(x, name.c_str(), False);
    return XGetSelectionOwner(x, selection) != None;
}

bool IndicatorHostPresent() {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", "org.kde.StatusNotifierWatcher"),
        G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 500, nullptr, nullptr);
    gboolean owned = FALSE;
    if (reply) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    g_object_unref(bus);
    return owned;
}

}  // namespace platform::ui

G_GNUC_END_IGNORE_DEPRECATIONS
