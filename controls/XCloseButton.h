#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

// The close button of the update pop-up: four stacked frames (base, normal,
// hover, pressed), no caption.
class TXCloseButton : public TControl {
  public:
    TXCloseButton();
    ~TXCloseButton() override;

    bool Hover() const { return hover_; }
    bool Pressed() const { return pressed_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

  private:
    std::unique_ptr<TGPImage> sprite_;
    bool hover_ = false;
    bool pressed_ = false;
};
