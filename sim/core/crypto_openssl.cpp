#include "core/crypto_openssl.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <climits>

namespace vlrp11::sim {

Bn bn_from_bytes(std::span<const std::uint8_t> bytes) {
    return Bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

Bn bn_from_hex(const char* hex) {
    BIGNUM* value = nullptr;
    if (BN_hex2bn(&value, hex) == 0) return nullptr;
    return Bn(value);
}

bool bn_to_bytes(const BIGNUM* value, std::size_t length, std::uint8_t* out) {
    if (length > INT_MAX) return false;
    return BN_bn2binpad(value, out, static_cast<int>(length)) == static_cast<int>(length);
}

std::vector<std::uint8_t> bn_to_vector(const BIGNUM* value, std::size_t length) {
    std::vector<std::uint8_t> out(length);
    if (!bn_to_bytes(value, length, out.data())) out.clear();
    return out;
}

bool random_bytes(std::span<std::uint8_t> out) {
    if (out.empty()) return true;
    return RAND_bytes(out.data(), static_cast<int>(out.size())) == 1;
}

void wipe(std::span<std::uint8_t> bytes) {
    if (!bytes.empty()) OPENSSL_cleanse(bytes.data(), bytes.size());
}

void wipe(std::vector<std::uint8_t>& bytes) {
    wipe(std::span<std::uint8_t>(bytes));
    bytes.clear();
}

}  // namespace vlrp11::sim
