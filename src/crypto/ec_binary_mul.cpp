#include "crypto/ec_gf2m.h"
#include "crypto/ec_point_mul.h"
#include "platform/wipe.h"

// Scalar multiplication on y² + xy = x³ + a·x² + b over GF(2^m) by the 3k signed binary method
// (ANSI X9.62, IEEE 1363): with h = 3k, every bit where h and k differ adds P or subtracts it.
// The working point is in López–Dahab coordinates (x = X/Z, y = Y/Z²); additions are mixed.

namespace vlrp11 {
namespace {

struct BinaryField {
    const CurveDescriptor& curve;
    std::size_t n;

    void mul(Limb* r, const Limb* a, const Limb* b) const noexcept { curve.field_mul(r, a, b); }
    void sqr(Limb* r, const Limb* a) const noexcept { curve.field_sqr(r, a); }
    void add(Limb* r, const Limb* a, const Limb* b) const noexcept
    {
        for (std::size_t i = 0; i < n; ++i)
            r[i] = a[i] ^ b[i];
    }
    void copy(Limb* r, const Limb* a) const noexcept
    {
        for (std::size_t i = 0; i < n; ++i)
            r[i] = a[i];
    }
    void clear(Limb* r) const noexcept
    {
        for (std::size_t i = 0; i < n; ++i)
            r[i] = 0;
    }
    bool is_one(const Limb* a) const noexcept { return a[0] == 1 && limbs_is_zero(a + 1, n - 1); }
};

struct LdPoint {
    Limb x[EC_MAX_LIMBS];
    Limb y[EC_MAX_LIMBS];
    Limb z[EC_MAX_LIMBS];
};

std::uint8_t ld_double(const BinaryField& f, LdPoint& p) noexcept
{
    if (limbs_is_zero(p.z, f.n))
        return EC_INVALID_POINT;
    if (limbs_is_zero(p.x, f.n)) {  // a point of order two: its double is at infinity
        f.clear(p.y);
        f.clear(p.z);
        return EC_INVALID_POINT;
    }
    Limb s[EC_MAX_LIMBS], t[EC_MAX_LIMBS], m[EC_MAX_LIMBS], u[EC_MAX_LIMBS];
    f.sqr(s, p.x);
    f.add(t, p.y, s);
    if (f.is_one(p.z)) {
        f.copy(m, p.x);
        f.copy(p.z, s);
    } else {
        f.mul(m, p.x, p.z);
        f.sqr(p.z, m);
    }
    f.mul(m, m, t);
    f.sqr(u, t);
    f.add(p.x, m, u);
    if (f.curve.a_flag > 0)
        f.add(p.x, p.x, p.z);
    f.add(u, m, p.z);
    f.mul(p.y, p.x, u);
    f.sqr(s, s);
    f.mul(s, s, p.z);
    f.add(p.y, p.y, s);
    return EC_OK;
}

// p ← p + (x2, y2).
std::uint8_t ld_add(const BinaryField& f, LdPoint& p, const Limb* x2, const Limb* y2) noexcept
{
    Limb a[EC_MAX_LIMBS], b[EC_MAX_LIMBS], w[EC_MAX_LIMBS], d[EC_MAX_LIMBS], t[EC_MAX_LIMBS];
    const bool z_is_one = f.is_one(p.z);
    if (z_is_one) {
        f.add(a, p.y, y2);
        f.add(b, p.x, x2);
    } else {
        f.sqr(t, p.z);
        f.mul(a, y2, t);
        f.add(a, a, p.y);
        f.mul(b, x2, p.z);
        f.add(b, b, p.x);
    }
    if (limbs_is_zero(b, f.n)) {
        if (limbs_is_zero(a, f.n))
            return ld_double(f, p);
        f.clear(p.x);
        f.clear(p.y);
        f.clear(p.z);
        return EC_INVALID_POINT;
    }
    if (z_is_one)
        f.copy(w, b);
    else
        f.mul(w, b, p.z);
    f.sqr(p.z, w);           // Z3 = W²
    f.mul(d, p.z, x2);       // D = Z3·x2
    f.sqr(t, b);
    f.add(t, t, a);
    if (f.curve.a_flag > 0)
        f.add(t, t, w);
    f.mul(t, t, w);
    f.sqr(p.x, a);
    f.add(p.x, p.x, t);      // X3 = A² + W·(B² + A + a·W)
    f.mul(a, a, w);          // E = A·W
    f.add(a, a, p.z);
    f.add(d, p.x, d);        // F = X3 + D
    f.mul(p.y, a, d);
    f.add(t, x2, y2);
    f.sqr(w, p.z);
    f.mul(t, t, w);
    f.add(p.y, p.y, t);      // Y3 = (E + Z3)·F + (x2 + y2)·Z3²
    return EC_OK;
}

std::uint8_t to_affine(const BinaryField& f, Limb* rx, Limb* ry, const LdPoint& p) noexcept
{
    if (limbs_is_zero(p.z, f.n))
        return EC_INVALID_POINT;
    if (f.is_one(p.z)) {
        f.copy(rx, p.x);
        if (ry != nullptr)
            f.copy(ry, p.y);
        return EC_OK;
    }
    Limb z[EC_MAX_LIMBS];
    const std::uint8_t status = gf2_inv(z, p.z, f.curve.modulus);
    if (status != EC_OK)
        return status;
    f.mul(rx, p.x, z);
    if (ry != nullptr) {
        f.sqr(z, z);
        f.mul(ry, p.y, z);
    }
    return EC_OK;
}

std::uint8_t three_k(const BinaryField& f, LdPoint& q, const Limb* h, const Limb* k,
                     std::size_t k_limbs, const Limb* x, const Limb* y) noexcept
{
    Limb neg_y[EC_MAX_LIMBS];
    f.add(neg_y, x, y);  // -(x, y) = (x, x + y)
    f.copy(q.x, x);
    f.copy(q.y, y);
    f.clear(q.z);
    q.z[0] = 1;
    for (std::size_t i = limbs_bit_length(h, k_limbs + 1) - 2; i >= 1; --i) {
        std::uint8_t status = ld_double(f, q);
        const bool h_bit = limbs_bit(h, i);
        const bool k_bit = i < 64 * k_limbs && limbs_bit(k, i);
        if (status == EC_OK && h_bit && !k_bit)
            status = ld_add(f, q, x, y);
        if (status == EC_OK && !h_bit && k_bit)
            status = ld_add(f, q, x, neg_y);
        if (status != EC_OK)
            return status;
    }
    return EC_OK;
}

}  // namespace

std::uint8_t binary_point_mul(const CurveDescriptor& curve, Limb* rx, Limb* ry,
                              const Limb* k_base, const Limb* px, const Limb* py,
                              const Limb* k_point) noexcept
{
    PointMulOperands in;
    if (!point_mul_operands(curve, k_base, px, py, k_point, in))
        return EC_BAD_SCALAR;
    const Limb* k = in.k;
    const BinaryField f{curve, field_limbs(curve)};
    const std::size_t k_limbs = order_limbs(curve);
    if (limbs_is_zero(k, k_limbs)) {
        f.clear(rx);
        return EC_BAD_SCALAR;
    }
    Limb h[EC_MAX_LIMBS + 1];
    h[k_limbs] = lshift(h, k, k_limbs, 1);
    h[k_limbs] += limbs_add(h, h, k, k_limbs);
    LdPoint q;
    std::uint8_t status = three_k(f, q, h, k, k_limbs, in.x, in.y);
    if (status == EC_OK)
        status = to_affine(f, rx, ry, q);
    secure_wipe(h);
    secure_wipe(q);
    return status;
}

void binary_reduce_mod_order(const CurveDescriptor& curve, Limb* value) noexcept
{
    const std::size_t n = field_limbs(curve);
    Limb order[EC_MAX_LIMBS] = {};
    for (std::size_t i = 0; i < order_limbs(curve); ++i)
        order[i] = curve.order[i];
    while (limbs_compare(value, order, n) >= 0)
        limbs_sub(value, value, order, n);
}

}  // namespace vlrp11
