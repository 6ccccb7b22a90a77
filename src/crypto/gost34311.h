#pragma once

// GOST 34.311-95 hash (the GOST R 34.11-94 algorithm): 32-byte blocks, 32-byte output, built on
// GOST 28147-89 with a pluggable S-box.
//
// The context is a plain record owned by the caller; it holds no pointer into itself, so it may
// be copied to fork a hash in the middle of a message. sbox points to an S-box in the lookup form
// of gost28147_sbox.h that must outlive the context's use; null selects the default S-box.

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

inline constexpr std::size_t gost34311_digest_bytes = 32;
inline constexpr std::size_t gost34311_block_bytes = 32;

struct Gost34311Context {
    std::uint64_t sum[4];     // control sum, 256-bit little-endian
    std::uint64_t length[4];  // message length in bits, 256-bit little-endian
    std::uint64_t hash[4];    // chaining value H
    std::uint8_t block[32];   // pending input
    std::uint32_t index;      // bytes in block
    std::uint8_t zero[36];    // cleared with the rest
    const std::uint8_t* sbox;
};

// Clears the 168 bytes before sbox (H = 0, sum = 0, length = 0) and sets sbox to null. A caller
// wanting another S-box sets sbox after init.
void gost34311_init(Gost34311Context& ctx) noexcept;

// Adds length bytes of data; length 0 does nothing.
void gost34311_update(Gost34311Context& ctx, const std::uint8_t* data, std::size_t length) noexcept;

// Writes the 32-byte digest to out, then wipes the 168 bytes before sbox (sbox is kept), which
// leaves the context ready for a new message with the same S-box.
void gost34311_final(Gost34311Context& ctx, std::uint8_t* out) noexcept;

// One-shot hash with the default S-box.
void gost34311_digest(const std::uint8_t* data, std::size_t length, std::uint8_t* out) noexcept;

}  // namespace vlrp11
