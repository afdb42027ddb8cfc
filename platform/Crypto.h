#pragma once

#include <memory>
#include <string>
#include <string_view>

// Hashing and the small ciphers the programs need, over OpenSSL libcrypto.
namespace platform {

// 32 lower-case hexadecimal digits of the MD5 of the bytes.
std::string Md5Hex(std::string_view bytes);

// MD5 over data that arrives in pieces (a file read in blocks).
class Md5Hasher {
  public:
    Md5Hasher();
    ~Md5Hasher();
    Md5Hasher(const Md5Hasher&) = delete;
    Md5Hasher& operator=(const Md5Hasher&) = delete;

    void Update(std::string_view bytes);
    // The digest of everything passed so far; the hasher is done afterwards.
    std::string HexDigest();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// Standard Base64 alphabet with "=" padding.
std::string Base64Encode(std::string_view bytes);
// Decoded bytes; false when the text is not Base64 (then out is left empty).
bool Base64Decode(std::string_view text, std::string& out);

// Blowfish in CBC mode without padding: the data length must be a multiple of
// 8 and the vector 8 bytes long; the key is 1 to 56 bytes. False (out empty)
// when an argument does not fit.
bool BlowfishCbcEncrypt(std::string_view key, std::string_view iv, std::string_view data,
                        std::string& out);
bool BlowfishCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data,
                        std::string& out);

}  // namespace platform
