#pragma once

#include <cstddef>
#include <cstdint>

// SHA-384 and SHA-512 (FIPS 180-4). The context is a plain record owned by the caller, with no
// interior pointer: it may be copied to fork a running digest. Final writes 48 or 64 bytes,
// wipes the context and leaves it initialised for the same variant, ready for a new message.

namespace vlrp11 {

struct Sha512Context {
    std::uint64_t total[2];  // bytes hashed: low, then high
    std::uint64_t state[8];
    std::uint8_t block[128];
    std::uint32_t is384;
    std::uint32_t spare;     // zero
};

inline constexpr std::size_t sha384_output_size = 48;
inline constexpr std::size_t sha512_output_size = 64;

void sha512_init(Sha512Context& ctx, bool is384) noexcept;
void sha512_update(Sha512Context& ctx, const void* data, std::size_t length) noexcept;
void sha512_final(Sha512Context& ctx, std::uint8_t* out) noexcept;

}  // namespace vlrp11
