#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

// The base of the image-button family: a sprite strip of FrameCount frames
// stacked from the top (frame 0 the base under every state; 1 normal,
// 2 hover, 3 pressed, 4 disabled where the strip has it), an optional icon
// and a centred caption.
class TXStandardButton : public TControl {
  public:
    TXStandardButton();
    ~TXStandardButton() override;

    // The sprite strip, owned; the icon left of the caption is the owner's.
    std::unique_ptr<TGPImage> Image;
    const TGPImage* Icon = nullptr;
    int FrameCount = 4;

    bool Hover() const { return hover_; }
    bool Pressed() const { return pressed_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

  protected:
    // Takes the sprite and, when it loaded, sizes the button to one frame.
    void SetSprite(std::unique_ptr<TGPImage> image);

  private:
    bool hover_ = false;
    bool pressed_ = false;
};

// The update pop-up's read button.
class TXReaderButton2 : public TXStandardButton {
  public:
    TXReaderButton2();
};

// The main window's back button.
class TXBackButton : public TXStandardButton {
  public:
    TXBackButton();
};
