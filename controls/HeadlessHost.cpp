#include "controls/HeadlessHost.h"

#include <cstdint>

THeadlessHost::THeadlessHost(int width, int height, TColor background)
    : width_(width),
      height_(height),
      background_(background),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)) {}

THeadlessHost::~THeadlessHost() {
    DetachAll();
    cairo_surface_destroy(surface_);
}

void THeadlessHost::Render() {
    cairo_t* cr = cairo_create(surface_);
    SetSourceColor(cr, background_);
    cairo_paint(cr);
    PaintControls(cr, {0, 0, width_, height_});
    cairo_destroy(cr);
    cairo_surface_flush(surface_);
}

TColor THeadlessHost::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    const uint32_t argb = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
    return argb & 0xFFFFFF;
}

bool THeadlessHost::SavePng(const std::string& utf8Path) const {
    return cairo_surface_write_to_png(surface_, utf8Path.c_str()) == CAIRO_STATUS_SUCCESS;
}

void THeadlessHost::InvalidateRect(const TRect&) {
    ++invalidations_;
}

void THeadlessHost::MoveTo(int x, int y) {
    PointerMove(x, y);
}

void THeadlessHost::Press(int x, int y, TMouseButton button) {
    PointerMove(x, y);
    PointerPress(button, x, y);
}

void THeadlessHost::Release(int x, int y, TMouseButton button) {
    PointerMove(x, y, button == TMouseButton::Left ? ss::Left : 0);
    PointerRelease(button, x, y);
}

void THeadlessHost::ClickAt(int x, int y) {
    Press(x, y);
    PointerRelease(TMouseButton::Left, x, y);
}

void THeadlessHost::DoubleClickAt(int x, int y) {
    ClickAt(x, y);
    PointerPress(TMouseButton::Left, x, y);
    PointerDoublePress(TMouseButton::Left, x, y);
    PointerRelease(TMouseButton::Left, x, y);
}
