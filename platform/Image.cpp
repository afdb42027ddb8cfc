#include "platform/Image.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

// One picture fed to a gdk-pixbuf loader piece by piece, refused as soon as
// its size is known to be too large.
class Decoder {
  public:
    explicit Decoder(int64_t maxPixels) : loader_(gdk_pixbuf_loader_new()), maxPixels_(maxPixels) {
        g_signal_connect(loader_, "size-prepared", G_CALLBACK(SizePrepared), this);
    }
    ~Decoder() {
        if (!closed_) gdk_pixbuf_loader_close(loader_, nullptr);
        g_object_unref(loader_);
    }
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // False once the picture is broken or too large: feed no more.
    bool Feed(std::string_view bytes) {
        failed_ = failed_ || tooLarge_ ||
                  !gdk_pixbuf_loader_write(loader_, reinterpret_cast<const guchar*>(bytes.data()),
                                           bytes.size(), nullptr);
        return !failed_ && !tooLarge_;
    }

    PixbufPtr Finish() {
        // Closed in every case; closing reports a picture cut short before
        // its size was known (one cut later keeps the rows that came).
        closed_ = true;
        const bool whole = gdk_pixbuf_loader_close(loader_, nullptr) != FALSE;
        if (failed_ || tooLarge_ || !whole) return nullptr;
        GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader_);
        // A format module that took no notice of the size still yields nothing.
        if (!pixbuf || !Fits(gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)))
            return nullptr;
        return PixbufPtr(GDK_PIXBUF(g_object_ref(pixbuf)));
    }

  private:
    bool Fits(int width, int height) const {
        return width > 0 && height > 0 && int64_t{width} * height <= maxPixels_;
    }
    // Called once the loader knows the picture's size, before it allocates
    // the pixels: a size of 0 tells the format module to stop there.
    static void SizePrepared(GdkPixbufLoader* loader, gint width, gint height, gpointer data) {
        auto* self = static_cast<Decoder*>(data);
        if (self->Fits(width, height)) return;
        self->tooLarge_ = true;
        gdk_pixbuf_loader_set_size(loader, 0, 0);
    }

    GdkPixbufLoader* loader_;
    int64_t maxPixels_;
    bool tooLarge_ = false;
    bool failed_ = false;
    bool closed_ = false;
};

}  // namespace

PixbufPtr DecodePicture(std::string_view bytes, int64_t maxPixels) {
    if (bytes.empty()) return nullptr;
    Decoder decoder(maxPixels);
    decoder.Feed(bytes);
    return decoder.Finish();
}

PixbufPtr LoadPictureFile(const std::string& path, int64_t maxPixels) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    Decoder decoder(maxPixels);
    char buffer[64 * 1024];
    bool ok = true;
    bool any = false;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        any = true;
        // Read only as far as needed: a picture refused by its size is not read on.
        if (!decoder.Feed(std::string_view(buffer, static_cast<size_t>(n)))) break;
    }
    ::close(fd);
    PixbufPtr picture = decoder.Finish();
    return ok && any ? std::move(picture) : nullptr;
}

}  // namespace platform
