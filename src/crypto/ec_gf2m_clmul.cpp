#include <immintrin.h>

#include "crypto/ec_gf2m.h"

// Carry-less products with PCLMULQDQ. The target attribute enables the instruction for these
// functions alone; gf2_mul calls them only when CPUID reports it.

namespace vlrp11 {

#define VLRP11_CLMUL __attribute__((target("pclmul")))

namespace {

VLRP11_CLMUL inline __m128i clmul(Limb a, Limb b) noexcept
{
    return _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(a)),
                                _mm_cvtsi64_si128(static_cast<long long>(b)), 0x00);
}

VLRP11_CLMUL inline void store(Limb* r, __m128i v) noexcept
{
    r[0] = static_cast<Limb>(_mm_cvtsi128_si64(v));
    r[1] = static_cast<Limb>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)));
}

}  // namespace

// Column by column: every a[i]·b[k - i] of column k is summed before the column is stored, the
// high half carrying into the next column.
VLRP11_CLMUL void gf2_mul_clmul(Limb* r, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    __m128i carry = _mm_setzero_si128();
    for (std::size_t k = 0; k + 1 < 2 * n; ++k) {
        __m128i column = carry;
        const std::size_t first = k < n ? 0 : k - n + 1;
        const std::size_t last = k < n ? k : n - 1;
        for (std::size_t i = first; i <= last; ++i)
            column = _mm_xor_si128(column, clmul(a[i], b[k - i]));
        r[k] = static_cast<Limb>(_mm_cvtsi128_si64(column));
        carry = _mm_srli_si128(column, 8);
    }
    r[2 * n - 1] = static_cast<Limb>(_mm_cvtsi128_si64(carry));
}

VLRP11_CLMUL void gf2_sqr_clmul(Limb* r, const Limb* a, std::size_t n) noexcept
{
    for (std::size_t i = 0; i < n; ++i)
        store(r + 2 * i, clmul(a[i], a[i]));
}

#undef VLRP11_CLMUL

}  // namespace vlrp11
