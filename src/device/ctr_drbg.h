#pragma once

#include "crypto/aes.h"
#include "device/status.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// Supplies seed material: fills length bytes, returns 0 or an error status.
using EntropySource = std::uint32_t (*)(std::uint64_t context, std::uint8_t* buffer, std::size_t length);

// The counter-mode deterministic random bit generator of NIST SP 800-90A with AES-256, without
// derivation function, personalisation string or additional input. One per connection; it
// feeds the key exchange.
struct CtrDrbg {
    std::uint8_t v[16];  // counter, big-endian
    AesKey key_schedule;
    std::uint64_t reseed_counter;
    EntropySource entropy_source;
    std::uint64_t entropy_context;
};

constexpr std::size_t DRBG_MAX_BYTES_PER_REQUEST = 65536;
constexpr std::uint64_t DRBG_RESEED_INTERVAL = 1000;

// Seeds the generator from the system's random source. Returns 0 or RANDOM_FAILED.
std::uint32_t drbg_instantiate(CtrDrbg& drbg) noexcept;

// The same with another entropy source; for tests that need known seed material.
std::uint32_t drbg_instantiate_from(CtrDrbg& drbg, EntropySource source, std::uint64_t context) noexcept;

// Fills (bits + 7) / 8 bytes; when bits is not a multiple of 8 the last byte keeps only its low
// bits mod 8 bits. Reseeds from the entropy source after 1000 requests. Returns 0,
// DRBG_REQUEST_TOO_LONG above 65536 bytes, or the entropy source's status.
std::uint32_t drbg_generate(CtrDrbg& drbg, std::uint8_t* out, std::size_t bits) noexcept;

}  // namespace vlrp11
