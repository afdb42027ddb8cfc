#pragma once

#include <functional>
#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

using TOnChangeEvent = std::function<void(TControl* Sender, bool Checked)>;

// An image check box. A click always checks it (the owner unchecks the other
// box of a radio pair in OnChange); SetChecked raises OnChange every time.
class TXCheckBox : public TControl {
  public:
    TXCheckBox();
    ~TXCheckBox() override;

    bool Checked() const { return checked_; }
    void SetChecked(bool checked);
    TOnChangeEvent OnChange;

    bool Hover() const { return hover_; }
    bool Pressed() const { return pressed_; }
    // The sprite frame the box shows now: 0 to 3 unchecked (normal, hover,
    // pressed, disabled), 4 to 7 the same checked.
    int Frame() const;

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void Click() override;

  private:
    std::unique_ptr<TGPImage> sprite_;
    std::unique_ptr<TGPImage> background_;
    bool checked_ = false;
    bool hover_ = false;
    bool pressed_ = false;
};
