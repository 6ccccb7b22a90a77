#include "core/pin.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>

namespace vlrp11::sim {

PinRecord derive_pin(std::string_view pin)
{
    std::array<std::uint8_t, SHA512_DIGEST_LENGTH> digest;
    SHA512(reinterpret_cast<const unsigned char*>(pin.data()), pin.size(), digest.data());
    for (int i = 1; i < 10000; ++i) {
        SHA512(digest.data(), digest.size(), digest.data());
    }
    PinRecord record;
    std::copy_n(digest.begin(), 16, record.a.begin());
    std::copy_n(digest.begin() + 32, 16, record.b.begin());
    record.set = true;
    OPENSSL_cleanse(digest.data(), digest.size());
    return record;
}

}  // namespace vlrp11::sim
