#pragma once

#include "controls/XStandardButton.h"

// The reader's toolbar button (80 x 27 with the supplied strip, from the
// reading program's artwork, see SetProgramArtwork); a caption change shows
// at once.
class TXReaderButton3 : public TXStandardButton {
  public:
    TXReaderButton3();

  protected:
    void TextChanged() override { Invalidate(); }
};
