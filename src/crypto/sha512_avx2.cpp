#include <immintrin.h>

#include <cstring>

#include "crypto/sha512_rounds.h"
#include "crypto/sha_compress.h"

// SHA-512 with the message schedule of two blocks at once in vector registers: each 256-bit
// register holds two consecutive words of the first block in its low half and the same two
// of the second block in its high half, so one vector step schedules four words. The first
// block's scalar rounds run with the schedule woven in, the vector units working while the
// rounds hold the integer units; the second block's rounds then read their words, round
// constants already added, from what the first block left behind. A lone block goes through
// both halves and its second half is not used. Compiled for AVX2 and BMI2 (rotates without a
// copy); taken only when CPUID reports both.

#define VLRP11_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2")))

namespace vlrp11 {

namespace {

using sha512_rounds::round;
using sha512_rounds::round_constants;

VLRP11_SHA512_TARGET inline __m256i rotr(__m256i x, int n)
{
    return _mm256_or_si256(_mm256_srli_epi64(x, n), _mm256_slli_epi64(x, 64 - n));
}

// The round constants of words 2p and 2p + 1, for both halves.
VLRP11_SHA512_TARGET inline __m256i constants_of_pair(int p)
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(round_constants + 2 * p)));
}

// The next pair of both blocks from the sixteen words before it, which sit in x with the
// pair sixteen words back in x[i]; the result replaces that one.
VLRP11_SHA512_TARGET inline __m256i next_pair(const __m256i x[8], int i)
{
    // A rotation by eight bits is a byte shuffle, one instruction instead of three.
    const __m256i rotr8 = _mm256_set_epi8(8, 15, 14, 13, 12, 11, 10, 9, 0, 7, 6, 5, 4, 3, 2, 1, 8, 15, 14, 13, 12, 11,
                                          10, 9, 0, 7, 6, 5, 4, 3, 2, 1);
    const __m256i w16 = x[i];
    const __m256i w15 = _mm256_alignr_epi8(x[(i + 1) & 7], w16, 8);
    const __m256i w7 = _mm256_alignr_epi8(x[(i + 5) & 7], x[(i + 4) & 7], 8);
    const __m256i w2 = x[(i + 7) & 7];
    const __m256i s0 = _mm256_xor_si256(_mm256_xor_si256(rotr(w15, 1), _mm256_shuffle_epi8(w15, rotr8)),
                                        _mm256_srli_epi64(w15, 7));
    const __m256i s1 = _mm256_xor_si256(_mm256_xor_si256(rotr(w2, 19), rotr(w2, 61)), _mm256_srli_epi64(w2, 6));
    return _mm256_add_epi64(_mm256_add_epi64(w16, s0), _mm256_add_epi64(w7, s1));
}

// The words of pair p plus their round constants, kept where both blocks' rounds find them.
VLRP11_SHA512_TARGET inline void keep(std::uint64_t* wk, __m256i pair, int p)
{
    _mm256_store_si256(reinterpret_cast<__m256i*>(wk + 4 * p), _mm256_add_epi64(pair, constants_of_pair(p)));
}

// Rounds t … t + 15 of the block whose words sit at offset `half` (0 or 2) in each group of
// four; with `schedule`, pairs t / 2 + 8 … t / 2 + 15 of both blocks are computed on the way.
// Always inlined: a call would leave the working variables in memory.
[[gnu::always_inline]] VLRP11_SHA512_TARGET inline void sixteen_rounds(std::uint64_t v[8], __m256i x[8],
                                                                       std::uint64_t (&wk)[160], int t, int half,
                                                                       bool schedule, std::uint64_t& b_xor_c)
{
    // Hides from the compiler what the stores before it left in wk: it would otherwise take
    // each word out of the vector register it was stored from, two instructions where one
    // load suffices. A word is stored at least sixteen rounds before it is read.
    asm("" : "+m"(wk));
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
        if (schedule && j % 2 == 0 && t < 64) {
            const int p = (t + j) / 2 + 8;
            x[j / 2] = next_pair(x, j / 2);
            keep(wk, x[j / 2], p);
        }
        round(v[(0 - j) & 7], v[(1 - j) & 7], v[(3 - j) & 7], v[(4 - j) & 7], v[(5 - j) & 7], v[(6 - j) & 7],
              v[(7 - j) & 7], wk[2 * ((t + j) & ~1) + half + (j & 1)], b_xor_c);
    }
}

}  // namespace

VLRP11_SHA512_TARGET void sha512_compress_avx2(std::uint64_t state[8], const std::uint8_t* blocks,
                                               std::size_t count) noexcept
{
    const __m256i byte_swap = _mm256_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                              14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    alignas(32) std::uint64_t wk[160];
    std::uint64_t s[8];
    std::memcpy(s, state, sizeof s);
    while (count > 0) {
        const std::size_t taken = count > 1 ? 2 : 1;
        const std::uint8_t* second = blocks + 128 * (taken - 1);
        __m256i x[8];
        for (int p = 0; p < 8; ++p) {
            const __m128i first_half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * p));
            const __m128i second_half = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * p));
            x[p] = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(first_half), second_half, 1),
                                       byte_swap);
            keep(wk, x[p], p);
        }

        std::uint64_t v[8];
        std::memcpy(v, s, sizeof v);
        std::uint64_t b_xor_c = v[1] ^ v[2];
        // Unrolled whole, so that every index is a constant and no register has to return to
        // its place at a loop's end. Pair p is scheduled sixteen rounds before its first use.
#pragma GCC unroll 5
        for (int t = 0; t < 80; t += 16)
            sixteen_rounds(v, x, wk, t, 0, true, b_xor_c);
        for (int i = 0; i < 8; ++i)
            s[i] += v[i];

        if (taken == 2) {
            std::memcpy(v, s, sizeof v);
            b_xor_c = v[1] ^ v[2];
#pragma GCC unroll 5
            for (int t = 0; t < 80; t += 16)
                sixteen_rounds(v, x, wk, t, 2, false, b_xor_c);
            for (int i = 0; i < 8; ++i)
                s[i] += v[i];
        }
        count -= taken;
        blocks += 128 * taken;
    }
    std::memcpy(state, s, sizeof s);
}

}  // namespace vlrp11
