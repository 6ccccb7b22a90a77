#pragma once

#include <cstddef>
#include <cstdint>

// AES (FIPS 197) with 128-, 192- and 256-bit keys, one 16-byte block at a time. Two
// implementations stand behind these calls, the processor's AES instructions and lookup
// tables; the choice is made by CPUID at the first aes_set_key of the process and never
// changes, so a schedule always meets the implementation that built it.

namespace vlrp11 {

// A key schedule. Its holder owns it and wipes it when the key's use ends. The round key
// bytes are laid out for the implementation that built the schedule.
struct AesKey {
    std::uint8_t enc_round_keys[15][16];  // round keys 0..rounds
    std::uint8_t dec_round_keys[15][16];  // equivalent inverse cipher: entry 0 = round key
                                          // `rounds`, entry j = InvMixColumns(round key rounds - j)
    std::int32_t rounds;                  // 10, 12 or 14
};

inline constexpr std::uint8_t aes_bad_key_size = 213;

// Builds the schedule for a key of key_bits (128, 192 or 256) bits. Returns 0, or
// aes_bad_key_size for any other size, leaving the schedule unusable.
std::uint8_t aes_set_key(AesKey& schedule, const std::uint8_t* key, unsigned key_bits) noexcept;

// Encrypt or decrypt one block; in and out may be the same buffer. Always return 0.
std::uint8_t aes_encrypt_block(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept;
std::uint8_t aes_decrypt_block(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept;

// CBC over whole blocks: `blocks` 16-byte blocks from in to out. chain holds the IV on entry
// and the last ciphertext block on return, so a message may be processed in pieces. in and out
// may be the same buffer but must not overlap otherwise.
void aes_cbc_encrypt(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) noexcept;
void aes_cbc_decrypt(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                     std::size_t blocks) noexcept;

}  // namespace vlrp11
