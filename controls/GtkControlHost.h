#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "controls/ControlHost.h"

// The window placement calls on a GtkWindow. Workspace coordinates are root
// coordinates less the top-left corner of the work area of the window's
// monitor.
class TGtkFormWindow : public TFormWindow {
  public:
    explicit TGtkFormWindow(GtkWindow* window) : window_(window) {}

    TRect NormalRect() const override;
    void SetNormalRect(const TRect& rect) override;
    TRect WorkArea() const override;
    TPoint DesktopSize() const override;
    TPoint ScreenSize() const override;
    TPoint Size() const override;
    void Minimize() override;
    void HideToTray() override;
    bool TrayShown() const override;
    void Close() override;
    void BeginMoveDrag() override;

  private:
    GdkMonitor* Monitor() const;
    GtkWindow* window_;
};

// Shows custom-drawn controls in one GtkDrawingArea (inside a GtkOverlay that
// also carries the controls' real widgets) and feeds it GTK's pointer, wheel
// and key events. Timers run on the GLib main loop; the hand cursor is set on
// the drawing area's window.
class TGtkControlHost : public TControlHost {
  public:
    TGtkControlHost();
    ~TGtkControlHost() override;

    // The widget to put into a window (an overlay holding the drawing area).
    GtkWidget* Widget() const { return overlay_; }
    GtkWidget* DrawingArea() const { return area_; }
    TColor Background = clWhite;

    // Makes the strip controls act on that window.
    void UseWindow(GtkWindow* window);

    void InvalidateRect(const TRect& rect) override;
    TTimerScheduler& Timers() override { return TTimerScheduler::MainLoop(); }

  protected:
    void CursorChanged(TCursor cursor) override;
    void ControlAdded(TControl& control) override;
    void ControlRemoved(TControl& control) override;
    void ControlMoved(TControl& control) override;

  private:
    static gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer self);
    static gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self);
    static gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean OnLeave(GtkWidget*, GdkEventCrossing* event, gpointer self);
    static gboolean OnScroll(GtkWidget*, GdkEventScroll* event, gpointer self);
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);

    GtkWidget* overlay_;
    GtkWidget* area_;
    std::unique_ptr<TGtkFormWindow> window_;
};
