#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "controls/Canvas.h"
#include "controls/GPImage.h"
#include "controls/HeadlessHost.h"

// Tells which sprite frame a control shows: the control's rendered pixels are
// compared with a reference drawing of each candidate frame, and the best
// match (0 differing pixels for the right one) is the answer.
struct FrameCandidate {
    int frame;  // -1: nothing over the base
    std::function<void(TCanvas&)> paint;
};

inline std::vector<uint32_t> Pixels(cairo_surface_t* surface, const TRect& r) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<uint32_t> out;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x)
            out.push_back(reinterpret_cast<const uint32_t*>(data + y * stride)[x] & 0xFFFFFF);
    return out;
}

// The candidate whose reference matches the control's area of the host's
// last render, or -2 when none matches exactly.
inline int ShownFrame(THeadlessHost& host, const TRect& bounds, TColor background,
                      const std::vector<FrameCandidate>& candidates) {
    host.Render();
    const std::vector<uint32_t> shown = Pixels(host.Surface(), bounds);
    for (const FrameCandidate& c : candidates) {
        cairo_surface_t* ref =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bounds.Width(), bounds.Height());
        cairo_t* cr = cairo_create(ref);
        SetSourceColor(cr, background);
        cairo_paint(cr);
        TCanvas canvas(cr);
        c.paint(canvas);
        cairo_destroy(cr);
        const bool same = Pixels(ref, {0, 0, bounds.Width(), bounds.Height()}) == shown;
        cairo_surface_destroy(ref);
        if (same) return c.frame;
    }
    return -2;
}

// Candidates for a strip of stacked frames drawn over the whole control:
// optional white fill, the base frame 0, then frame k.
inline std::vector<FrameCandidate> StackedCandidates(const TGPImage* sprite, int frames, int width,
                                                     int height, bool whiteFill, bool baseFirst) {
    std::vector<FrameCandidate> out;
    const int fh = sprite->Height() / frames;
    const auto frame = [=](int i) { return TRect::FromSize(0, i * fh, sprite->Width(), fh); };
    for (int k = -1; k < frames; ++k) {
        out.push_back({k, [=](TCanvas& canvas) {
                           const TRect client{0, 0, width, height};
                           if (whiteFill) canvas.FillRect(client, clWhite);
                           if (baseFirst) canvas.StretchDraw(sprite, client, frame(0));
                           if (k >= 0) canvas.StretchDraw(sprite, client, frame(k));
                       }});
    }
    return out;
}
