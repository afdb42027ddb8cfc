#pragma once

#include <memory>
#include <string_view>

#include "shelf/controls/GPImage.h"

// The reading program's own artwork (its caption buttons, toolbar button,
// frame and icons); names match whatever their letter case. The images both
// programs share come from LoadResourceImage.
std::unique_ptr<TGPImage> LoadReaderImage(std::string_view name);
