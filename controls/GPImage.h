#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>

// A decoded picture ready to draw: a Cairo image surface (premultiplied
// ARGB32). Decoding goes through gdk-pixbuf, so PNG with alpha and JPEG covers
// both load, and it needs no display.
class TGPImage {
  public:
    // Nothing when the bytes are no picture gdk-pixbuf can decode, or one
    // larger than platform::kMaxPicturePixels.
    static std::unique_ptr<TGPImage> FromBytes(std::string_view bytes);
    static std::unique_ptr<TGPImage> FromFile(const std::string& utf8Path);
    // Takes over a reference to an image surface.
    explicit TGPImage(cairo_surface_t* surface);
    ~TGPImage();
    TGPImage(const TGPImage&) = delete;
    TGPImage& operator=(const TGPImage&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    cairo_surface_t* Surface() const { return surface_; }

  private:
    cairo_surface_t* surface_;
    int width_;
    int height_;
};
