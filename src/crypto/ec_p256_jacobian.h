#pragma once

// P-256 points in Jacobian coordinates (x = X/Z², y = Y/Z³, a = -3) for the fixed-base and the
// two-scalar multiplications. Z = 0 is the point at infinity. Every coordinate here, affine or
// Jacobian, is in Montgomery form (ec_p256_field.h) unless a function says otherwise. The unchecked formulas run the same
// operations whatever the values and serve secret scalars; the checked ones branch on the points
// and serve public data only.

#include "crypto/ec_p256.h"

namespace vlrp11::p256 {

struct AffinePoint {
    Limb x[P256_LIMBS];
    Limb y[P256_LIMBS];
};

struct JacobianPoint {
    Limb x[P256_LIMBS];
    Limb y[P256_LIMBS];
    Limb z[P256_LIMBS];
};

// r ← (x, y) on Z = 1 (Montgomery form of 1).
void from_affine(JacobianPoint& r, const Limb* x, const Limb* y) noexcept;

// r ← 2p; r may alias p. Infinity and points with y = 0 give infinity.
void point_double(JacobianPoint& r, const JacobianPoint& p) noexcept;

// r ← p + q for p neither infinity nor ±q; r may alias p. Otherwise the result is meaningless
// (a zero Z), and the caller selects around it.
void point_add_mixed(JacobianPoint& r, const JacobianPoint& p, const AffinePoint& q) noexcept;

// r ← p + q for any points, including infinity, equal and opposite ones; r may alias p.
void point_add_checked(JacobianPoint& r, const JacobianPoint& p, const JacobianPoint& q) noexcept;
void point_add_mixed_checked(JacobianPoint& r, const JacobianPoint& p,
                             const AffinePoint& q) noexcept;

// y ← p - y.
void negate_y(Limb* y) noexcept;

// r ← a⁻¹ as a^(p-2), in constant time; zero gives zero.
void field_invert(Limb* r, const Limb* a) noexcept;

// The affine form of a finite point, in constant time.
void to_affine(AffinePoint& r, const JacobianPoint& p) noexcept;

// out[j] ← the affine form of points[j], j < count ≤ MAX_NORMALIZED, with one inversion
// (Montgomery's trick); no point may be at infinity.
inline constexpr std::size_t MAX_NORMALIZED = 64;
void normalize(AffinePoint* out, const JacobianPoint* points, std::size_t count) noexcept;

// Sets out to ±entries[index - 1] for index 1 … count, all zero for index 0, reading every
// entry whatever the index; negative is 0 or 1.
void select_entry(AffinePoint& out, const AffinePoint* entries, std::size_t count, Limb index,
                  Limb negative) noexcept;

// The multiples j·2^(6i)·G, j = 1 … 32, for windows i = 0 … 42 of a 256-bit scalar, affine.
// Built on first use, once per process; callers on any number of threads may race to it.
inline constexpr std::size_t BASE_WINDOW_BITS = 6;
inline constexpr std::size_t BASE_WINDOWS = 43;
inline constexpr std::size_t BASE_WINDOW_ENTRIES = 32;
struct BaseTable {
    AffinePoint point[BASE_WINDOWS][BASE_WINDOW_ENTRIES];

    BaseTable() noexcept;
};
const BaseTable& base_table() noexcept;

// out ← d·G for 1 ≤ d < n by signed fixed windows over base_table(), in constant time; out is
// in plain form.
void base_mul(AffinePoint& out, const Limb* d) noexcept;

// r ← u1·G + u2·Q by interleaved windowed NAFs (one doubling chain for both scalars), on public
// data; u1 may be zero, q is in plain form. A sum at infinity gives EC_INVERSE_OF_ZERO.
std::uint8_t double_mul(JacobianPoint& r, const Limb* u1, const Limb* u2,
                        const AffinePoint& q) noexcept;

}  // namespace vlrp11::p256
