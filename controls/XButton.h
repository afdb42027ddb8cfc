#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

// A sticky image button: a click sets Down and keeps the hover face until
// the owner clears it with SetDown(false).
class TXButton : public TControl {
  public:
    TXButton();
    ~TXButton() override;

    // Icon (normal face) is owned by the button; HoverIcon (hover or down
    // face) stays the owner's.
    std::unique_ptr<TGPImage> Icon;
    const TGPImage* HoverIcon = nullptr;

    bool Down() const { return down_; }
    void SetDown(bool down);
    bool Hover() const { return hover_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void Click() override;

  private:
    std::unique_ptr<TGPImage> sprite_;
    bool hover_ = false;
    bool down_ = false;
};
