#pragma once

#include <functional>
#include <vector>

#include "controls/Canvas.h"
#include "controls/Geometry.h"
#include "platform/Charset.h"

class TControl;
class TControlHost;
class TNativeChild;
class TTimer;

enum class TMouseButton { Left, Right, Middle };

// Modifier keys and buttons held during an event.
using TShiftState = unsigned;
namespace ss {
inline constexpr TShiftState Shift = 0x01;
inline constexpr TShiftState Ctrl = 0x02;
inline constexpr TShiftState Alt = 0x04;
inline constexpr TShiftState Left = 0x08;
inline constexpr TShiftState Right = 0x10;
inline constexpr TShiftState Middle = 0x20;
}  // namespace ss

enum class TCursor { Default, HandPoint };

// Keys that type nothing, by the virtual-key numbers of the design.
namespace vk {
inline constexpr unsigned Prior = 0x21;  // Page Up
inline constexpr unsigned Next = 0x22;   // Page Down
inline constexpr unsigned End = 0x23;
inline constexpr unsigned Home = 0x24;
inline constexpr unsigned Left = 0x25;
inline constexpr unsigned Up = 0x26;
inline constexpr unsigned Right = 0x27;
inline constexpr unsigned Down = 0x28;
}  // namespace vk

using TNotifyEvent = std::function<void(TControl* Sender)>;

// A custom-drawn control: a plain object with bounds in its host's
// coordinates, visibility, an enabled state, a font and a caption. It paints
// itself into a canvas in its own client coordinates and takes mouse and key
// input from the host it sits on (see ControlHost.h). Controls do not own one
// another; the form that creates them owns them, and a control leaves its
// host when it is destroyed.
class TControl {
  public:
    TControl();
    virtual ~TControl();
    TControl(const TControl&) = delete;
    TControl& operator=(const TControl&) = delete;

    int Left() const { return bounds_.Left; }
    int Top() const { return bounds_.Top; }
    int Width() const { return bounds_.Width(); }
    int Height() const { return bounds_.Height(); }
    void SetBounds(int left, int top, int width, int height);
    void SetLeft(int left) { SetBounds(left, Top(), Width(), Height()); }
    void SetTop(int top) { SetBounds(Left(), top, Width(), Height()); }
    void SetWidth(int width) { SetBounds(Left(), Top(), width, Height()); }
    void SetHeight(int height) { SetBounds(Left(), Top(), Width(), height); }
    TRect BoundsRect() const { return bounds_; }
    TRect ClientRect() const { return {0, 0, Width(), Height()}; }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    const AnsiString& Caption() const { return caption_; }
    void SetCaption(const AnsiString& caption);

    // The control's font; whoever changes it calls Invalidate.
    TFont Font;
    // The cursor shown while the pointer is over the control, unless a
    // control has set the host's screen cursor.
    TCursor Cursor = TCursor::Default;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnResize;

    TControlHost* Host() const { return host_; }
    // Asks for a repaint of the whole control.
    void Invalidate();
    void Repaint() { Invalidate(); }
    // The pointer's last known position in client coordinates.
    TPoint CursorPos() const;
    // The cursor of the whole host while it is not the default (the "screen
    // cursor" the controls switch to the hand over their links).
    void SetScreenCursor(TCursor cursor);
    bool Focused() const;
    void SetFocus();

    // Real widgets the control puts over itself (edit fields, combo boxes).
    virtual std::vector<TNativeChild*> NativeChildren() { return {}; }

    // Drawing and input, called by the host. Coordinates are client
    // coordinates; a captured control also gets points outside itself.
    virtual void Paint(TCanvas& canvas) {}
    virtual void MouseEnter() {}
    virtual void MouseLeave() {}
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y) {}
    virtual void MouseMove(TShiftState shift, int x, int y) {}
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y) {}
    // A left press and release over the control.
    virtual void Click() {
        if (OnClick) OnClick(this);
    }
    virtual void DblClick() {
        if (OnDblClick) OnDblClick(this);
    }
    // delta: +120 per notch turned away from the user, -120 toward.
    virtual bool MouseWheel(TShiftState shift, int delta, int x, int y) { return false; }
    // A pressed key that types nothing (a vk number), before any
    // character; true when the control used it.
    virtual bool KeyDown(unsigned key, TShiftState shift) { return false; }
    // A typed character (13 for Enter); true when the control used it.
    virtual bool KeyPress(char& key) { return false; }
    virtual bool CanFocus() const { return false; }

  protected:
    // The caption changed; by default nothing is repainted.
    virtual void TextChanged() {}
    virtual void Resize() {
        if (OnResize) OnResize(this);
    }

  private:
    friend class TControlHost;
    friend class TTimer;
    void AttachTo(TControlHost* host);

    TControlHost* host_ = nullptr;
    TRect bounds_;
    bool visible_ = true;
    bool enabled_ = true;
    AnsiString caption_;
    std::vector<TTimer*> timers_;
};
