#pragma once

#include <vector>

#include "controls/FormWindow.h"

// A window that records what the caption strip does to it.
class FakeForm : public TFormWindow {
  public:
    TRect normal = TRect::FromSize(100, 80, 900, 566);
    TRect workArea{0, 0, 1600, 860};
    TPoint desktop{1920, 1080};
    TPoint screen{1920, 1080};
    int minimized = 0, hidden = 0, closed = 0, drags = 0;
    bool trayShown = true;
    std::vector<TRect> placements;

    TRect NormalRect() const override { return normal; }
    void SetNormalRect(const TRect& rect) override {
        normal = rect;
        placements.push_back(rect);
    }
    TRect WorkArea() const override { return workArea; }
    TPoint DesktopSize() const override { return desktop; }
    TPoint ScreenSize() const override { return screen; }
    TPoint Size() const override { return {normal.Width(), normal.Height()}; }
    void Minimize() override { ++minimized; }
    void HideToTray() override { ++hidden; }
    bool TrayShown() const override { return trayShown; }
    void Close() override { ++closed; }
    void BeginMoveDrag() override { ++drags; }
};
