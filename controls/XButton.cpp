#include "controls/XButton.h"

#include "controls/ComponentGlobal.h"

TXButton::TXButton() : sprite_(LoadResourceImage("XButton")) {
    SetBounds(0, 0, 80, sprite_ ? sprite_->Height() / 3 : 20);
}

TXButton::~TXButton() = default;

void TXButton::SetDown(bool down) {
    if (down == down_) return;
    down_ = down;
    Invalidate();
}

void TXButton::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.FillRect(client, clWhite);
    const bool lit = down_ || hover_;
    const TGPImage* icon = lit ? HoverIcon : Icon.get();
    canvas.Font.Color = lit ? RGB(0x83, 0x43, 0x08) : clWhite;
    if (sprite_) {
        const int fh = sprite_->Height() / 3;
        canvas.StretchDraw(sprite_.get(), client, TRect::FromSize(0, 0, sprite_->Width(), fh));
        canvas.StretchDraw(sprite_.get(), client,
                           TRect::FromSize(0, (lit ? 2 : 1) * fh, sprite_->Width(), fh));
    }
    TRect text = client;
    if (icon) {
        canvas.Draw(icon, 3, 5);
        text.Left = icon->Width() + 4;
    }
    canvas.DrawText(Caption(), text, tf::SingleLine | tf::Center | tf::VCenter);
}

void TXButton::MouseEnter() {
    if (hover_) return;
    hover_ = true;
    Invalidate();
}

void TXButton::MouseMove(TShiftState, int, int) {
    MouseEnter();
}

void TXButton::MouseLeave() {
    if (!hover_) return;
    hover_ = false;
    Invalidate();
}

void TXButton::Click() {
    SetDown(true);
    TControl::Click();
}
