#include "crypto/ec_bignum.h"
#include "crypto/ec_limbs_fixed.h"

// The runtime limb count picks the fixed-size form, which the compiler unrolls.

namespace vlrp11 {
namespace {

template <std::size_t... Sizes>
bool mul_dispatch(Limb* product, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    return ((n == Sizes && (fixed::mul<Sizes>(product, a, b), true)) || ...);
}

template <std::size_t... Sizes>
bool square_dispatch(Limb* product, const Limb* a, std::size_t n) noexcept
{
    return ((n == Sizes && (fixed::square<Sizes>(product, a), true)) || ...);
}

}  // namespace

void limbs_mul(Limb* product, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    mul_dispatch<1, 2, 3, 4, 5, 6, 7, 8, 9>(product, a, b, n);
}

void limbs_square(Limb* product, const Limb* a, std::size_t n) noexcept
{
    square_dispatch<1, 2, 3, 4, 5, 6, 7, 8, 9>(product, a, n);
}

}  // namespace vlrp11
