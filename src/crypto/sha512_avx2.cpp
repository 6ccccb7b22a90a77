#include <immintrin.h>

#include <cstring>

#include "crypto/sha512_rounds.h"
#include "crypto/sha_compress.h"

// SHA-512 with the message schedule in vector registers, two words at a time, woven into the
// scalar rounds: the schedule then runs on the vector units while the rounds hold the integer
// units, instead of both competing for the latter. Each word is computed sixteen rounds ahead
// of its use and stored with its round constant added. Compiled for AVX2 (three-operand vector
// forms) and BMI2 (rotates without a copy); taken only when CPUID reports both.

#define VLRP11_SHA512_TARGET __attribute__((target("avx2,bmi,bmi2")))

namespace vlrp11 {

namespace {

using sha512_rounds::round;
using sha512_rounds::round_constants;

VLRP11_SHA512_TARGET inline __m128i load(const std::uint64_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

VLRP11_SHA512_TARGET inline void store(std::uint64_t* p, __m128i v)
{
    _mm_store_si128(reinterpret_cast<__m128i*>(p), v);
}

VLRP11_SHA512_TARGET inline __m128i rotr(__m128i x, int n)
{
    return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

// w[j] and w[j + 1] from the words before them, and the same plus their round constants in wk.
VLRP11_SHA512_TARGET inline void schedule_pair(std::uint64_t* w, std::uint64_t* wk, int j)
{
    const __m128i w2 = load(w + j - 2);
    const __m128i w15 = load(w + j - 15);
    const __m128i s0 = _mm_xor_si128(_mm_xor_si128(rotr(w15, 1), rotr(w15, 8)), _mm_srli_epi64(w15, 7));
    const __m128i s1 = _mm_xor_si128(_mm_xor_si128(rotr(w2, 19), rotr(w2, 61)), _mm_srli_epi64(w2, 6));
    const __m128i sum =
        _mm_add_epi64(_mm_add_epi64(load(w + j - 16), s0), _mm_add_epi64(load(w + j - 7), s1));
    store(w + j, sum);
    store(wk + j, _mm_add_epi64(sum, load(round_constants + j)));
}

// Rounds t … t + 15, scheduling the words of rounds t + 16 … t + 31 on the way.
VLRP11_SHA512_TARGET inline void sixteen_rounds(std::uint64_t v[8], std::uint64_t* w, std::uint64_t* wk, int t,
                                                std::uint64_t& b_xor_c)
{
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
        if (j % 2 == 0 && t + 16 < 80)
            schedule_pair(w, wk, t + j + 16);
        round(v[(0 - j) & 7], v[(1 - j) & 7], v[(3 - j) & 7], v[(4 - j) & 7], v[(5 - j) & 7], v[(6 - j) & 7],
              v[(7 - j) & 7], wk[t + j], b_xor_c);
    }
}

}  // namespace

VLRP11_SHA512_TARGET void sha512_compress_avx2(std::uint64_t state[8], const std::uint8_t* blocks,
                                               std::size_t count) noexcept
{
    alignas(16) std::uint64_t w[80], wk[80];
    const __m128i byte_swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    for (; count > 0; --count, blocks += 128) {
        for (int j = 0; j < 16; j += 2) {
            const __m128i words =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 8 * j)), byte_swap);
            store(w + j, words);
            store(wk + j, _mm_add_epi64(words, load(round_constants + j)));
        }
        std::uint64_t v[8];
        std::memcpy(v, state, sizeof v);
        std::uint64_t b_xor_c = v[1] ^ v[2];
        // Unrolled whole, so that no register has to return to its place at a loop's end.
#pragma GCC unroll 5
        for (int t = 0; t < 80; t += 16)
            sixteen_rounds(v, w, wk, t, b_xor_c);
        for (int i = 0; i < 8; ++i)
            state[i] += v[i];
    }
}

}  // namespace vlrp11
