#include "crypto/ec_point_mul.h"
#include "crypto/ec_prime_coz.h"
#include "platform/wipe.h"

// Montgomery ladder with co-Z additions: R0 and R1 share one Z, R1 - R0 = P throughout, and each
// bit costs one conjugate addition and one addition whatever its value. The registers are
// exchanged by masks rather than chosen by the bit, so the memory accessed does not depend on it.

namespace vlrp11 {
namespace {

void conditional_swap(CozPoint& a, CozPoint& b, Limb bit, std::size_t n) noexcept
{
    const Limb mask = 0 - bit;
    for (std::size_t i = 0; i < n; ++i) {
        const Limb dx = (a.x[i] ^ b.x[i]) & mask;
        const Limb dy = (a.y[i] ^ b.y[i]) & mask;
        a.x[i] ^= dx;
        b.x[i] ^= dx;
        a.y[i] ^= dy;
        b.y[i] ^= dy;
    }
}

void copy_limbs(Limb* r, const Limb* a, std::size_t n) noexcept
{
    for (std::size_t i = 0; i < n; ++i)
        r[i] = a[i];
}

// With R_b in r0 and R_s in r1: R_s ← R_b + R_s, R_b ← R_b - R_s.
template <std::size_t N>
void ladder_conjugate_step(const PrimeField<N>& f, CozPoint& r0, CozPoint& r1, Limb bit) noexcept
{
    conditional_swap(r0, r1, bit, f.n);
    coz_add_conjugate(f, r0, r1);
    conditional_swap(r0, r1, bit, f.n);
}

// R_b ← R_s + R_b, R_s re-expressed on the new Z.
template <std::size_t N>
void ladder_add_step(const PrimeField<N>& f, CozPoint& r0, CozPoint& r1, Limb bit) noexcept
{
    conditional_swap(r0, r1, bit, f.n);
    coz_add(f, r1, r0);
    conditional_swap(r0, r1, bit, f.n);
}

// 1/Z of the registers after the last conjugate step, as the final addition will leave it:
// R_b is then ±P, so Z follows from its coordinates and those of P.
template <std::size_t N>
std::uint8_t final_inverse_z(const PrimeField<N>& f, Limb* z, const CozPoint& r0,
                             const CozPoint& r1, Limb bit, const Limb* x, const Limb* y) noexcept
{
    const Limb mask = 0 - bit;
    Limb xb[EC_MAX_LIMBS], yb[EC_MAX_LIMBS], t[EC_MAX_LIMBS];
    for (std::size_t i = 0; i < f.n; ++i) {
        xb[i] = (r1.x[i] & mask) | (r0.x[i] & ~mask);
        yb[i] = (r1.y[i] & mask) | (r0.y[i] & ~mask);
    }
    f.sub(t, r1.x, r0.x);
    f.mul(t, t, yb);
    f.mul(t, t, x);
    const std::uint8_t status = mod_inv(t, t, f.curve.modulus, f.n);
    if (status != EC_OK)
        return status;
    f.mul(t, t, y);
    f.mul(z, t, xb);
    return EC_OK;
}

// Registers and the final 1/Z derive from the scalar; they are wiped before the ladder returns.
struct LadderState {
    CozPoint r0, r1;
    Limb z[EC_MAX_LIMBS], t[EC_MAX_LIMBS];

