#pragma once

#include <cairo.h>

#include <vector>

#include "controls/Control.h"
#include "controls/FormWindow.h"
#include "controls/Timer.h"

// What a surface full of custom-drawn controls does, whatever shows it: it
// keeps the controls in paint order (later ones on top), paints them, and
// routes pointer and key input to them:
//
// - enter and leave follow the topmost visible, enabled control under the
//   pointer;
// - a press captures the control under the pointer: it gets the moves and the
//   release wherever they happen, and the enter/leave tracking waits until
//   the release;
// - a left release inside the captured control is a click; the second press
//   of a double click raises DblClick and its release is no click;
// - the wheel goes to the control under the pointer, else the focused one;
// - keys go to the focused control (a press focuses controls that can take
//   the focus): first as a key, then, when it types one, as a character.
//
// The GTK host (GtkControlHost.h) shows the controls in a drawing area; the
// headless host (HeadlessHost.h) renders them into an image and takes
// synthetic input.
class TControlHost {
  public:
    TControlHost();
    virtual ~TControlHost();
    TControlHost(const TControlHost&) = delete;
    TControlHost& operator=(const TControlHost&) = delete;

    // Puts the control on top of the others (it leaves any other host).
    void Add(TControl& control);
    void Remove(TControl& control);
    const std::vector<TControl*>& Controls() const { return controls_; }
    bool Holds(const TControl* control) const;
    // The topmost visible, enabled control at the point, or null.
    TControl* ControlAt(int x, int y) const;

    // Paints every visible control meeting the area, each translated to its
    // own origin and clipped to its bounds.
    void PaintControls(cairo_t* cr, const TRect& area);

    // Input, in host coordinates.
    void PointerMove(int x, int y, TShiftState shift = 0);
    void PointerPress(TMouseButton button, int x, int y, TShiftState shift = 0);
    void PointerDoublePress(TMouseButton button, int x, int y, TShiftState shift = 0);
    void PointerRelease(TMouseButton button, int x, int y, TShiftState shift = 0);
    // The pointer left the host's surface.
    void PointerLeave();
    bool PointerWheel(int delta, int x, int y, TShiftState shift = 0);
    bool KeyDown(unsigned key, TShiftState shift = 0);
    bool KeyPress(char key);

    TPoint PointerPos() const { return pointer_; }
    TControl* Hovered() const { return hovered_; }
    TControl* Captured() const { return captured_; }
    TControl* Focused() const { return focused_; }
    void SetFocus(TControl* control);
    // Ends a capture without a release (a window drag takes the pointer over).
    void ReleaseCapture();

    TCursor ScreenCursor() const { return screen_cursor_; }
    void SetScreenCursor(TCursor cursor);
    // The cursor to show now: the screen cursor unless it is the default,
    // else the cursor of the control under the pointer.
    TCursor EffectiveCursor() const;

    TFormWindow* Form() const { return form_; }
    void SetForm(TFormWindow* form) { form_ = form; }

    // Services for the controls.
    virtual void InvalidateRect(const TRect& rect) = 0;
    virtual TTimerScheduler& Timers() = 0;

  protected:
    // Hooks for hosts that show real widgets or a real cursor.
    virtual void CursorChanged(TCursor cursor) {}
    virtual void ControlAdded(TControl& control) {}
    virtual void ControlRemoved(TControl& control) {}
    virtual void ControlMoved(TControl& control) {}
    // Detaches every control; hosts call it first in their destructors, so
    // that the hooks still reach the derived host.
    void DetachAll();

  private:
    friend class TControl;
    void BoundsChanged(TControl& control);
    void VisibilityChanged(TControl& control);
    // Enter and leave for the control now under the point.
    void TrackHover(int x, int y);
    void UpdateCursor();

    std::vector<TControl*> controls_;
    TControl* hovered_ = nullptr;
    TControl* captured_ = nullptr;
    TControl* focused_ = nullptr;
    TMouseButton capture_button_ = TMouseButton::Left;
    bool click_pending_ = false;
    TPoint pointer_{-1, -1};
    TCursor screen_cursor_ = TCursor::Default;
    TCursor shown_cursor_ = TCursor::Default;
    TFormWindow* form_ = nullptr;
};
