#pragma once

#include <cstddef>
#include <cstdint>

// Kupyna (DSTU 7564:2014) with 256-, 384- and 512-bit output. The context is a plain record
// owned by the caller, with no interior pointer. Unlike the SHA family, final does not leave
// the context ready for a new message: it wipes the state and the caller initialises afresh.

namespace vlrp11 {

struct KupynaContext {
    std::uint64_t state[16];       // chaining state, column j in word j (row 0 in the low byte);
                                   // the first 8 words when the state is 512 bits
    std::uint8_t block[128];       // pending input
    std::uint64_t bit_length[2];   // message length in bits: low, then high
    std::uint64_t block_size;      // 64 (512-bit state) or 128 (1024-bit state)
    std::uint64_t index;           // bytes held in block
    std::uint64_t output_size;     // bytes written by final
};

// output_size is 32, 48 or 64 for Kupyna-256, -384, -512. Any size up to 64 bytes works the
// standard's way (up to 32 on the 512-bit state, above on the 1024-bit state); larger sizes are
// cut to 64.
void kupyna_init(KupynaContext& ctx, std::size_t output_size) noexcept;
void kupyna_update(KupynaContext& ctx, const void* data, std::size_t length) noexcept;
void kupyna_final(KupynaContext& ctx, std::uint8_t* out) noexcept;

}  // namespace vlrp11
