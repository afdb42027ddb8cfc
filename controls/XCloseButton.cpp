#include "controls/XCloseButton.h"

#include "controls/ComponentGlobal.h"

TXCloseButton::TXCloseButton() : sprite_(LoadResourceImage("SysButtonClose2")) {
    if (sprite_)
        SetBounds(0, 0, sprite_->Width(), sprite_->Height() / 4);
    else
        SetBounds(0, 0, 40, 17);
}

TXCloseButton::~TXCloseButton() = default;

void TXCloseButton::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.FillRect(client, clWhite);
    if (!sprite_) return;
    const int fh = sprite_->Height() / 4;
    const int state = pressed_ ? 3 : hover_ ? 2 : 1;
    canvas.StretchDraw(sprite_.get(), client, TRect::FromSize(0, 0, sprite_->Width(), fh));
    canvas.StretchDraw(sprite_.get(), client, TRect::FromSize(0, state * fh, sprite_->Width(), fh));
}

void TXCloseButton::MouseEnter() {
    hover_ = true;
    Invalidate();
}

void TXCloseButton::MouseMove(TShiftState, int, int) {
    if (hover_) return;
    hover_ = true;
    Invalidate();
}

// Press and release change the state without a repaint; the face follows at
// the next one.
void TXCloseButton::MouseDown(TMouseButton, TShiftState, int, int) {
    pressed_ = true;
}
void TXCloseButton::MouseUp(TMouseButton, TShiftState, int, int) {
    pressed_ = false;
}

void TXCloseButton::MouseLeave() {
    hover_ = false;
    pressed_ = false;
    Invalidate();
}
