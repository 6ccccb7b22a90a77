#pragma once

// The PIN derivation of the device protocol done with OpenSSL, for tests that look for derived
// values and benchmarks that time the library beside it: D = SHA-512 applied 10 000 times (first
// to the PIN, then to each digest); A = D bytes 0-15, B = D bytes 32-47.
#include <openssl/sha.h>

#include <cstddef>
#include <cstdint>

namespace vlrp11::testing {

inline void openssl_pin_digest(const std::uint8_t* pin, std::size_t length, std::uint8_t (&d)[SHA512_DIGEST_LENGTH])
{
    SHA512(pin, length, d);
    for (int i = 1; i < 10000; ++i)
        SHA512(d, sizeof d, d);
}

}  // namespace vlrp11::testing