    ~LadderState() { secure_wipe(*this); }
};

template <std::size_t N>
std::uint8_t ladder(const CurveDescriptor& curve, Limb* rx, Limb* ry, const Limb* k,
                    std::size_t bits, const Limb* x, const Limb* y) noexcept
{
    const PrimeField<N> f(curve);
    LadderState state;
    CozPoint& r0 = state.r0;
    CozPoint& r1 = state.r1;
    Limb* z = state.z;
    Limb* t = state.t;
    std::uint8_t status = coz_initial_double(f, r1, r0, x, y);
    if (status != EC_OK)
        return status;
    for (std::size_t i = bits - 2; i >= 1; --i) {
        const Limb bit = limbs_bit(k, i);
        ladder_conjugate_step(f, r0, r1, bit);
        ladder_add_step(f, r0, r1, bit);
    }
    const Limb bit = limbs_bit(k, 0);
    ladder_conjugate_step(f, r0, r1, bit);
    status = final_inverse_z(f, z, r0, r1, bit, x, y);
    if (status != EC_OK)
        return status;
    ladder_add_step(f, r0, r1, bit);
    f.sqr(t, z);
    f.mul(rx, r0.x, t);
    if (ry != nullptr) {
        f.mul(t, t, z);
        f.mul(ry, r0.y, t);
    }
    return EC_OK;
}

// (x, y) ← 2·(x, y) in affine form.
template <std::size_t N>
std::uint8_t affine_double(const PrimeField<N>& f, Limb* x, Limb* y) noexcept
{
    Limb slope[EC_MAX_LIMBS], t[EC_MAX_LIMBS];
    f.add(t, y, y);
    const std::uint8_t status = mod_inv(t, t, f.curve.modulus, N);
    if (status != EC_OK)
        return status;
    f.sqr(slope, x);
    f.add(slope, slope, slope);
    f.add(slope, slope, slope);
    f.add(slope, slope, f.curve.a);  // 3x² + a
    f.mul(slope, slope, t);
    f.sqr(t, slope);
    f.sub(t, t, x);
    f.sub(t, t, x);  // x' = λ² - 2x
    f.sub(x, x, t);
    f.mul(x, x, slope);
    f.sub(y, x, y);  // y' = λ·(x - x') - y
    copy_limbs(x, t, N);
    return EC_OK;
}

// k ← k / 2 mod n without a branch on k: an odd k gets n added first, the carry entering the
// top bit.
void halve_mod_order(Limb* k, const Limb* n, std::size_t limbs) noexcept
{
    Limb masked[EC_MAX_LIMBS];
    const Limb odd = 0 - (k[0] & 1);
    for (std::size_t i = 0; i < limbs; ++i)
        masked[i] = n[i] & odd;
    const Limb carry = limbs_add(k, k, masked, limbs);
    for (std::size_t i = 0; i + 1 < limbs; ++i)
        k[i] = (k[i] >> 1) | (k[i + 1] << 63);
    k[limbs - 1] = (k[limbs - 1] >> 1) | (carry << 63);
}

template <std::size_t N>
std::uint8_t multiply(const CurveDescriptor& curve, Limb* rx, Limb* ry, const Limb* k,
                      const Limb* x, const Limb* y) noexcept
{
    const PrimeField<N> f(curve);
    std::size_t bits = limbs_bit_length(k, N);
    if (bits == 0)
        return EC_BAD_SCALAR;
    if (bits == 1) {
        copy_limbs(rx, x, N);
        if (ry != nullptr)
            copy_limbs(ry, y, N);
        return EC_OK;
    }
    // Working copies; the scalar is secret and wiped on the way out.
    struct Operands {
        Limb k[EC_MAX_LIMBS], x[EC_MAX_LIMBS], y[EC_MAX_LIMBS];
        ~Operands() { secure_wipe(*this); }
    } in;
    copy_limbs(in.k, k, N);
    copy_limbs(in.x, x, N);
    copy_limbs(in.y, y, N);
    // The final recovery of Z divides by x: a point with x = 0 is doubled and the scalar halved
    // modulo n instead. (With y = 0 too the ladder's first doubling rejects the point.)
    if (limbs_is_zero(x, N) && !limbs_is_zero(y, N)) {
        const std::uint8_t status = affine_double(f, in.x, in.y);
        if (status != EC_OK)
            return status;
        halve_mod_order(in.k, curve.order, N);
        bits = limbs_bit_length(in.k, N);
        if (bits == 0)
            return EC_INVERSE_OF_ZERO;  // k ≡ 0 mod n: the point at infinity
        if (bits == 1) {
            copy_limbs(rx, in.x, N);
            if (ry != nullptr)
                copy_limbs(ry, in.y, N);
            return EC_OK;
        }
    }
    // For n - 1 the last conjugate addition meets the point at infinity, (n - 1)/2·P + (n + 1)/2·P;
    // the answer is -P. The comparison takes the same time for every scalar.
    Limb last[EC_MAX_LIMBS];
    const Limb one[EC_MAX_LIMBS] = {1};
    limbs_sub(last, curve.order, one, N);
    if (limbs_compare(in.k, last, N) == 0) {
        copy_limbs(rx, in.x, N);
        if (ry != nullptr) {
            const Limb zero[EC_MAX_LIMBS] = {};
            f.sub(ry, zero, in.y);
        }
        return EC_OK;
    }
    return ladder<N>(curve, rx, ry, in.k, bits, in.x, in.y);
}

}  // namespace

std::uint8_t prime_point_mul(const CurveDescriptor& curve, Limb* rx, Limb* ry,
                             const Limb* k_base, const Limb* px, const Limb* py,
                             const Limb* k_point) noexcept
{
    PointMulOperands in;
    if (!point_mul_operands(curve, k_base, px, py, k_point, in))
        return EC_BAD_SCALAR;
    switch (field_limbs(curve)) {
    case 3:
        return multiply<3>(curve, rx, ry, in.k, in.x, in.y);
    case 4:
        return multiply<4>(curve, rx, ry, in.k, in.x, in.y);
    case 6:
        return multiply<6>(curve, rx, ry, in.k, in.x, in.y);
    default:
        return multiply<9>(curve, rx, ry, in.k, in.x, in.y);
    }
}

void prime_reduce_mod_order(const CurveDescriptor& curve, Limb* value) noexcept
{
    const std::size_t n = field_limbs(curve);
    Limb reduced[EC_MAX_LIMBS];
    const Limb keep = 0 - limbs_sub(reduced, value, curve.order, n);
    for (std::size_t i = 0; i < n; ++i)
        value[i] = (value[i] & keep) | (reduced[i] & ~keep);
}

}  // namespace vlrp11
