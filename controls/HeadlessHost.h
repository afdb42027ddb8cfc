#pragma once

#include <cairo.h>

#include <string>

#include "controls/ControlHost.h"

// A host without a display: it renders its controls into a Cairo image
// surface, runs their timers on a manual clock and takes synthetic pointer
// and key input. Controls behave exactly as in a window; tests and the
// artwork preview use it.
class THeadlessHost : public TControlHost {
  public:
    THeadlessHost(int width, int height, TColor background = clWhite);
    ~THeadlessHost() override;

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Paints the background and every control into the surface.
    void Render();
    cairo_surface_t* Surface() const { return surface_; }
    // The colour at a pixel of the last render (opaque background assumed).
    TColor Pixel(int x, int y) const;
    bool SavePng(const std::string& utf8Path) const;

    TManualClock& Clock() { return clock_; }
    TTimerScheduler& Timers() override { return clock_; }
    void InvalidateRect(const TRect& rect) override;
    // How many repaint requests arrived since the counter was last reset.
    int Invalidations() const { return invalidations_; }
    void ResetInvalidations() { invalidations_ = 0; }

    // Synthetic input, in host coordinates.
    void MoveTo(int x, int y);
    void Press(int x, int y, TMouseButton button = TMouseButton::Left);
    void Release(int x, int y, TMouseButton button = TMouseButton::Left);
    // Move, press and release at one point.
    void ClickAt(int x, int y);
    // Two clicks, the second one a double click.
    void DoubleClickAt(int x, int y);
    void Leave() { PointerLeave(); }
    bool Wheel(int delta, int x, int y) { return PointerWheel(delta, x, y); }
    bool Type(char key) { return KeyPress(key); }

  private:
    int width_;
    int height_;
    TColor background_;
    cairo_surface_t* surface_;
    TManualClock clock_;
    int invalidations_ = 0;
};
