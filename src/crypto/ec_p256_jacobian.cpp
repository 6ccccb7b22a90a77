#include "crypto/ec_p256_jacobian.h"

#include "crypto/ec_p256_field.h"

// Formulas from the Explicit-Formulas Database: dbl-2001-b (3M + 5S), madd-2004-hmv (8M + 3S)
// and add-1998-cmo-2 (12M + 4S). The point operations are flattened: with the field
// multiplication inlined the compiler keeps the operands in registers, a tenth faster.

namespace vlrp11::p256 {
namespace {

void copy(Limb* r, const Limb* a) noexcept
{
    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        r[i] = a[i];
}

bool is_zero(const Limb* a) noexcept
{
    return limbs_is_zero(a, P256_LIMBS);
}

void set_infinity(JacobianPoint& r) noexcept
{
    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        r.x[i] = r.y[i] = r.z[i] = 0;
    r.x[0] = r.y[0] = 1;
}

// X3 = R² - H³ - 2·U1·H², Y3 = R·(U1·H² - X3) - S1·H³; the caller sets Z3.
void finish_add(JacobianPoint& r, const Limb* u1, const Limb* s1, const Limb* h,
                const Limb* rr) noexcept
{
    Limb hh[P256_LIMBS], hhh[P256_LIMBS], v[P256_LIMBS], t[P256_LIMBS];
    mont_sqr(hh, h);
    mont_mul(hhh, hh, h);
    mont_mul(v, u1, hh);
    mont_sqr(r.x, rr);
    sub(r.x, r.x, hhh);
    sub(r.x, r.x, v);
    sub(r.x, r.x, v);
    sub(t, v, r.x);
    mont_mul(t, t, rr);
    mont_mul(v, s1, hhh);
    sub(r.y, t, v);
}

// H = X2·Z1² - X1 and R = Y2·Z1³ - Y1 of a mixed addition.
void mixed_differences(Limb* h, Limb* rr, const JacobianPoint& p, const AffinePoint& q) noexcept
{
    Limb z1z1[P256_LIMBS], t[P256_LIMBS];
    mont_sqr(z1z1, p.z);
    mont_mul(h, q.x, z1z1);
    sub(h, h, p.x);
    mont_mul(t, p.z, z1z1);
    mont_mul(t, t, q.y);
    sub(rr, t, p.y);
}

// The rest of a mixed addition once H and R are known; r may alias p.
void finish_mixed(JacobianPoint& r, const JacobianPoint& p, const Limb* h, const Limb* rr) noexcept
{
    Limb u1[P256_LIMBS], s1[P256_LIMBS];
    copy(u1, p.x);
    copy(s1, p.y);
    mont_mul(r.z, p.z, h);
    finish_add(r, u1, s1, h, rr);
}

}  // namespace

void from_affine(JacobianPoint& r, const Limb* x, const Limb* y) noexcept
{
    copy(r.x, x);
    copy(r.y, y);
    copy(r.z, MONT_ONE);
}

[[gnu::flatten]] void point_double(JacobianPoint& r, const JacobianPoint& p) noexcept
{
    Limb delta[P256_LIMBS], gamma[P256_LIMBS], beta[P256_LIMBS], alpha[P256_LIMBS];
    Limb t[P256_LIMBS];
    mont_sqr(delta, p.z);
    mont_sqr(gamma, p.y);
    mont_mul(beta, p.x, gamma);
    sub(t, p.x, delta);
    add(alpha, p.x, delta);
    mont_mul(alpha, alpha, t);
    add(t, alpha, alpha);
    add(alpha, alpha, t);  // 3·(X - Z²)·(X + Z²), the slope's numerator for a = -3
    add(r.z, p.y, p.z);
    mont_sqr(r.z, r.z);
    sub(r.z, r.z, gamma);
    sub(r.z, r.z, delta);  // 2·Y·Z
    add(beta, beta, beta);
    add(beta, beta, beta);  // 4β
    mont_sqr(r.x, alpha);
    sub(r.x, r.x, beta);
    sub(r.x, r.x, beta);
    sub(t, beta, r.x);
    mont_mul(t, t, alpha);
    mont_sqr(gamma, gamma);
    add(gamma, gamma, gamma);
    add(gamma, gamma, gamma);
    add(gamma, gamma, gamma);  // 8γ²
    sub(r.y, t, gamma);
}

[[gnu::flatten]] void point_add_mixed(JacobianPoint& r, const JacobianPoint& p,
                                     const AffinePoint& q) noexcept
{
    Limb h[P256_LIMBS], rr[P256_LIMBS];
    mixed_differences(h, rr, p, q);
    finish_mixed(r, p, h, rr);
}

[[gnu::flatten]] void point_add_mixed_checked(JacobianPoint& r, const JacobianPoint& p,
                                             const AffinePoint& q) noexcept
{
    if (is_zero(p.z)) {
        from_affine(r, q.x, q.y);
        return;
    }
    Limb h[P256_LIMBS], rr[P256_LIMBS];
    mixed_differences(h, rr, p, q);
    if (is_zero(h)) {
        if (is_zero(rr))
            point_double(r, p);
        else
            set_infinity(r);
        return;
    }
    finish_mixed(r, p, h, rr);
}

[[gnu::flatten]] void point_add_checked(JacobianPoint& r, const JacobianPoint& p,
                                       const JacobianPoint& q) noexcept
{
    if (is_zero(q.z)) {
        r = p;
        return;
    }
    if (is_zero(p.z)) {
        r = q;
        return;
    }
    Limb z1z1[P256_LIMBS], z2z2[P256_LIMBS], u1[P256_LIMBS], s1[P256_LIMBS];
    Limb h[P256_LIMBS], rr[P256_LIMBS], t[P256_LIMBS];
    mont_sqr(z1z1, p.z);
    mont_sqr(z2z2, q.z);
    mont_mul(u1, p.x, z2z2);
    mont_mul(h, q.x, z1z1);
    sub(h, h, u1);
    mont_mul(t, q.z, z2z2);
    mont_mul(s1, p.y, t);
    mont_mul(t, p.z, z1z1);
    mont_mul(t, q.y, t);
    sub(rr, t, s1);
    if (is_zero(h)) {
        if (is_zero(rr))
            point_double(r, p);
        else
            set_infinity(r);
        return;
    }
    mont_mul(t, p.z, q.z);
    mont_mul(r.z, t, h);
    finish_add(r, u1, s1, h, rr);
}

void negate_y(Limb* y) noexcept
{
    const Limb zero[P256_LIMBS] = {};
    sub(y, zero, y);
}

void field_invert(Limb* r, const Limb* a) noexcept
{
    // x_k = a^(2^k - 1); p - 2 = 2^256 - 2^224 + 2^192 + 2^96 - 3 in runs of ones:
    // 32 ones, 31 zeros, a one, 96 zeros, 62 ones, a zero, a one.
    // shift_in(v, k, b): v ← v^(2^k)·b, appending k bits whose value b stands for.
    const auto shift_in = [](Limb* v, int k, const Limb* b) {
        for (int i = 0; i < k; ++i)
            mont_sqr(v, v);
        mont_mul(v, v, b);
    };
    Limb x2[P256_LIMBS], x3[P256_LIMBS], x6[P256_LIMBS], x12[P256_LIMBS], x15[P256_LIMBS];
    Limb x30[P256_LIMBS], x32[P256_LIMBS], t[P256_LIMBS];
    copy(x2, a);
    shift_in(x2, 1, a);
    copy(x3, x2);
    shift_in(x3, 1, a);
    copy(x6, x3);
    shift_in(x6, 3, x3);
    copy(x12, x6);
    shift_in(x12, 6, x6);
    copy(x15, x12);
    shift_in(x15, 3, x3);
    copy(x30, x15);
    shift_in(x30, 15, x15);
    copy(x32, x30);
    shift_in(x32, 2, x2);
    copy(t, x32);
    shift_in(t, 32, a);
    shift_in(t, 128, x32);
    shift_in(t, 32, x32);
    shift_in(t, 30, x30);
    shift_in(t, 2, a);
    copy(r, t);
}

void to_affine(AffinePoint& r, const JacobianPoint& p) noexcept
{
    Limb z[P256_LIMBS], zz[P256_LIMBS];
    field_invert(z, p.z);
    mont_sqr(zz, z);
    mont_mul(r.x, p.x, zz);
    mont_mul(zz, zz, z);
    mont_mul(r.y, p.y, zz);
}

void normalize(AffinePoint* out, const JacobianPoint* points, std::size_t count) noexcept
{
    Limb prefix[MAX_NORMALIZED][P256_LIMBS];
    copy(prefix[0], points[0].z);
    for (std::size_t j = 1; j < count; ++j)
        mont_mul(prefix[j], prefix[j - 1], points[j].z);
    Limb inverse[P256_LIMBS], z[P256_LIMBS], zz[P256_LIMBS];
    field_invert(inverse, prefix[count - 1]);
    for (std::size_t j = count; j-- > 0;) {
        if (j > 0) {
            mont_mul(z, inverse, prefix[j - 1]);
            mont_mul(inverse, inverse, points[j].z);
        } else {
            copy(z, inverse);
        }
        mont_sqr(zz, z);
        mont_mul(out[j].x, points[j].x, zz);
        mont_mul(zz, zz, z);
        mont_mul(out[j].y, points[j].y, zz);
    }
}

void select_entry(AffinePoint& out, const AffinePoint* entries, std::size_t count, Limb index,
                  Limb negative) noexcept
{
    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        out.x[i] = out.y[i] = 0;
    for (std::size_t j = 0; j < count; ++j) {
        const Limb differs = (j + 1) ^ index;
        const Limb mask = ((differs | (0 - differs)) >> 63) - 1;  // all ones when equal
        for (std::size_t i = 0; i < P256_LIMBS; ++i) {
            out.x[i] |= entries[j].x[i] & mask;
            out.y[i] |= entries[j].y[i] & mask;
        }
    }
    Limb negated[P256_LIMBS];
    copy(negated, out.y);
    negate_y(negated);
    fixed::select<P256_LIMBS>(out.y, 0 - negative, negated, out.y);
}

}  // namespace vlrp11::p256
