#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"

enum class TBevelCut { None, Lowered, Raised };

// The panel under the main window's content views: it paints as a plain
// panel (its colour, an optional one-pixel bevel, the caption centred).
class TXCenterPanel : public TControl {
  public:
    TXCenterPanel();
    ~TXCenterPanel() override;

    TColor Color = clBtnFace;
    TBevelCut BevelOuter = TBevelCut::Raised;

    void Paint(TCanvas& canvas) override;

  protected:
    void TextChanged() override { Invalidate(); }

  private:
    // Loaded with the panel and kept, not drawn.
    std::unique_ptr<TGPImage> background_;
};
