#include "controls/GPImageList.h"

#include <glib.h>

#include "controls/Canvas.h"
#include "controls/ComponentGlobal.h"

std::unique_ptr<TGPImage> TGPImageList::LoadResource(std::string_view name) {
    return LoadResourceImage(name);
}

int TGPImageList::Add(std::unique_ptr<TGPImage> image) {
    if (!image) return -1;
    images_.push_back(std::move(image));
    return Count() - 1;
}

int TGPImageList::AddResource(std::string_view name) {
    return Add(LoadResource(name));
}

int TGPImageList::AddFile(const std::string& fileName) {
    if (fileName.empty() || !g_file_test(fileName.c_str(), G_FILE_TEST_IS_REGULAR)) return -1;
    return Add(TGPImage::FromFile(fileName));
}

const TGPImage* TGPImageList::Image(int index) const {
    return index >= 0 && index < Count() ? images_[index].get() : nullptr;
}

void TGPImageList::Draw(TCanvas& canvas, int x, int y, int index) const {
    const TGPImage* image = Image(index);
    if (image) canvas.StretchDraw(image, TRect::FromSize(x, y, Width, Height));
}
