#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "crypto/ec_prime_coz.h"

namespace vlrp11 {

std::uint8_t ec_point_add_affine(Limb* rx, Limb* ry, const Limb* qx, const Limb* qy) noexcept
{
    const PrimeField<P256_LIMBS> f(EC_P256);
    CozPoint r, q;
    for (std::size_t i = 0; i < P256_LIMBS; ++i) {
        r.x[i] = rx[i];
        r.y[i] = ry[i];
        q.x[i] = qx[i];
        q.y[i] = qy[i];
    }
    // Both points start on Z = 1, so the common Z after the addition is the factor itself.
    Limb z[EC_MAX_LIMBS], t[EC_MAX_LIMBS];
    coz_add(f, r, q, z);
    const std::uint8_t status = mod_inv(z, z, EC_P256.modulus, P256_LIMBS);
    if (status != EC_OK)
        return status;
    f.sqr(t, z);
    f.mul(rx, q.x, t);
    f.mul(t, t, z);
    f.mul(ry, q.y, t);
    return EC_OK;
}

std::uint8_t ec_valid_point(const Limb* x, const Limb* y) noexcept
{
    const Limb* p = EC_P256.modulus;
    if (limbs_is_zero(x, P256_LIMBS) && limbs_is_zero(y, P256_LIMBS))
        return EC_INVALID_POINT;
    if (limbs_compare(x, p, P256_LIMBS) >= 0 || limbs_compare(y, p, P256_LIMBS) >= 0)
        return EC_INVALID_POINT;
    const PrimeField<P256_LIMBS> f(EC_P256);
    Limb lhs[EC_MAX_LIMBS], rhs[EC_MAX_LIMBS];
    f.sqr(lhs, y);
    f.sqr(rhs, x);
    f.add(rhs, rhs, EC_P256.a);
    f.mul(rhs, rhs, x);
    f.add(rhs, rhs, EC_P256.b);  // x³ + a·x + b with a = p - 3
    return limbs_compare(lhs, rhs, P256_LIMBS) == 0 ? EC_OK : EC_INVALID_POINT;
}

}  // namespace vlrp11
