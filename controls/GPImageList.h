#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "controls/GPImage.h"

class TCanvas;

// A list of images all drawn at one size (book covers, navigation icons).
// Owns its images.
class TGPImageList {
  public:
    TGPImageList() = default;

    // The size every image is drawn at; set by the owner after creation.
    int Width = 0;
    int Height = 0;

    static std::unique_ptr<TGPImage> LoadResource(std::string_view name);
    int Add(std::unique_ptr<TGPImage> image);
    // Appends the artwork image of that name; a name that does not load adds
    // nothing and gives -1.
    int AddResource(std::string_view name);
    // Appends the picture in the file (UTF-8 path); -1 when the file does not
    // exist or holds no picture.
    int AddFile(const std::string& fileName);
    // Image index, whole, scaled into (x, y, Width, Height); an index outside
    // the list draws nothing.
    void Draw(TCanvas& canvas, int x, int y, int index) const;

    int Count() const { return static_cast<int>(images_.size()); }
    const TGPImage* Image(int index) const;

  private:
    std::vector<std::unique_ptr<TGPImage>> images_;
};
