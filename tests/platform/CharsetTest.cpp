#include "platform/Charset.h"

#include <gtest/gtest.h>

namespace {

struct CharsetCase {
    const char* utf8;
    const char* ansi;
};

// 中 is D6 D0 in GBK; 億 (83 7C) has a "|" trail byte; € (U+20AC) is 80 in GBK
// but four bytes in GB18030; 𠀀 (U+20000) lies outside GBK altogether.
TEST(Charset, RoundTripsThroughGb18030) {
    const CharsetCase cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"\xE4\xB8\xAD", "\xD6\xD0"},
        {"\xE5\x84\x84", "\x83\x7C"},
        {"\xF0\xA0\x80\x80", "\x95\x32\x82\x36"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
        EXPECT_EQ(platform::AnsiToUtf8(c.ansi), c.utf8) << c.utf8;
    }
}

TEST(Charset, DamagedBytesAreReplacedAndTheRestKept) {
    EXPECT_EQ(platform::Utf8ToAnsi("a\xFF"
                                   "b"),
              "a?b");
    EXPECT_EQ(platform::AnsiToUtf8("a\xD6"), "a\xEF\xBF\xBD");
}

TEST(Charset, Utf16UnitToAnsi) {
    EXPECT_EQ(platform::Utf16UnitToAnsi(0x4E2D), "\xD6\xD0");
    EXPECT_EQ(platform::Utf16UnitToAnsi(0x41), "A");
    EXPECT_EQ(platform::Utf16UnitToAnsi(0xD800), "?");
}

}  // namespace
