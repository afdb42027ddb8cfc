// Writes the application icon into a hicolor icon-theme tree at the sizes
// desktops look for, scaled down from the artwork's largest drawing:
//
//     quira_icons <icon.png> <theme folder> <icon name>
//
// makes <theme folder>/<n>x<n>/apps/<icon name>.png for every size.

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 96, 128, 256};

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <icon.png> <theme folder> <icon name>\n", argv[0]);
        return 2;
    }
    GError* error = nullptr;
    std::unique_ptr<GdkPixbuf, Unref> icon(gdk_pixbuf_new_from_file(argv[1], &error));
    if (!icon) {
        std::fprintf(stderr, "quira_icons: %s: %s\n", argv[1], error->message);
        g_error_free(error);
        return 1;
    }
    const int source = gdk_pixbuf_get_width(icon.get());
    for (const int size : kSizes) {
        // Never scaled up: a blurred icon is worse than a missing size.
        if (size > source) continue;
        const std::string folder = std::string(argv[2]) + "/" + std::to_string(size) + "x" +
                                   std::to_string(size) + "/apps";
        std::error_code made;
        std::filesystem::create_directories(folder, made);
        std::unique_ptr<GdkPixbuf, Unref> scaled(
            gdk_pixbuf_scale_simple(icon.get(), size, size, GDK_INTERP_HYPER));
        const std::string file = folder + "/" + argv[3] + ".png";
        if (!scaled || !gdk_pixbuf_save(scaled.get(), file.c_str(), "png", &error, nullptr)) {
            std::fprintf(stderr, "quira_icons: cannot write %s: %s\n", file.c_str(),
                         error ? error->message : "out of memory");
            g_clear_error(&error);
            return 1;
        }
    }
    return 0;
}
