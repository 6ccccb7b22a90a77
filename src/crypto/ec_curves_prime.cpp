#include "crypto/ec_curve.h"
#include "crypto/ec_nist_field.h"
#include "crypto/ec_nist_primes.h"
#include "crypto/ec_point_mul.h"

// The NIST prime curves of FIPS 186-4 (SEC 2 secp192r1, secp256r1, secp384r1, secp521r1).

namespace vlrp11 {
namespace {

constexpr auto P192_A = hex_limbs<3>("fffffffffffffffffffffffffffffffefffffffffffffffc");
constexpr auto P192_B = hex_limbs<3>("64210519e59c80e70fa7e9ab72243049feb8deecc146b9b1");
constexpr auto P192_N = hex_limbs<3>("ffffffffffffffffffffffff99def836146bc9b1b4d22831");
constexpr auto P192_GX = hex_limbs<3>("188da80eb03090f67cbf20eb43a18800f4ff0afd82ff1012");
constexpr auto P192_GY = hex_limbs<3>("07192b95ffc8da78631011ed6b24cdd573f977a11e794811");

constexpr auto P256_A =
    hex_limbs<4>("ffffffff00000001000000000000000000000000fffffffffffffffffffffffc");
constexpr auto P256_B =
    hex_limbs<4>("5ac635d8aa3a93e7b3ebbd55769886bc651d06b0cc53b0f63bce3c3e27d2604b");
constexpr auto P256_N =
    hex_limbs<4>("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");
constexpr auto P256_GX =
    hex_limbs<4>("6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296");
constexpr auto P256_GY =
    hex_limbs<4>("4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5");

constexpr auto P384_A = hex_limbs<6>(
    "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffe"
    "ffffffff0000000000000000fffffffc");
constexpr auto P384_B = hex_limbs<6>(
    "b3312fa7e23ee7e4988e056be3f82d19181d9c6efe8141120314088f5013875a"
    "c656398d8a2ed19d2a85c8edd3ec2aef");
constexpr auto P384_N = hex_limbs<6>(
    "ffffffffffffffffffffffffffffffffffffffffffffffffc7634d81f4372ddf"
    "581a0db248b0a77aecec196accc52973");
constexpr auto P384_GX = hex_limbs<6>(
    "aa87ca22be8b05378eb1c71ef320ad746e1d3b628ba79b9859f741e082542a38"
    "5502f25dbf55296c3a545e3872760ab7");
constexpr auto P384_GY = hex_limbs<6>(
    "3617de4a96262c6f5d9e98bf9292dc29f8f41dbd289a147ce9da3113b5f0b8c0"
    "0a60b1ce1d7e819d7a431d7c90ea0e5f");

constexpr auto P521_A = hex_limbs<9>(
    "1ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffc");
constexpr auto P521_B = hex_limbs<9>(
    "051953eb9618e1c9a1f929a21a0b68540eea2da725b99b315f3b8b489918ef10"
    "9e156193951ec7e937b1652c0bd3bb1bf073573df883d2c34f1ef451fd46b503f00");
constexpr auto P521_N = hex_limbs<9>(
    "1ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"
    "fa51868783bf2f966b7fcc0148f709a5d03bb5c9b8899c47aebb6fb71e91386409");
constexpr auto P521_GX = hex_limbs<9>(
    "0c6858e06b70404e9cd9e3ecb662395b4429c648139053fb521f828af606b4d3d"
    "baa14b5e77efe75928fe1dc127a2ffa8de3348b3c1856a429bf97e7e31c2e5bd66");
constexpr auto P521_GY = hex_limbs<9>(
    "11839296a789a3bc0045c8a5fb42c7d1bd998f54449579b446817afbd17273e66"
    "2c97ee72995ef42640c550b9013fad0761353c7086a272c24088be94769fd16650");

}  // namespace

const CurveDescriptor EC_P192{
    FIELD_PRIME,     1,  192, 192, P192_A.data(),         P192_B.data(),  P192_PRIME.data(),
    P192_N.data(),   P192_GX.data(),  P192_GY.data(),     nullptr,        p192_field_mul,
    p192_field_sqr,  prime_reduce_mod_order,  prime_point_mul,
};

const CurveDescriptor EC_P256{
    FIELD_PRIME,     1,  256, 256, P256_A.data(),         P256_B.data(),  P256_PRIME.data(),
    P256_N.data(),   P256_GX.data(),  P256_GY.data(),     nullptr,        p256_field_mul,
    p256_field_sqr,  prime_reduce_mod_order,  prime_point_mul,
};

const CurveDescriptor EC_P384{
    FIELD_PRIME,     1,  384, 384, P384_A.data(),         P384_B.data(),  P384_PRIME.data(),
    P384_N.data(),   P384_GX.data(),  P384_GY.data(),     nullptr,        p384_field_mul,
    p384_field_sqr,  prime_reduce_mod_order,  prime_point_mul,
};

const CurveDescriptor EC_P521{
    FIELD_PRIME,     1,  521, 521, P521_A.data(),         P521_B.data(),  P521_PRIME.data(),
    P521_N.data(),   P521_GX.data(),  P521_GY.data(),     nullptr,        p521_field_mul,
    p521_field_sqr,  prime_reduce_mod_order,  prime_point_mul,
};

}  // namespace vlrp11
