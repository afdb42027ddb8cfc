#include "shelf/ShelfHelpers.h"

#include "core/Folders.h"

namespace {

// Bytes of the GB18030 character starting at text[at]; 0 when it runs past
// the end of the text.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    if (lead >= 0x81 && lead <= 0xFE && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        length = next >= 0x30 && next <= 0x39 ? 4 : 2;
    } else if (lead >= 0x81 && lead <= 0xFE) {
        length = 2;
    }
    return at + length <= text.size() ? length : 0;
}

}  // namespace

AnsiString FirstCharacters(std::string_view text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t n = 0; n < count && end < text.size(); ++n) {
        const std::size_t length = CharacterLength(text, end);
        if (length == 0) break;
        end += length;
    }
    return AnsiString(text.substr(0, end));
}

std::string CoverPath(const AnsiString& folderName) {
    return BookFolder() + platform::AnsiToUtf8(folderName) + "/cover.jpg";
}

std::string ListPagePath(const AnsiString& folderName) {
    return BookFolder() + platform::AnsiToUtf8(folderName) + "/List.HTML";
}
