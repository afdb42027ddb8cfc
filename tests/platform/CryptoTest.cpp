#include "platform/Crypto.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string FromHex(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

TEST(Crypto, Md5KnownDigests) {
    EXPECT_EQ(platform::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(platform::Md5Hex("The quick brown fox jumps over the lazy dog"),
              "9e107d9d372bb6826bd81d3542a419d6");
    platform::Md5Hasher hasher;
    hasher.Update("The quick brown fox ");
    hasher.Update("jumps over the lazy dog");
    EXPECT_EQ(hasher.HexDigest(), "9e107d9d372bb6826bd81d3542a419d6");
}

TEST(Crypto, Base64RoundTripAndRejectsDamage) {
    const std::string bytes("\x00\xFF\x10 Quira", 9);
    const std::string text = platform::Base64Encode(bytes);
    EXPECT_EQ(text, "AP8QIFF1aXJh");
    std::string decoded;
    ASSERT_TRUE(platform::Base64Decode(text, decoded));
    EXPECT_EQ(decoded, bytes);
    ASSERT_TRUE(platform::Base64Decode("YQ==", decoded));
    EXPECT_EQ(decoded, "a");
    for (const char* bad : {"YQ=", "Y*==", "YQ==YQ==", "Y==="}) {
        EXPECT_FALSE(platform::Base64Decode(bad, decoded)) << bad;
        EXPECT_TRUE(decoded.empty());
    }
}

// The published CBC test vector of the cipher's designer's reference code.
TEST(Crypto, BlowfishCbcKnownVector) {
    const std::string key = FromHex("0123456789ABCDEFF0E1D2C3B4A59687");
    const std::string iv = FromHex("FEDCBA9876543210");
    std::string data = "7654321 Now is the time for ";
    data.resize(32, '\0');
    std::string cipher;
    ASSERT_TRUE(platform::BlowfishCbcEncrypt(key, iv, data, cipher));
    EXPECT_EQ(cipher, FromHex("6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC"));
    std::string plain;
    ASSERT_TRUE(platform::BlowfishCbcDecrypt(key, iv, cipher, plain));
    EXPECT_EQ(plain, data);
    // A 32-byte key (256 bits) works too.
    ASSERT_TRUE(platform::BlowfishCbcEncrypt(std::string(32, 'k'), iv, data, cipher));
    ASSERT_TRUE(platform::BlowfishCbcDecrypt(std::string(32, 'k'), iv, cipher, plain));
    EXPECT_EQ(plain, data);
}

TEST(Crypto, BlowfishRefusesArgumentsThatDoNotFit) {
    std::string out = "x";
    const std::string iv(8, '\0');
    EXPECT_FALSE(platform::BlowfishCbcEncrypt("key", iv, "seven b", out));  // not 8-aligned
    EXPECT_FALSE(platform::BlowfishCbcEncrypt("key", "short", "8 bytes!", out));
    EXPECT_FALSE(platform::BlowfishCbcEncrypt("", iv, "8 bytes!", out));
    EXPECT_FALSE(platform::BlowfishCbcEncrypt(std::string(57, 'k'), iv, "8 bytes!", out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
