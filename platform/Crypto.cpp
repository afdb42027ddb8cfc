#include "platform/Crypto.h"

// Blowfish lives only in the low-level interface, which OpenSSL 3 marks as
// deprecated; it is still built by default and needs no legacy provider.
// The one-shot MD5 of that interface serves short texts (chapter file names):
// the digest interface looks the algorithm up under a process-wide lock at
// every call, which ten download workers took turns at.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <glib.h>
#include <openssl/blowfish.h>
#include <openssl/evp.h>
#include <openssl/md5.h>

#include <cstring>
#include <stdexcept>

namespace platform {
namespace {

std::string ToHex(const unsigned char* digest, unsigned length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        hex.push_back(kDigits[digest[i] >> 4]);
        hex.push_back(kDigits[digest[i] & 0x0F]);
    }
    return hex;
}

constexpr size_t kBlowfishBlock = 8;
constexpr size_t kBlowfishMaxKey = 56;

bool BlowfishCbc(std::string_view key, std::string_view iv, std::string_view data, std::string& out,
                 int direction) {
    out.clear();
    if (key.empty() || key.size() > kBlowfishMaxKey || iv.size() != kBlowfishBlock ||
        data.size() % kBlowfishBlock != 0) {
        return false;
    }
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()),
               reinterpret_cast<const unsigned char*>(key.data()));
    unsigned char vector[kBlowfishBlock];
    std::memcpy(vector, iv.data(), kBlowfishBlock);
    out.resize(data.size());
    BF_cbc_encrypt(reinterpret_cast<const unsigned char*>(data.data()),
                   reinterpret_cast<unsigned char*>(out.data()), static_cast<long>(data.size()),
                   &schedule, vector, direction);
    // The key schedule holds the key in expanded form: do not leave it on the stack.
    OPENSSL_cleanse(&schedule, sizeof schedule);
    return true;
}

}  // namespace

struct Md5Hasher::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Md5Hasher::Md5Hasher() : state_(std::make_unique<State>()) {
    if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) != 1) {
        throw std::runtime_error("MD5 is not available");
    }
}

Md5Hasher::~Md5Hasher() = default;

void Md5Hasher::Update(std::string_view bytes) {
    EVP_DigestUpdate(state_->context, bytes.data(), bytes.size());
}

std::string Md5Hasher::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(state_->context, digest, &length);
    return ToHex(digest, length);
}

std::string Md5Hex(std::string_view bytes) {
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return ToHex(digest, MD5_DIGEST_LENGTH);
}

std::string Base64Encode(std::string_view bytes) {
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string text(encoded);
    g_free(encoded);
    return text;
}

bool Base64Decode(std::string_view text, std::string& out) {
    out.clear();
    // GLib skips characters outside the alphabet silently; refuse them instead,
    // so that a damaged text is not taken for different data.
    size_t padding = 0;
    for (const char c : text) {
        const bool letter = g_ascii_isalnum(c) || c == '+' || c == '/';
        if (c == '=') {
            ++padding;
        } else if (!letter || padding > 0) {
            return false;
        }
    }
    if (text.size() % 4 != 0 || padding > 2) return false;
    if (text.empty()) return true;
    const std::string terminated(text);
    gsize length = 0;
    guchar* decoded = g_base64_decode(terminated.c_str(), &length);
    out.assign(reinterpret_cast<const char*>(decoded), length);
    g_free(decoded);
    return true;
}

bool BlowfishCbcEncrypt(std::string_view key, std::string_view iv, std::string_view data,
                        std::string& out) {
    return BlowfishCbc(key, iv, data, out, BF_ENCRYPT);
}

bool BlowfishCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data,
                        std::string& out) {
    return BlowfishCbc(key, iv, data, out, BF_DECRYPT);
}

}  // namespace platform
