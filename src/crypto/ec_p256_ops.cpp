#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "crypto/ec_p256_field.h"
#include "crypto/ec_p256_jacobian.h"
#include "platform/wipe.h"

namespace vlrp11 {
namespace {

bool valid_private_scalar(const Limb* d) noexcept
{
    return !limbs_is_zero(d, P256_LIMBS) && limbs_compare(EC_P256.order, d, P256_LIMBS) == 1;
}

void write_coordinate(std::uint8_t* out, const Limb* value) noexcept
{
    native_to_bytes(out, P256_COORDINATE_BYTES, value);
}

void read_coordinate(Limb* value, const std::uint8_t* in) noexcept
{
    bytes_to_native(value, in, P256_COORDINATE_BYTES);
}

// Montgomery reduction modulo n: r = t·2^-256 mod n for t < n·2^256 (8 limbs, clobbered).
void order_reduce(Limb* r, Limb* t) noexcept
{
    constexpr Limb N_INVERSE = 0xccd1c8aaee00bc4f;  // -n⁻¹ mod 2^64
    const Limb* n = EC_P256.order;
    Limb top = 0;
    for (std::size_t i = 0; i < P256_LIMBS; ++i) {
        const Limb m = t[i] * N_INVERSE;
        DoubleLimb carry = 0;
        for (std::size_t j = 0; j < P256_LIMBS; ++j) {
            carry += DoubleLimb{m} * n[j] + t[i + j];
            t[i + j] = static_cast<Limb>(carry);
            carry >>= 64;
        }
        for (std::size_t j = i + P256_LIMBS; j < 2 * P256_LIMBS; ++j) {
            carry += t[j];
            t[j] = static_cast<Limb>(carry);
            carry >>= 64;
        }
        top += static_cast<Limb>(carry);
    }
    Limb reduced[P256_LIMBS];
    const Limb keep = 0 - (limbs_sub(reduced, t + P256_LIMBS, n, P256_LIMBS) & (top ^ 1));
    for (std::size_t i = 0; i < P256_LIMBS; ++i)
        r[i] = (t[P256_LIMBS + i] & keep) | (reduced[i] & ~keep);
}

// r = a·b mod n for a < 2^256 and b < n, as two Montgomery products: the second multiplies
// by 2^512 mod n to take out the 2^-256 of the first.
void order_mul(Limb* r, const Limb* a, const Limb* b) noexcept
{
    static constexpr Limb R_SQUARED[P256_LIMBS] = {0x83244c95be79eea2, 0x4699799c49bd6fa6,
                                                   0x2845b2392b6bec59, 0x66e12d94f3d95620};
    Limb t[2 * P256_LIMBS];
    limbs_mul(t, a, b, P256_LIMBS);
    order_reduce(r, t);
    limbs_mul(t, r, R_SQUARED, P256_LIMBS);
    order_reduce(r, t);
}

}  // namespace

std::uint8_t ec_generate_scalar(Limb* d, const Limb* n, std::size_t limb_count,
                                const RandomSource& random_source) noexcept
{
    const std::size_t bits = limbs_bit_length(n, limb_count);
    std::uint8_t bytes[8 * EC_MAX_LIMBS];
    std::uint8_t status = EC_OK;
    do {
        for (std::size_t i = 0; i < limb_count; ++i)
            d[i] = 0;
        status = random_source.generate(random_source.context, bytes, bits);
        if (status != EC_OK)
            break;
        for (std::size_t i = 0; i < (bits + 7) / 8; ++i)
            d[i / 8] |= Limb{bytes[i]} << (8 * (i % 8));
    } while (limbs_is_zero(d, limb_count) || limbs_compare(n, d, limb_count) != 1);
    secure_wipe(bytes);
    return status;
}

std::uint8_t ec_public_from_private(std::uint8_t* out, std::size_t* out_len,
                                    const Limb* d) noexcept
{
    if (!valid_private_scalar(d))
        return EC_BAD_PRIVATE_KEY;
    p256::AffinePoint q;
    p256::base_mul(q, d);
    write_coordinate(out, q.x);
    write_coordinate(out + P256_COORDINATE_BYTES, q.y);
    *out_len = P256_PUBLIC_KEY_BYTES;
    return EC_OK;
}

std::uint8_t ec_shared_secret(std::uint8_t* out, std::size_t* out_len, const Limb* d,
                              const std::uint8_t* peer) noexcept
{
    *out_len = 0;
    Limb px[P256_LIMBS], py[P256_LIMBS];
    read_coordinate(px, peer);
    read_coordinate(py, peer + P256_COORDINATE_BYTES);
    if (ec_valid_point(px, py) != EC_OK)
        return EC_INVALID_POINT;
    if (!valid_private_scalar(d))
        return EC_BAD_PRIVATE_KEY;
    Limb x[P256_LIMBS];
    const std::uint8_t status = EC_P256.point_mul(EC_P256, x, nullptr, nullptr, px, py, d);
    if (status == EC_OK) {
        write_coordinate(out, x);
        *out_len = P256_COORDINATE_BYTES;
    }
    secure_wipe(x);
    return status;
}

std::uint8_t ecdsa_verify(const std::uint8_t* public_key, const std::uint8_t* hash,
                          const std::uint8_t* signature) noexcept
{
    const Limb* n = EC_P256.order;
    Limb r[P256_LIMBS], s[P256_LIMBS];
    read_coordinate(r, signature);
    read_coordinate(s, signature + P256_COORDINATE_BYTES);
    if (limbs_is_zero(r, P256_LIMBS) || limbs_is_zero(s, P256_LIMBS) ||
        limbs_compare(r, n, P256_LIMBS) >= 0 || limbs_compare(s, n, P256_LIMBS) >= 0)
        return EC_SIGNATURE_INVALID;
    p256::AffinePoint q;
    Limb e[P256_LIMBS];
    read_coordinate(q.x, public_key);
    read_coordinate(q.y, public_key + P256_COORDINATE_BYTES);
    read_coordinate(e, hash);
    // A point with y = 0 has no double; the key is not on the curve.
    if (limbs_is_zero(q.y, P256_LIMBS))
        return EC_INVALID_POINT;

    Limb w[P256_LIMBS], u1[P256_LIMBS], u2[P256_LIMBS];
    std::uint8_t status = mod_inv(w, s, n, P256_LIMBS);
    if (status != EC_OK)
        return status;
    order_mul(u1, e, w);
    order_mul(u2, r, w);

    p256::JacobianPoint sum;
    status = p256::double_mul(sum, u1, u2, q);
    if (status != EC_OK)
        return status;
    // x(sum) mod n = r exactly when X = r·Z² or, if r + n < p, X = (r + n)·Z².
    Limb zz[P256_LIMBS], candidate[P256_LIMBS], t[P256_LIMBS];
    p256::mont_sqr(zz, sum.z);
    p256::to_mont(candidate, r);
    p256::mont_mul(candidate, candidate, zz);
    if (limbs_compare(candidate, sum.x, P256_LIMBS) == 0)
        return EC_OK;
    if (limbs_add(t, r, n, P256_LIMBS) != 0 || limbs_compare(t, EC_P256.modulus, P256_LIMBS) >= 0)
        return EC_SIGNATURE_INVALID;
    p256::to_mont(candidate, t);
    p256::mont_mul(candidate, candidate, zz);
    return limbs_compare(candidate, sum.x, P256_LIMBS) == 0 ? EC_OK : EC_SIGNATURE_INVALID;
}

}  // namespace vlrp11
