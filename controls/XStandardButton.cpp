#include "controls/XStandardButton.h"

#include "controls/ComponentGlobal.h"

namespace {
constexpr TColor kDisabledCaption = RGB(0x83, 0x83, 0x83);
}

TXStandardButton::TXStandardButton() {
    SetBounds(0, 0, 80, 20);
}

TXStandardButton::~TXStandardButton() = default;

void TXStandardButton::SetSprite(std::unique_ptr<TGPImage> image) {
    Image = std::move(image);
    if (Image && FrameCount > 0)
        SetBounds(Left(), Top(), Image->Width(), Image->Height() / FrameCount);
}

void TXStandardButton::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.Font = Font;
    canvas.FillRect(client, clWhite);
    if (Image && FrameCount > 0) {
        const int fh = Image->Height() / FrameCount;
        const auto frame = [&](int i) { return TRect::FromSize(0, i * fh, Image->Width(), fh); };
        canvas.StretchDraw(Image.get(), client, frame(0));
        int state = 1;
        if (!Enabled()) {
            // Strips of four frames have no frame 4: the base alone shows.
            state = 4;
            canvas.Font.Color = kDisabledCaption;
        } else if (pressed_) {
            state = 3;
        } else if (hover_) {
            state = 2;
        }
        canvas.StretchDraw(Image.get(), client, frame(state));
        if (Icon) canvas.Draw(Icon, 8, (fh - Icon->Height()) / 2);
    } else if (!Enabled()) {
        canvas.Font.Color = kDisabledCaption;
    }
    if (!Caption().empty()) {
        TRect text = client;
        if (Icon) text.Left += Icon->Width() + 4;
        canvas.DrawText(Caption(), text.Shrunk(1), tf::SingleLine | tf::Center | tf::VCenter);
    }
}

void TXStandardButton::MouseEnter() {
    hover_ = true;
    Invalidate();
}

void TXStandardButton::MouseMove(TShiftState, int, int) {
    if (hover_) return;
    hover_ = true;
    Invalidate();
}

void TXStandardButton::MouseDown(TMouseButton, TShiftState, int, int) {
    pressed_ = true;
    Invalidate();
}

// The face changes at the next repaint, as a release outside the button is
// followed by the leave that repaints anyway.
void TXStandardButton::MouseUp(TMouseButton, TShiftState, int, int) {
    pressed_ = false;
}

void TXStandardButton::MouseLeave() {
    hover_ = false;
    pressed_ = false;
    Invalidate();
}

TXReaderButton2::TXReaderButton2() {
    FrameCount = 4;
    SetSprite(LoadResourceImage("ReaderButton2"));
}

TXBackButton::TXBackButton() {
    FrameCount = 4;
    SetSprite(LoadResourceImage("BackBtnBG"));
}
