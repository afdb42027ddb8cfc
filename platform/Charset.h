#pragma once

#include <string>
#include <string_view>

// Texts in memory are byte strings in the ANSI code page. On this system that
// code page is GB18030, which encodes every GBK character with GBK's bytes and
// everything else losslessly. UTF-8 is used wherever a library or a file wants it.
using AnsiString = std::string;

namespace platform {

// GB18030 bytes to UTF-8. Bytes that do not form a character become U+FFFD.
std::string AnsiToUtf8(std::string_view ansi);

// UTF-8 to GB18030 bytes. Bytes that are not valid UTF-8 become "?".
AnsiString Utf8ToAnsi(std::string_view utf8);

// One UTF-16 code unit (a lone surrogate gives "?") in the ANSI code page.
AnsiString Utf16UnitToAnsi(unsigned unit);

// True when the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace platform
