#include "controls/GPImage.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>

#include "platform/Image.h"

namespace {

using platform::PixbufPtr;

// gdk-pixbuf gives straight RGB(A) bytes; Cairo wants premultiplied native
// ARGB words.
cairo_surface_t* SurfaceFromPixbuf(GdkPixbuf* pixbuf) {
    const int width = gdk_pixbuf_get_width(pixbuf);
    const int height = gdk_pixbuf_get_height(pixbuf);
    const int channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < 3) return nullptr;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    const guchar* src = gdk_pixbuf_read_pixels(pixbuf);
    const int srcStride = gdk_pixbuf_get_rowstride(pixbuf);
    unsigned char* dst = cairo_image_surface_get_data(surface);
    const int dstStride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const guchar* s = src + y * srcStride;
        auto* d = reinterpret_cast<uint32_t*>(dst + y * dstStride);
        for (int x = 0; x < width; ++x, s += channels) {
            const unsigned a = alpha ? s[3] : 255;
            const unsigned r = (s[0] * a + 127) / 255;
            const unsigned g = (s[1] * a + 127) / 255;
            const unsigned b = (s[2] * a + 127) / 255;
            d[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

std::unique_ptr<TGPImage> FromPixbuf(PixbufPtr owned) {
    if (!owned) return nullptr;
    GdkPixbuf* pixbuf = owned.get();
    // Honour the orientation tag of camera pictures used as covers.
    PixbufPtr oriented(gdk_pixbuf_apply_embedded_orientation(pixbuf));
    cairo_surface_t* surface = SurfaceFromPixbuf(oriented ? oriented.get() : pixbuf);
    if (!surface) return nullptr;
    return std::make_unique<TGPImage>(surface);
}

}  // namespace

std::unique_ptr<TGPImage> TGPImage::FromBytes(std::string_view bytes) {
    return FromPixbuf(platform::DecodePicture(bytes));
}

std::unique_ptr<TGPImage> TGPImage::FromFile(const std::string& utf8Path) {
    return FromPixbuf(platform::LoadPictureFile(utf8Path));
}

TGPImage::TGPImage(cairo_surface_t* surface)
    : surface_(surface),
      width_(cairo_image_surface_get_width(surface)),
      height_(cairo_image_surface_get_height(surface)) {}

TGPImage::~TGPImage() {
    cairo_surface_destroy(surface_);
}
