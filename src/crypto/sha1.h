#pragma once

#include <cstddef>
#include <cstdint>

// SHA-1 (FIPS 180-4). The context is a plain record owned by the caller, with no interior
// pointer: it may be copied to fork a running digest. Final writes 20 bytes, wipes the context
// and leaves it initialised, ready for a new message.

namespace vlrp11 {

struct Sha1Context {
    std::uint32_t state[5];
    std::uint8_t block[64];
    std::uint32_t index;        // bytes held in block
    std::uint64_t bit_length;
};
static_assert(sizeof(Sha1Context) == 96);

inline constexpr std::size_t sha1_output_size = 20;

void sha1_init(Sha1Context& ctx) noexcept;
void sha1_update(Sha1Context& ctx, const void* data, std::size_t length) noexcept;
void sha1_final(Sha1Context& ctx, std::uint8_t out[20]) noexcept;

// SHA-1 of one message; out receives 20 bytes.
void sha1_digest(const void* data, std::size_t length, std::uint8_t out[20]) noexcept;

}  // namespace vlrp11
