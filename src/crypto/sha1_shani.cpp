#include <immintrin.h>

#include <utility>

#include "crypto/sha_compress.h"

// SHA-1 with the SHA extensions. Only the functions here are compiled for those instructions,
// so the module still loads and runs on processors without them; the caller takes this path
// only after CPUID confirmed it.

#define VLRP11_SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))

namespace vlrp11 {

namespace {

struct Sha1Lanes {
    __m128i abcd;
    __m128i e[2];  // E plus message words; groups alternate between the two
    __m128i w[4];  // message words 4j..4j+3 of group j live in w[j % 4]
};

// Rounds 4j..4j+3 (the round function changes every five groups). Meanwhile the schedule
// finishes group j + 1, mixes group j into group j + 2 and starts group j + 3.
template <int J>
VLRP11_SHA_TARGET inline void four_rounds(Sha1Lanes& s, const std::uint8_t* block)
{
    if constexpr (J < 4) {
        const __m128i byte_swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
        s.w[J] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * J)), byte_swap);
    }
    __m128i& e = s.e[J % 2];
    if constexpr (J == 0)
        e = _mm_add_epi32(e, s.w[0]);
    else
        e = _mm_sha1nexte_epu32(e, s.w[J % 4]);
    s.e[(J + 1) % 2] = s.abcd;
    if constexpr (J >= 3 && J <= 18)
        s.w[(J + 1) % 4] = _mm_sha1msg2_epu32(s.w[(J + 1) % 4], s.w[J % 4]);
    s.abcd = _mm_sha1rnds4_epu32(s.abcd, e, J / 5);
    if constexpr (J >= 1 && J <= 16)
        s.w[(J + 3) % 4] = _mm_sha1msg1_epu32(s.w[(J + 3) % 4], s.w[J % 4]);
    if constexpr (J >= 2 && J <= 17)
        s.w[(J + 2) % 4] = _mm_xor_si128(s.w[(J + 2) % 4], s.w[J % 4]);
}

template <int... J>
VLRP11_SHA_TARGET inline void all_rounds(Sha1Lanes& s, const std::uint8_t* block, std::integer_sequence<int, J...>)
{
    (four_rounds<J>(s, block), ...);
}

}  // namespace

VLRP11_SHA_TARGET void sha1_compress_shani(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) noexcept
{
    Sha1Lanes s;
    s.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1b);
    __m128i e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i abcd_before = s.abcd;
        const __m128i e_before = e;
        s.e[0] = e;
        all_rounds(s, blocks, std::make_integer_sequence<int, 20>{});
        // After group 19, e[0] holds A..D from before the last four rounds: its rotated A is E.
        e = _mm_sha1nexte_epu32(s.e[0], e_before);
        s.abcd = _mm_add_epi32(s.abcd, abcd_before);
    }

    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(s.abcd, 0x1b));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e, 3));
}

}  // namespace vlrp11
