#include "reader/ReaderArtwork.h"

#include "shelf/controls/ComponentGlobal.h"

extern "C" {
GResource* quira_reader_artwork_get_resource(void);
void quira_reader_artwork_register_resource(void);
}

std::unique_ptr<TGPImage> LoadReaderImage(std::string_view name) {
    static GResource* const bundle = [] {
        quira_reader_artwork_register_resource();
        return quira_reader_artwork_get_resource();
    }();
    return LoadBundleImage(bundle, "reader", name);
}
