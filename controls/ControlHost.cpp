#include "controls/ControlHost.h"

#include <algorithm>

TControlHost::TControlHost() = default;

TControlHost::~TControlHost() {
    DetachAll();
}

void TControlHost::DetachAll() {
    while (!controls_.empty()) Remove(*controls_.back());
}

bool TControlHost::Holds(const TControl* control) const {
    return std::find(controls_.begin(), controls_.end(), control) != controls_.end();
}

void TControlHost::Add(TControl& control) {
    if (control.Host() == this) {
        // Already here: only bring it to the top.
        std::erase(controls_, &control);
        controls_.push_back(&control);
        InvalidateRect(control.BoundsRect());
        return;
    }
    if (control.Host()) control.Host()->Remove(control);
    controls_.push_back(&control);
    control.AttachTo(this);
    ControlAdded(control);
    control.Invalidate();
}

void TControlHost::Remove(TControl& control) {
    if (!Holds(&control)) return;
    if (control.Visible()) InvalidateRect(control.BoundsRect());
    ControlRemoved(control);
    std::erase(controls_, &control);
    if (hovered_ == &control) hovered_ = nullptr;
    if (captured_ == &control) captured_ = nullptr;
    if (focused_ == &control) focused_ = nullptr;
    control.AttachTo(nullptr);
    UpdateCursor();
}

TControl* TControlHost::ControlAt(int x, int y) const {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (c->Visible() && c->Enabled() && c->BoundsRect().Contains(x, y)) return c;
    }
    return nullptr;
}

void TControlHost::PaintControls(cairo_t* cr, const TRect& area) {
    for (TControl* c : controls_) {
        const TRect bounds = c->BoundsRect();
        if (!c->Visible() || bounds.Intersect(area).IsEmpty()) continue;
        cairo_save(cr);
        cairo_translate(cr, bounds.Left, bounds.Top);
        cairo_rectangle(cr, 0, 0, bounds.Width(), bounds.Height());
        cairo_clip(cr);
        TCanvas canvas(cr);
        canvas.Font = c->Font;
        c->Paint(canvas);
        cairo_restore(cr);
    }
}

void TControlHost::TrackHover(int x, int y) {
    TControl* target = ControlAt(x, y);
    if (target == hovered_) return;
    TControl* old = hovered_;
    hovered_ = target;
    // A handler may remove controls; only still attached ones get events.
    if (old && Holds(old)) old->MouseLeave();
    if (hovered_ && Holds(hovered_)) hovered_->MouseEnter();
}

void TControlHost::PointerMove(int x, int y, TShiftState shift) {
    pointer_ = {x, y};
    if (captured_) {
        captured_->MouseMove(shift, x - captured_->Left(), y - captured_->Top());
    } else {
        TrackHover(x, y);
        if (hovered_) hovered_->MouseMove(shift, x - hovered_->Left(), y - hovered_->Top());
    }
    UpdateCursor();
}

void TControlHost::PointerPress(TMouseButton button, int x, int y, TShiftState shift) {
    pointer_ = {x, y};
    if (captured_) {
        // Another button while one is held: the captured control gets it.
        captured_->MouseDown(button, shift, x - captured_->Left(), y - captured_->Top());
        return;
    }
    TrackHover(x, y);
    TControl* target = hovered_;
    if (!target) {
        SetFocus(nullptr);
        UpdateCursor();
        return;
    }
    captured_ = target;
    capture_button_ = button;
    click_pending_ = button == TMouseButton::Left;
    if (target->CanFocus()) SetFocus(target);
    target->MouseDown(button, shift, x - target->Left(), y - target->Top());
    UpdateCursor();
}

void TControlHost::PointerDoublePress(TMouseButton button, int x, int y, TShiftState shift) {
    pointer_ = {x, y};
    TControl* target = captured_ ? captured_ : ControlAt(x, y);
    if (!target) return;
    // The release that ends a double click is no second click.
    click_pending_ = false;
    if (button == TMouseButton::Left) target->DblClick();
}

void TControlHost::PointerRelease(TMouseButton button, int x, int y, TShiftState shift) {
    pointer_ = {x, y};
    TControl* target = captured_;
    if (target && button == capture_button_) {
        captured_ = nullptr;
        const bool click = click_pending_ && target->BoundsRect().Contains(x, y);
        click_pending_ = false;
        target->MouseUp(button, shift, x - target->Left(), y - target->Top());
        if (click && Holds(target) && target->Visible() && target->Enabled()) target->Click();
    } else if (target) {
        target->MouseUp(button, shift, x - target->Left(), y - target->Top());
        return;
    }
    // Enter and leave were held back during the capture.
    TrackHover(x, y);
    UpdateCursor();
}

void TControlHost::PointerLeave() {
    if (captured_) return;  // the capture keeps the pointer until the release
    pointer_ = {-1, -1};
    TControl* old = hovered_;
    hovered_ = nullptr;
    if (old) old->MouseLeave();
    UpdateCursor();
}

bool TControlHost::PointerWheel(int delta, int x, int y, TShiftState shift) {
    pointer_ = {x, y};
    TControl* target = ControlAt(x, y);
    if (!target) target = focused_;
    if (!target) return false;
    return target->MouseWheel(shift, delta, x - target->Left(), y - target->Top());
}

bool TControlHost::KeyDown(unsigned key, TShiftState shift) {
    return focused_ && focused_->KeyDown(key, shift);
}

bool TControlHost::KeyPress(char key) {
    if (!focused_) return false;
    char k = key;
    return focused_->KeyPress(k);
}

void TControlHost::SetFocus(TControl* control) {
    if (control && !Holds(control)) return;
    focused_ = control;
}

void TControlHost::SetScreenCursor(TCursor cursor) {
    screen_cursor_ = cursor;
    UpdateCursor();
}

TCursor TControlHost::EffectiveCursor() const {
    if (screen_cursor_ != TCursor::Default) return screen_cursor_;
    return hovered_ ? hovered_->Cursor : TCursor::Default;
}

void TControlHost::UpdateCursor() {
    const TCursor cursor = EffectiveCursor();
    if (cursor == shown_cursor_) return;
    shown_cursor_ = cursor;
    CursorChanged(cursor);
}

void TControlHost::BoundsChanged(TControl& control) {
    ControlMoved(control);
}

void TControlHost::VisibilityChanged(TControl& control) {
    ControlMoved(control);
    if (control.Visible() && control.Enabled()) return;
    // A control that disappears under the pointer loses hover and capture.
    if (captured_ == &control) {
        captured_ = nullptr;
        click_pending_ = false;
    }
    if (hovered_ == &control) {
        hovered_ = nullptr;
        control.MouseLeave();
    }
    if (focused_ == &control) focused_ = nullptr;
    UpdateCursor();
}

void TControlHost::ReleaseCapture() {
    captured_ = nullptr;
    click_pending_ = false;
}
