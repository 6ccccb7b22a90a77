#include <immintrin.h>

#include <utility>

#include "crypto/sha_compress.h"

// SHA-256 with the SHA extensions. Only the functions here are compiled for those
// instructions, so the module still loads and runs on processors without them; the caller
// takes this path only after CPUID confirmed it.

#define VLRP11_SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))

namespace vlrp11 {

namespace {

struct Sha256Lanes {
    __m128i abef;
    __m128i cdgh;
    __m128i w[4];  // message words 4j..4j+3 of the current group j live in w[j % 4]
};

// Rounds 4j..4j+3. Meanwhile the schedule prepares later groups: the second half of group
// j + 1 (which needs group j's words) and the first half of group j + 3.
template <int J>
VLRP11_SHA_TARGET inline void four_rounds(Sha256Lanes& s, const std::uint8_t* block)
{
    if constexpr (J < 4) {
        const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
        s.w[J] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * J)), byte_swap);
    }
    __m128i words = _mm_add_epi32(s.w[J % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(sha256_round_constants + 4 * J)));
    s.cdgh = _mm_sha256rnds2_epu32(s.cdgh, s.abef, words);
    if constexpr (J >= 3 && J <= 14) {
        __m128i& next = s.w[(J + 1) % 4];
        next = _mm_add_epi32(next, _mm_alignr_epi8(s.w[J % 4], s.w[(J + 3) % 4], 4));
        next = _mm_sha256msg2_epu32(next, s.w[J % 4]);
    }
    words = _mm_shuffle_epi32(words, 0x0e);
    s.abef = _mm_sha256rnds2_epu32(s.abef, s.cdgh, words);
    if constexpr (J >= 1 && J <= 12)
        s.w[(J + 3) % 4] = _mm_sha256msg1_epu32(s.w[(J + 3) % 4], s.w[J % 4]);
}

template <int... J>
VLRP11_SHA_TARGET inline void all_rounds(Sha256Lanes& s, const std::uint8_t* block, std::integer_sequence<int, J...>)
{
    (four_rounds<J>(s, block), ...);
}

}  // namespace

VLRP11_SHA_TARGET void sha256_compress_shani(std::uint32_t state[8], const std::uint8_t* blocks, std::size_t count) noexcept
{
    // The round instruction wants the state as (A, B, E, F) and (C, D, G, H).
    const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xb1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1b);
    Sha256Lanes s;
    s.abef = _mm_alignr_epi8(cdab, efgh, 8);
    s.cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);

    for (; count > 0; --count, blocks += 64) {
        const __m128i abef_before = s.abef;
        const __m128i cdgh_before = s.cdgh;
        all_rounds(s, blocks, std::make_integer_sequence<int, 16>{});
        s.abef = _mm_add_epi32(s.abef, abef_before);
        s.cdgh = _mm_add_epi32(s.cdgh, cdgh_before);
    }

    const __m128i feba = _mm_shuffle_epi32(s.abef, 0x1b);
    const __m128i dchg = _mm_shuffle_epi32(s.cdgh, 0xb1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xf0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace vlrp11
