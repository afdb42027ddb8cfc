#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

// The main window's search button: three stacked frames (normal, hover,
// pressed) with the label in the artwork; no caption, no white fill.
class TXSearchBtn : public TControl {
  public:
    TXSearchBtn();
    ~TXSearchBtn() override;

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
