#pragma once

#include "platform/Charset.h"

#include <functional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;

namespace platform::ui {

// The program's icon in the notification area with its menu: a status icon
// where an X11 tray exists, an indicator where the desktop has an indicator
// host instead. One per program; HideToTray asks it whether it is shown.
class TrayIcon {
  public:
    struct Item {
        AnsiString caption;  // "-" is a separator
        std::function<void()> onClick;
    };
    // iconFile: a PNG of the application icon (UTF-8 path).
    TrayIcon(const std::string& iconFile, std::vector<Item> menu);
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    // A left click or double click on the icon (the indicator's middle click).
    std::function<void()> OnActivate;

    // True while the desktop shows the icon.
    bool Shown() const;
    // The menu, for tests and for showing it at the pointer.
    GtkWidget* Menu() const { return menu_; }
    void PopupMenu();

    // The tray icon of this program, or null.
    static const TrayIcon* Current();

  private:
    struct Signals;
    GtkWidget* menu_ = nullptr;
    void* statusIcon_ = nullptr;
    void* indicator_ = nullptr;
    bool indicatorConnected_ = false;
    std::vector<Item> items_;
};

// Whether an X11 notification area or an indicator host is there now.
bool SystemTrayPresent();
bool IndicatorHostPresent();

}  // namespace platform::ui
