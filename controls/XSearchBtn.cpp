#include "controls/XSearchBtn.h"

#include "controls/ComponentGlobal.h"

TXSearchBtn::TXSearchBtn() : sprite_(LoadResourceImage("XSearchBtn")) {
    if (sprite_)
        SetBounds(0, 0, sprite_->Width(), sprite_->Height() / 3);
    else
        SetBounds(0, 0, 73, 33);
}

TXSearchBtn::~TXSearchBtn() = default;

void TXSearchBtn::Paint(TCanvas& canvas) {
    if (!sprite_) return;
    const TRect client = ClientRect();
    const int fh = sprite_->Height() / 3;
    canvas.StretchDraw(sprite_.get(), client, TRect::FromSize(0, 0, sprite_->Width(), fh));
    if (!Enabled()) return;
    const int state = pressed_ ? 2 : hover_ ? 1 : 0;
    canvas.StretchDraw(sprite_.get(), client, TRect::FromSize(0, state * fh, sprite_->Width(), fh));
}

void TXSearchBtn::MouseEnter() {
    Invalidate();
    SetScreenCursor(TCursor::HandPoint);
}

void TXSearchBtn::MouseLeave() {
    hover_ = false;
    pressed_ = false;
    Invalidate();
    SetScreenCursor(TCursor::Default);
}

void TXSearchBtn::MouseMove(TShiftState, int, int) {
    if (hover_) return;
    hover_ = true;
    Invalidate();
}

void TXSearchBtn::MouseDown(TMouseButton, TShiftState, int, int) {
    pressed_ = true;
    Invalidate();
}

void TXSearchBtn::MouseUp(TMouseButton, TShiftState, int, int) {
    pressed_ = false;
    Invalidate();
}
