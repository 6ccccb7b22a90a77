#pragma once

// AES over whole blocks with OpenSSL, no padding: the reference the library's AES modes are held
// against. mode is "ECB" or "CBC"; the key size picks AES-128, -192 or -256.

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vlrp11::testing {

inline std::vector<std::uint8_t> openssl_aes(const char* mode, const std::vector<std::uint8_t>& key,
                                             const std::vector<std::uint8_t>& iv, const std::vector<std::uint8_t>& in,
                                             bool encrypt = true)
{
    const std::string name = "AES-" + std::to_string(key.size() * 8) + "-" + mode;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<std::uint8_t> out(in.size());
    int length = 0;
    EVP_CipherUpdate(ctx, out.data(), &length, in.data(), static_cast<int>(in.size()));
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    return out;
}

}  // namespace vlrp11::testing
