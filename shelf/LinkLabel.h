#pragma once

#include "controls/Control.h"

// A plain text label of the main window that acts as a link: the hand cursor
// over it, underlined while the pointer rests on it, a click raises OnClick.
// Without a caption it paints nothing and only takes clicks (the area over the
// logo).
class TLinkLabel : public TControl {
  public:
    TLinkLabel();

    bool Hover() const { return hover_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;

  protected:
    void TextChanged() override { Invalidate(); }

  private:
    bool hover_ = false;
};
