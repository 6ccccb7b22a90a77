#include <immintrin.h>

#include <cstring>

#include "crypto/aes_paths.h"
#include "crypto/byte_order.h"
#include "platform/wipe.h"

// The AES-instruction implementation. Only the functions here are compiled for those
// instructions, so the module still loads and runs on processors without them; the caller
// takes this path only after CPUID confirmed AES-NI and SSE4.1. Round keys are raw bytes.

#define VLRP11_AES_TARGET __attribute__((target("aes,sse4.1")))

namespace vlrp11 {

namespace {

VLRP11_AES_TARGET inline __m128i load_key(const std::uint8_t (&keys)[15][16], int index)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys[index]));
}

}  // namespace

// The encryption round keys come from the shared FIPS 197 expansion, stored as bytes; the
// decryption keys are the inverse-mix-columns images of the middle keys, in reverse order.
VLRP11_AES_TARGET void aes_set_key_ni(AesKey& schedule, const std::uint8_t* key, unsigned key_bits) noexcept
{
    std::memset(&schedule, 0, sizeof schedule);
    std::uint32_t words[60];
    const int rounds = aes_expand_key(key, key_bits, words);
    schedule.rounds = rounds;
    for (int i = 0; i < 4 * (rounds + 1); ++i)
        store_be32(&schedule.enc_round_keys[i / 4][4 * (i % 4)], words[i]);
    secure_wipe(words);

    std::memcpy(schedule.dec_round_keys[0], schedule.enc_round_keys[rounds], 16);
    std::memcpy(schedule.dec_round_keys[rounds], schedule.enc_round_keys[0], 16);
    for (int j = 1; j < rounds; ++j)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(schedule.dec_round_keys[j]),
                         _mm_aesimc_si128(load_key(schedule.enc_round_keys, rounds - j)));
}

VLRP11_AES_TARGET void aes_encrypt_block_ni(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept
{
    const auto& keys = schedule.enc_round_keys;
    __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), load_key(keys, 0));
    for (int r = 1; r < 10; ++r)
        s = _mm_aesenc_si128(s, load_key(keys, r));
    for (int r = 10; r < schedule.rounds; ++r)
        s = _mm_aesenc_si128(s, load_key(keys, r));
    s = _mm_aesenclast_si128(s, load_key(keys, schedule.rounds));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), s);
}

VLRP11_AES_TARGET void aes_decrypt_block_ni(const AesKey& schedule, const std::uint8_t in[16], std::uint8_t out[16]) noexcept
{
    const auto& keys = schedule.dec_round_keys;
    __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), load_key(keys, 0));
    for (int r = 1; r < 10; ++r)
        s = _mm_aesdec_si128(s, load_key(keys, r));
    for (int r = 10; r < schedule.rounds; ++r)
        s = _mm_aesdec_si128(s, load_key(keys, r));
    s = _mm_aesdeclast_si128(s, load_key(keys, schedule.rounds));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), s);
}

}  // namespace vlrp11
