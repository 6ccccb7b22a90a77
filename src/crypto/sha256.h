#pragma once

#include <cstddef>
#include <cstdint>

// SHA-224 and SHA-256 (FIPS 180-4). The context is a plain record owned by the caller, with no
// interior pointer: it may be copied to fork a running digest. Final writes 28 or 32 bytes,
// wipes the context and leaves it initialised for the same variant, ready for a new message.

namespace vlrp11 {

struct Sha256Context {
    std::uint32_t total[2];  // bytes hashed: low word, then high word
    std::uint32_t state[8];
    std::uint8_t block[64];
    std::uint32_t is224;
};

inline constexpr std::size_t sha224_output_size = 28;
inline constexpr std::size_t sha256_output_size = 32;

void sha256_init(Sha256Context& ctx, bool is224) noexcept;
void sha256_update(Sha256Context& ctx, const void* data, std::size_t length) noexcept;
void sha256_final(Sha256Context& ctx, std::uint8_t* out) noexcept;

// SHA-256 of one message; out receives 32 bytes.
void sha256_digest(const void* data, std::size_t length, std::uint8_t out[32]) noexcept;

}  // namespace vlrp11
