#pragma once

#include "controls/MinMaxCloseButton.h"

// The reader window's caption-button strip: the main window's strip with the
// reader's own images (the reading program's artwork, see SetProgramArtwork;
// it carries no background, so none is drawn behind the buttons) and its own
// placement rules: stored rectangles are at least 771 pixels wide, and a
// window saved while filling the screen comes back over the work area (the
// whole screen when no work area can be read).
class TMinMaxCloseButton2 : public TMinMaxCloseButton {
  public:
    TMinMaxCloseButton2();

  protected:
    int MinStoredWidth() const override { return 771; }
    TRect FullScreenRect() const override;
};
