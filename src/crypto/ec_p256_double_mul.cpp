#include <cstdint>

#include "crypto/ec_curve.h"
#include "crypto/ec_p256_field.h"

#include "crypto/ec_p256_jacobian.h"

// u1·G + u2·Q on public data (signature verification): both scalars in width-w NAF, G's odd
// multiples up to 127·G from a table built once per process, Q's up to 15·Q computed per
// call, all added into one chain of 256 doublings.

namespace vlrp11::p256 {
namespace {

constexpr unsigned G_WIDTH = 8;
constexpr std::size_t G_MULTIPLES = std::size_t{1} << (G_WIDTH - 2);
constexpr unsigned Q_WIDTH = 5;
constexpr std::size_t Q_MULTIPLES = std::size_t{1} << (Q_WIDTH - 2);
constexpr std::size_t NAF_DIGITS = 257;

// digits[i] ∈ {0, ±1, ±3, …, ±(2^(w-1) - 1)} with k = Σ digits[i]·2^i, any two non-zero digits
// at least w apart. Returns the number of digits up to the last non-zero one.
std::size_t wnaf(std::int8_t* digits, const Limb* k, unsigned w) noexcept
{
    Limb v[P256_LIMBS + 1];
    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        v[i] = k[i];
    v[P256_LIMBS] = 0;
    const Limb window = Limb{1} << w;
    std::size_t length = 0;
    for (std::size_t i = 0; i < NAF_DIGITS; ++i) {
        std::int8_t digit = 0;
        if (v[0] & 1) {
            Limb low = v[0] & (window - 1);
            if (low >= window / 2) {
                // A negative digit: add 2^w - low, carrying upwards.
                const Limb add = window - low;
                digit = static_cast<std::int8_t>(-static_cast<int>(add));
                Limb carry = add;
                for (std::size_t j = 0; j <= P256_LIMBS && carry != 0; ++j) {
                    v[j] += carry;
                    carry = v[j] < carry ? 1 : 0;
                }
            } else {
                digit = static_cast<std::int8_t>(low);
                v[0] -= low;
            }
        }
        digits[i] = digit;
        if (digit != 0)
            length = i + 1;
        for (std::size_t j = 0; j < P256_LIMBS; ++j)
            v[j] = (v[j] >> 1) | (v[j + 1] << 63);
        v[P256_LIMBS] >>= 1;
    }
    return length;
}

// multiple[j] = (2j + 1)·G.
struct OddMultiplesOfG {
    AffinePoint multiple[G_MULTIPLES];

    OddMultiplesOfG() noexcept
    {
        JacobianPoint points[G_MULTIPLES], twice;
        Limb gx[P256_LIMBS], gy[P256_LIMBS];
        to_mont(gx, EC_P256.gx);
        to_mont(gy, EC_P256.gy);
        from_affine(points[0], gx, gy);
        point_double(twice, points[0]);
        for (std::size_t j = 1; j < G_MULTIPLES; ++j)
            point_add_checked(points[j], points[j - 1], twice);
        normalize(multiple, points, G_MULTIPLES);
    }
};

}  // namespace

std::uint8_t double_mul(JacobianPoint& r, const Limb* u1, const Limb* u2,
                        const AffinePoint& q) noexcept
{
    std::int8_t g_digits[NAF_DIGITS], q_digits[NAF_DIGITS];
    const std::size_t g_length = wnaf(g_digits, u1, G_WIDTH);
    const std::size_t q_length = wnaf(q_digits, u2, Q_WIDTH);

    JacobianPoint q_odd[Q_MULTIPLES], twice;
    Limb qx[P256_LIMBS], qy[P256_LIMBS];
    to_mont(qx, q.x);
    to_mont(qy, q.y);
    from_affine(q_odd[0], qx, qy);
    point_double(twice, q_odd[0]);
    for (std::size_t j = 1; j < Q_MULTIPLES; ++j)
        point_add_checked(q_odd[j], q_odd[j - 1], twice);
    static const OddMultiplesOfG g_odd;  // built once, even when threads race here

    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        r.x[i] = r.y[i] = r.z[i] = 0;
    for (std::size_t i = g_length > q_length ? g_length : q_length; i-- > 0;) {
        point_double(r, r);
        if (const int d = g_digits[i]; d != 0) {
            AffinePoint g = g_odd.multiple[((d > 0 ? d : -d) - 1) / 2];
            if (d < 0)
                negate_y(g.y);
            point_add_mixed_checked(r, r, g);
        }
        if (const int d = q_digits[i]; d != 0) {
            JacobianPoint p = q_odd[((d > 0 ? d : -d) - 1) / 2];
            if (d < 0)
                negate_y(p.y);
            point_add_checked(r, r, p);
        }
    }
    return limbs_is_zero(r.z, P256_LIMBS) ? EC_INVERSE_OF_ZERO : EC_OK;
}

}  // namespace vlrp11::p256
