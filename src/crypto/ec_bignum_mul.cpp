#include "crypto/ec_bignum.h"

// Product scanning: column k of the product collects every a[i]·b[k - i] in a three-limb
// accumulator before its low limb is stored. The fixed-size forms let the compiler unroll the
// columns of the limb counts the curves use.

namespace vlrp11 {
namespace {

struct Accumulator {
    DoubleLimb low = 0;
    Limb high = 0;

    void add(DoubleLimb t) noexcept
    {
        low += t;
        high += low < t;
    }
    void twice() noexcept
    {
        high = (high << 1) | static_cast<Limb>(low >> 127);
        low <<= 1;
    }
    Limb take() noexcept
    {
        const Limb out = static_cast<Limb>(low);
        low = (low >> 64) | (DoubleLimb{high} << 64);
        high = 0;
        return out;
    }
};

template <std::size_t N>
void mul_fixed(Limb* product, const Limb* a, const Limb* b) noexcept
{
    Accumulator acc;
    for (std::size_t k = 0; k + 1 < 2 * N; ++k) {
        const std::size_t first = k < N ? 0 : k - N + 1;
        const std::size_t last = k < N ? k : N - 1;
        for (std::size_t i = first; i <= last; ++i)
            acc.add(DoubleLimb{a[i]} * b[k - i]);
        product[k] = acc.take();
    }
    product[2 * N - 1] = acc.take();
}

// The cross products a[i]·a[j], i < j, are summed once and doubled before the square term.
template <std::size_t N>
void square_fixed(Limb* product, const Limb* a) noexcept
{
    Accumulator acc;
    for (std::size_t k = 0; k + 1 < 2 * N; ++k) {
        const std::size_t first = k < N ? 0 : k - N + 1;
        Accumulator cross;
        for (std::size_t i = first; 2 * i < k; ++i)
            cross.add(DoubleLimb{a[i]} * a[k - i]);
        cross.twice();
        acc.add(cross.low);
        acc.high += cross.high;
        if (k % 2 == 0)
            acc.add(DoubleLimb{a[k / 2]} * a[k / 2]);
        product[k] = acc.take();
    }
    product[2 * N - 1] = acc.take();
}

template <std::size_t... Sizes>
bool mul_dispatch(Limb* product, const Limb* a, const Limb* b, std::size_t n) noexcept
{
    return ((n == Sizes && (mul_fixed<Sizes>(product, a, b), true)) || ...);
}

template <std::size_t... Sizes>
bool square_dispatch(Limb* product, const Limb* a, std::size_t n) noexcept
{
    return ((n == Sizes && (square_fixed<Sizes>(product, a), true)) || ...);
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
