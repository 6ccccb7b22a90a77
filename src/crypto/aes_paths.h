#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/aes.h"

// The two AES implementations, callable directly so that tests can run both on one machine.
// A schedule built by one must only be used with the same one. Key sizes are checked by the
// caller: key_bits is 128, 192 or 256.

namespace vlrp11 {

// The FIPS 197 key expansion: 4 * (rounds + 1) words, each the big-endian reading of four
// key bytes. Returns the number of rounds.
int aes_expand_key(const std::uint8_t* key, unsigned key_bits, std::uint32_t words[60]) noexcept;

void aes_set_key_tables(AesKey& schedule, const std::uint8_t* key, unsigned key_bits) noexcept;
void aes_encrypt_block_tables(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept;
void aes_decrypt_block_tables(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept;
void aes_cbc_encrypt_tables(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in,
                            std::uint8_t* out, std::size_t blocks) noexcept;
void aes_cbc_decrypt_tables(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in,
                            std::uint8_t* out, std::size_t blocks) noexcept;

// Only on a processor with AES-NI and SSE4.1 (aes_instructions_supported).
void aes_set_key_ni(AesKey& schedule, const std::uint8_t* key, unsigned key_bits) noexcept;
void aes_encrypt_block_ni(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept;
void aes_decrypt_block_ni(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept;
void aes_cbc_encrypt_ni(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                        std::size_t blocks) noexcept;
void aes_cbc_decrypt_ni(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                        std::size_t blocks) noexcept;

}  // namespace vlrp11
