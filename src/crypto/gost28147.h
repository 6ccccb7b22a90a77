#pragma once

// GOST 28147-89 block cipher: the block transformation, ECB over whole blocks, the counter
// (gamma) mode and the 16-round MAC step.
//
// Key: eight 32-bit words K0..K7 (gost28147_load_key reads them from 32 bytes, little-endian).
// Block: 8 bytes, N1 = bytes 0..3 and N2 = bytes 4..7, both little-endian; results are written
// back in the same layout. Nothing here keeps state between calls or allocates; the counter
// state, gamma buffer and position of the counter mode belong to the caller.

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

inline constexpr std::size_t gost28147_block_bytes = 8;
inline constexpr std::size_t gost28147_key_bytes = 32;

// Reads the 32 key bytes as the words K0..K7.
void gost28147_load_key(const std::uint8_t* key_bytes, std::uint32_t* key) noexcept;

// Encrypts one 8-byte block in place (32 rounds: K0..K7 three times, then K7..K0). sbox is an
// S-box in the 64-byte lookup form (gost28147_sbox.h); null selects the default S-box.
void gost28147_encrypt_block(std::uint8_t* block, const std::uint32_t* key,
                             const std::uint8_t* sbox) noexcept;

// Decrypts one 8-byte block in place with the default S-box.
void gost28147_decrypt_block(std::uint8_t* block, const std::uint32_t* key) noexcept;

// Encrypts length / 8 whole blocks from in to out with the default S-box. A trailing partial
// block is neither processed nor copied. in and out may be the same buffer.
void gost28147_ecb_encrypt(const std::uint32_t* key, const std::uint8_t* in, std::size_t length,
                           std::uint8_t* out) noexcept;

// Decrypts whole blocks the same way.
void gost28147_ecb_decrypt(const std::uint32_t* key, const std::uint8_t* in, std::size_t length,
                           std::uint8_t* out) noexcept;

// Counter mode with the default S-box; the same call encrypts and decrypts. counter holds
// N3 || N4 in block layout and gamma the current keystream block, both 8 bytes and both
// updated. position is the offset into gamma (0..7): when it is null or holds -1 (or any other
// value outside 0..7) the counter is first encrypted in place to start the stream; when it is
// not null the final offset is stored so that the next call continues the same stream. in and
// out may be the same buffer.
void gost28147_ctr(const std::uint32_t* key, std::int32_t* position, std::uint8_t* counter,
                   std::uint8_t* gamma, const std::uint8_t* in, std::size_t length,
                   std::uint8_t* out) noexcept;

// Four MAC steps over exactly 32 bytes of data: for each 8-byte block, (N1, N2) ^= block, then
// 16 rounds (K0..K7 twice, halves swapped after every round) with the default S-box. state holds
// N1, N2 in and out; the 32-bit MAC is N1.
void gost28147_mac32(std::uint32_t* state, const std::uint8_t* data,
                     const std::uint32_t* key) noexcept;

}  // namespace vlrp11
