#include "controls/XCheckBox.h"

#include "controls/ComponentGlobal.h"

TXCheckBox::TXCheckBox()
    : sprite_(LoadResourceImage("CheckBox")), background_(LoadResourceImage("CheckBoxBG")) {
    SetBounds(0, 0, 80, 16);
}

TXCheckBox::~TXCheckBox() = default;

void TXCheckBox::SetChecked(bool checked) {
    checked_ = checked;
    Invalidate();
    if (OnChange) OnChange(this, checked_);
}

int TXCheckBox::Frame() const {
    const int base = checked_ ? 4 : 0;
    if (!Enabled()) return base + 3;
    if (pressed_) return base + 2;
    if (hover_) return base + 1;
    return base;
}

void TXCheckBox::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.Font = Font;
    if (background_)
        canvas.StretchDraw(background_.get(), client,
                           TRect::FromSize(0, 0, 1, background_->Height()));
    int boxRight = 0;
    if (sprite_) {
        // Square frames: each as high as the strip is wide.
        const int size = sprite_->Width();
        const int top = (client.Height() - size) / 2;
        canvas.StretchDraw(sprite_.get(), TRect::FromSize(0, top, size, size),
                           TRect::FromSize(0, Frame() * size, size, size));
        boxRight = size;
    }
    if (!Caption().empty()) {
        const TRect text{boxRight + 2, client.Top + 1, client.Right - 2, client.Bottom - 1};
        canvas.DrawText(Caption(), text, tf::SingleLine | tf::VCenter | tf::Left);
    }
}

void TXCheckBox::MouseEnter() {
    hover_ = true;
    Invalidate();
}

void TXCheckBox::MouseMove(TShiftState, int, int) {
    if (hover_) return;
    hover_ = true;
    Invalidate();
}

void TXCheckBox::MouseDown(TMouseButton, TShiftState, int, int) {
    pressed_ = true;
}
void TXCheckBox::MouseUp(TMouseButton, TShiftState, int, int) {
    pressed_ = false;
}

void TXCheckBox::MouseLeave() {
    hover_ = false;
    pressed_ = false;
    Invalidate();
}

void TXCheckBox::Click() {
    TControl::Click();
    SetChecked(true);
}
