#include "shelf/AppIcon.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include "controls/ComponentGlobal.h"
#include "core/AtomicFile.h"
#include "platform/Folders.h"

namespace {

constexpr const char* kIconResource = "/quira/artwork/controls/appicon.png";

}  // namespace

std::string ApplicationIconBytes() {
    // The artwork bundle registers itself on its first use.
    (void)LoadResourceImage("AppIcon");
    GBytes* bytes = g_resources_lookup_data(kIconResource, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) return {};
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string png(data, size);
    g_bytes_unref(bytes);
    return png;
}

GdkPixbuf* ApplicationIcon(int size) {
    const std::string png = ApplicationIconBytes();
    if (png.empty()) return nullptr;
    GInputStream* stream = g_memory_input_stream_new_from_data(png.data(), png.size(), nullptr);
    GdkPixbuf* icon =
        gdk_pixbuf_new_from_stream_at_scale(stream, size, size, TRUE, nullptr, nullptr);
    g_object_unref(stream);
    return icon;
}

std::string WriteApplicationIcon() {
    const std::string folder = platform::RuntimeFolder();
    const std::string png = ApplicationIconBytes();
    if (folder.empty() || png.empty()) return {};
    const std::string path = folder + "/Quira.png";
    return WriteFileAtomic(path, png, FileDurability::Replaceable) ? path : std::string();
}
