#include "controls/Control.h"

#include "controls/ControlHost.h"
#include "controls/Timer.h"

TControl::TControl() = default;

TControl::~TControl() {
    if (host_) host_->Remove(*this);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    const TRect bounds = TRect::FromSize(left, top, std::max(0, width), std::max(0, height));
    if (bounds == bounds_) return;
    const bool resized = bounds.Width() != bounds_.Width() || bounds.Height() != bounds_.Height();
    if (host_ && visible_) host_->InvalidateRect(bounds_);
    bounds_ = bounds;
    if (host_) {
        host_->BoundsChanged(*this);
        if (visible_) host_->InvalidateRect(bounds_);
    }
    if (resized) Resize();
}

void TControl::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (host_) {
        host_->InvalidateRect(bounds_);
        host_->VisibilityChanged(*this);
    }
}

void TControl::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Invalidate();
    if (host_ && !enabled_) host_->VisibilityChanged(*this);
}

void TControl::SetCaption(const AnsiString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    TextChanged();
}

void TControl::Invalidate() {
    if (host_ && visible_) host_->InvalidateRect(bounds_);
}

TPoint TControl::CursorPos() const {
    if (!host_) return {-1, -1};
    const TPoint p = host_->PointerPos();
    return {p.X - Left(), p.Y - Top()};
}

void TControl::SetScreenCursor(TCursor cursor) {
    if (host_) host_->SetScreenCursor(cursor);
}

bool TControl::Focused() const {
    return host_ && host_->Focused() == this;
}

void TControl::SetFocus() {
    if (host_) host_->SetFocus(this);
}

void TControl::AttachTo(TControlHost* host) {
    host_ = host;
    for (TTimer* timer : timers_) timer->Rebind();
}
