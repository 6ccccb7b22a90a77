#include <immintrin.h>

#include "crypto/aes_paths.h"
#include "platform/wipe.h"

// CBC on the AES instructions, with the round keys held in registers for the whole message.
// Encryption is a chain, each block waiting for the one before, so the chaining value never
// leaves its register. Decryption has no such chain: eight blocks go through the rounds
// side by side, which keeps the AES unit busy while each instruction's latency runs out.

#define VLRP11_AES_TARGET __attribute__((target("aes,sse4.1")))

namespace vlrp11 {

namespace {

constexpr std::size_t lanes = 8;

VLRP11_AES_TARGET inline __m128i load(const std::uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

VLRP11_AES_TARGET inline void store(std::uint8_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <int Rounds>
VLRP11_AES_TARGET void encrypt(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in,
                               std::uint8_t* out, std::size_t blocks) noexcept
{
    __m128i keys[Rounds + 1];
    for (int r = 0; r <= Rounds; ++r)
        keys[r] = load(schedule.enc_round_keys[r]);
    __m128i state = load(chain);
    for (std::size_t b = 0; b < blocks; ++b, in += 16, out += 16) {
        state = _mm_xor_si128(state, _mm_xor_si128(load(in), keys[0]));
        for (int r = 1; r < Rounds; ++r)
            state = _mm_aesenc_si128(state, keys[r]);
        state = _mm_aesenclast_si128(state, keys[Rounds]);
        store(out, state);
    }
    store(chain, state);
    secure_wipe(keys);
}

template <int Rounds>
VLRP11_AES_TARGET void decrypt(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in,
                               std::uint8_t* out, std::size_t blocks) noexcept
{
    __m128i keys[Rounds + 1];
    for (int r = 0; r <= Rounds; ++r)
        keys[r] = load(schedule.dec_round_keys[r]);
    __m128i previous = load(chain);
    for (; blocks >= lanes; blocks -= lanes, in += 16 * lanes, out += 16 * lanes) {
        __m128i cipher[lanes], state[lanes];
        for (std::size_t i = 0; i < lanes; ++i) {
            cipher[i] = load(in + 16 * i);  // all read before any write: in may be out
            state[i] = _mm_xor_si128(cipher[i], keys[0]);
        }
        for (int r = 1; r < Rounds; ++r) {
            for (std::size_t i = 0; i < lanes; ++i)
                state[i] = _mm_aesdec_si128(state[i], keys[r]);
        }
        for (std::size_t i = 0; i < lanes; ++i) {
            state[i] = _mm_aesdeclast_si128(state[i], keys[Rounds]);
            store(out + 16 * i, _mm_xor_si128(state[i], i == 0 ? previous : cipher[i - 1]));
        }
        previous = cipher[lanes - 1];
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        const __m128i cipher = load(in);
        __m128i state = _mm_xor_si128(cipher, keys[0]);
        for (int r = 1; r < Rounds; ++r)
            state = _mm_aesdec_si128(state, keys[r]);
        state = _mm_aesdeclast_si128(state, keys[Rounds]);
        store(out, _mm_xor_si128(state, previous));
        previous = cipher;
    }
    store(chain, previous);
    secure_wipe(keys);
}

}  // namespace

void aes_cbc_encrypt_ni(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                        std::size_t blocks) noexcept
{
    if (schedule.rounds == 10)
        encrypt<10>(schedule, chain, in, out, blocks);
    else if (schedule.rounds == 12)
        encrypt<12>(schedule, chain, in, out, blocks);
    else
        encrypt<14>(schedule, chain, in, out, blocks);
}

void aes_cbc_decrypt_ni(const AesKey& schedule, std::uint8_t chain[16], const std::uint8_t* in, std::uint8_t* out,
                        std::size_t blocks) noexcept
{
    if (schedule.rounds == 10)
        decrypt<10>(schedule, chain, in, out, blocks);
    else if (schedule.rounds == 12)
        decrypt<12>(schedule, chain, in, out, blocks);
    else
        decrypt<14>(schedule, chain, in, out, blocks);
}

}  // namespace vlrp11
