// The elliptic-curve library against OpenSSL on random inputs: scalar multiplication on every
// curve OpenSSL knows (the DSTU 4145 curves built from their parameters with its GF(2^m)
// support), P-256 key agreement both ways, and verification of OpenSSL-made signatures. Then
// the valid inputs where the formulas meet the point at infinity or a zero coordinate: the
// scalar n - 1, points with x = 0, and signatures whose hash is 0 mod n or whose two partial
// products are equal or opposite.

#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/rand.h>

#include <memory>
#include <vector>

#include "crypto/ec_curve.h"
#include "crypto/ec_p256.h"
#include "platform/random.h"
#include "support/ec_test_util.h"
#include "support/openssl_p256.h"

namespace vlrp11 {
namespace {

using Value = ec_test::Value;

struct BnFree {
    void operator()(BIGNUM* p) const { BN_free(p); }
};
struct GroupFree {
    void operator()(EC_GROUP* p) const { EC_GROUP_free(p); }
};
struct PointFree {
    void operator()(EC_POINT* p) const { EC_POINT_free(p); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using Group = std::unique_ptr<EC_GROUP, GroupFree>;
using Point = std::unique_ptr<EC_POINT, PointFree>;

Bn to_bn(const Limb* limbs, std::size_t n)
{
    std::vector<std::uint8_t> bytes(8 * n);
    native_to_bytes(bytes.data(), bytes.size(), limbs);
    return Bn(BN_bin2bn(bytes.data(), static_cast<int>(bytes.size()), nullptr));
}

Value from_bn(const BIGNUM* bn, std::size_t n)
{
    std::vector<std::uint8_t> bytes(8 * n);
    EXPECT_EQ(BN_bn2binpad(bn, bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    Value v{};
    bytes_to_native(v.data(), bytes.data(), bytes.size());
    return v;
}

struct OracleCurve {
    const char* name;
    const CurveDescriptor* curve;
    int nid;  // NID_undef: built from the descriptor's parameters
};

// A group with the descriptor's parameters in OpenSSL's GF(2^m) code.
Group binary_group(const CurveDescriptor& d)
{
    const std::size_t n = field_limbs(d);
    Bn poly(BN_new()), a(BN_new());
    for (int t = 0; t < 4 && d.modulus[t] != 0; ++t)
        BN_set_bit(poly.get(), static_cast<int>(d.modulus[t]));
    BN_set_bit(poly.get(), 0);
    BN_set_word(a.get(), d.a_flag);
    Group group(EC_GROUP_new_curve_GF2m(poly.get(), a.get(), to_bn(d.b, n).get(), nullptr));
    Point g(EC_POINT_new(group.get()));
    EXPECT_EQ(EC_POINT_set_affine_coordinates(group.get(), g.get(), to_bn(d.gx, n).get(),
                                              to_bn(d.gy, n).get(), nullptr),
              1);
    EXPECT_EQ(EC_GROUP_set_generator(group.get(), g.get(), to_bn(d.order, order_limbs(d)).get(),
                                     nullptr),
              1);
    return group;
}

class OracleScalarMul : public ::testing::TestWithParam<OracleCurve> {};

TEST_P(OracleScalarMul, RandomScalarsOnBaseAndOtherPoints)
{
    const CurveDescriptor& d = *GetParam().curve;
    const std::size_t n = field_limbs(d), k_limbs = order_limbs(d);
    Group group = GetParam().nid != NID_undef
                      ? Group(EC_GROUP_new_by_curve_name(GetParam().nid))
                      : binary_group(d);
    ASSERT_TRUE(group);
    ASSERT_EQ(EC_POINT_is_on_curve(group.get(), EC_GROUP_get0_generator(group.get()), nullptr), 1);
    EXPECT_EQ(from_bn(EC_GROUP_get0_order(group.get()), k_limbs),
              from_bn(to_bn(d.order, k_limbs).get(), k_limbs));

    Point r(EC_POINT_new(group.get()));
    Bn x(BN_new()), y(BN_new()), k(BN_new());
    Value point_x{}, point_y{};
    bool have_point = false;
    for (int round = 0; round < 8; ++round) {
        ASSERT_EQ(BN_rand_range(k.get(), EC_GROUP_get0_order(group.get())), 1);
        const Value kv = from_bn(k.get(), k_limbs);
        Value ours_x{}, ours_y{};
        if (!have_point) {
            ASSERT_EQ(EC_POINT_mul(group.get(), r.get(), k.get(), nullptr, nullptr, nullptr), 1);
            ASSERT_EQ(d.point_mul(d, ours_x.data(), ours_y.data(), kv.data(), nullptr, nullptr,
                                  nullptr),
                      0);
        } else {
            Point p(EC_POINT_new(group.get()));
            EC_POINT_set_affine_coordinates(group.get(), p.get(), to_bn(point_x.data(), n).get(),
                                            to_bn(point_y.data(), n).get(), nullptr);
            ASSERT_EQ(EC_POINT_mul(group.get(), r.get(), nullptr, p.get(), k.get(), nullptr), 1);
            ASSERT_EQ(d.point_mul(d, ours_x.data(), ours_y.data(), nullptr, point_x.data(),
                                  point_y.data(), kv.data()),
                      0);
        }
        ASSERT_EQ(EC_POINT_get_affine_coordinates(group.get(), r.get(), x.get(), y.get(), nullptr),
                  1);
        EXPECT_EQ(ours_x, from_bn(x.get(), n)) << "round " << round;
        EXPECT_EQ(ours_y, from_bn(y.get(), n)) << "round " << round;
        point_x = ours_x;  // the next round multiplies this point
        point_y = ours_y;
        have_point = true;
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllCurves, OracleScalarMul,
    ::testing::Values(OracleCurve{"P192", &EC_P192, NID_X9_62_prime192v1},
                      OracleCurve{"P256", &EC_P256, NID_X9_62_prime256v1},
                      OracleCurve{"P384", &EC_P384, NID_secp384r1},
                      OracleCurve{"P521", &EC_P521, NID_secp521r1},
                      OracleCurve{"B163", &EC_B163, NID_sect163r2},
                      OracleCurve{"K571", &EC_K571, NID_sect571k1},
                      OracleCurve{"B571", &EC_B571, NID_sect571r1},
                      OracleCurve{"DSTU163", &EC_DSTU4145_163, NID_undef},
                      OracleCurve{"DSTU233", &EC_DSTU4145_233, NID_undef},
                      OracleCurve{"DSTU257", &EC_DSTU4145_257, NID_undef},
                      OracleCurve{"DSTU307", &EC_DSTU4145_307, NID_undef},
                      OracleCurve{"DSTU367", &EC_DSTU4145_367, NID_undef},
                      OracleCurve{"DSTU431", &EC_DSTU4145_431, NID_undef}),
    [](const auto& info) { return std::string(info.param.name); });

// OpenSSL P-256 keys: x ‖ y and the private scalar as limbs.
struct OpenSslKey {
    testing::P256Key key = testing::new_p256_key();

    std::vector<std::uint8_t> public_bytes() const { return testing::public_key_bytes(key.get()); }
    Value private_scalar() const
    {
        BIGNUM* d = nullptr;
        EXPECT_EQ(EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &d), 1);
        const Value v = from_bn(d, 4);
        BN_clear_free(d);
        return v;
    }
};

std::uint8_t system_source(void*, std::uint8_t* out, std::size_t bits)
{
    return system_random(out, (bits + 7) / 8) ? 0 : 1;
}

TEST(OracleEcdh, AgreesWithOpenSslBothWays)
{
    for (int round = 0; round < 8; ++round) {
        const OpenSslKey theirs;
        Limb d[4];
        ASSERT_EQ(ec_generate_scalar(d, EC_P256.order, 4, RandomSource{nullptr, system_source}),
                  0);
        std::uint8_t our_public[64];
        std::size_t length = 0;
        ASSERT_EQ(ec_public_from_private(our_public, &length, d), 0);
        const testing::P256Key our_key = testing::p256_public_key(our_public);
        ASSERT_TRUE(our_key) << "OpenSSL refused our public key";

        std::uint8_t ours[32];
        ASSERT_EQ(ec_shared_secret(ours, &length, d, theirs.public_bytes().data()), 0);
        EXPECT_EQ(std::vector<std::uint8_t>(ours, ours + 32),
                  testing::ecdh_x(theirs.key.get(), our_key.get()));

        // Their private scalar on our side, against another OpenSSL key.
        const OpenSslKey peer;
        const Value their_d = theirs.private_scalar();
        ASSERT_EQ(ec_shared_secret(ours, &length, their_d.data(), peer.public_bytes().data()), 0);
        EXPECT_EQ(std::vector<std::uint8_t>(ours, ours + 32),
                  testing::ecdh_x(theirs.key.get(), peer.key.get()));
    }
}

TEST(OracleEcdsa, VerifiesOpenSslSignaturesAndRejectsCorruptedOnes)
{
    for (int round = 0; round < 8; ++round) {
        const OpenSslKey signer;
        const auto key = signer.public_bytes();
        std::uint8_t hash[32];
        ASSERT_EQ(RAND_bytes(hash, sizeof hash), 1);
        const auto signature = testing::sign_hash(signer.key.get(), hash);
        EXPECT_EQ(ecdsa_verify(key.data(), hash, signature.data()), 0);

        auto bad_signature = signature;
        bad_signature[static_cast<std::size_t>(round * 7) % 64] ^= 0x10;
        EXPECT_NE(ecdsa_verify(key.data(), hash, bad_signature.data()), 0);
        std::uint8_t bad_hash[32];
        std::copy(hash, hash + 32, bad_hash);
        bad_hash[round] ^= 1;
        EXPECT_NE(ecdsa_verify(key.data(), bad_hash, signature.data()), 0);
        auto bad_key = OpenSslKey().public_bytes();
        EXPECT_NE(ecdsa_verify(bad_key.data(), hash, signature.data()), 0);
    }
}

// OpenSSL's verdict on r ‖ s for the 32-byte hash under the key x ‖ y.
bool openssl_verifies(const std::uint8_t* xy, const std::uint8_t* hash, const std::uint8_t* rs)
{
    return testing::verify_hash(testing::p256_public_key(xy).get(), hash, rs);
}

Group prime_group(int nid)
{
    return Group(EC_GROUP_new_by_curve_name(nid));
}

// x and y of an OpenSSL point as limbs.
std::pair<Value, Value> coordinates(const EC_GROUP* group, const EC_POINT* point, std::size_t n)
{
    Bn x(BN_new()), y(BN_new());
    EXPECT_EQ(EC_POINT_get_affine_coordinates(group, point, x.get(), y.get(), nullptr), 1);
    return {from_bn(x.get(), n), from_bn(y.get(), n)};
}

class OracleExceptionalScalar : public ::testing::TestWithParam<OracleCurve> {};

TEST_P(OracleExceptionalScalar, OrderMinusOneAndPointsWithXZero)
{
    const CurveDescriptor& d = *GetParam().curve;
    const std::size_t n = field_limbs(d);
    Group group = prime_group(GetParam().nid);
    const BIGNUM* order = EC_GROUP_get0_order(group.get());
    Bn k(BN_new());
    Point p(EC_POINT_new(group.get())), r(EC_POINT_new(group.get()));
    ASSERT_EQ(BN_rand_range(k.get(), order), 1);
    ASSERT_EQ(EC_POINT_mul(group.get(), p.get(), k.get(), nullptr, nullptr, nullptr), 1);
    std::vector<std::pair<const char*, Point>> points;
    points.emplace_back("G", Point(EC_POINT_dup(EC_GROUP_get0_generator(group.get()), group.get())));
    points.emplace_back("random point", std::move(p));
    Point zero_x(EC_POINT_new(group.get()));
    Bn zero(BN_new());
    BN_zero(zero.get());
    if (EC_POINT_set_compressed_coordinates(group.get(), zero_x.get(), zero.get(), 0, nullptr) == 1)
        points.emplace_back("x = 0", std::move(zero_x));

    Bn n_minus_1(BN_dup(order));
    BN_sub_word(n_minus_1.get(), 1);
    for (const auto& [name, point] : points) {
        const auto [px, py] = coordinates(group.get(), point.get(), n);
        for (const BIGNUM* scalar : {static_cast<const BIGNUM*>(n_minus_1.get()),
                                     static_cast<const BIGNUM*>(k.get())}) {
            ASSERT_EQ(EC_POINT_mul(group.get(), r.get(), nullptr, point.get(), scalar, nullptr), 1);
            const auto [rx, ry] = coordinates(group.get(), r.get(), n);
            const Value kv = from_bn(scalar, n);
            Value ours_x{}, ours_y{};
            EXPECT_EQ(d.point_mul(d, ours_x.data(), ours_y.data(), nullptr, px.data(), py.data(),
                                  kv.data()),
                      0)
                << name;
            EXPECT_EQ(ours_x, rx) << name;
            EXPECT_EQ(ours_y, ry) << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PrimeCurves, OracleExceptionalScalar,
                         ::testing::Values(OracleCurve{"P192", &EC_P192, NID_X9_62_prime192v1},
                                           OracleCurve{"P256", &EC_P256, NID_X9_62_prime256v1},
                                           OracleCurve{"P384", &EC_P384, NID_secp384r1},
                                           OracleCurve{"P521", &EC_P521, NID_secp521r1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OracleP256Exceptional, KeyPairAndSecretWithOrderMinusOneAndPeerWithXZero)
{
    Group group = prime_group(NID_X9_62_prime256v1);
    Bn n_minus_1(BN_dup(EC_GROUP_get0_order(group.get()))), zero(BN_new());
    BN_sub_word(n_minus_1.get(), 1);
    BN_zero(zero.get());
    const Value d_last = from_bn(n_minus_1.get(), 4);
    std::uint8_t pub[64], secret[32];
    std::size_t length = 0;
    ASSERT_EQ(ec_public_from_private(pub, &length, d_last.data()), 0);
    Point minus_g(EC_POINT_dup(EC_GROUP_get0_generator(group.get()), group.get()));
    EC_POINT_invert(group.get(), minus_g.get(), nullptr);
    std::uint8_t expected[65];
    EC_POINT_point2oct(group.get(), minus_g.get(), POINT_CONVERSION_UNCOMPRESSED, expected, 65,
                       nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(pub, pub + 64),
              std::vector<std::uint8_t>(expected + 1, expected + 65));

    Point zero_x(EC_POINT_new(group.get()));
    ASSERT_EQ(EC_POINT_set_compressed_coordinates(group.get(), zero_x.get(), zero.get(), 1,
                                                  nullptr),
              1);
    std::uint8_t peer[65];
    EC_POINT_point2oct(group.get(), zero_x.get(), POINT_CONVERSION_UNCOMPRESSED, peer, 65,
                       nullptr);
    const testing::P256Key peer_key = testing::p256_public_key(peer + 1);
    const OpenSslKey own;
    const Value d = own.private_scalar();
    ASSERT_EQ(ec_shared_secret(secret, &length, d.data(), peer + 1), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(secret, secret + 32),
              testing::ecdh_x(own.key.get(), peer_key.get()));
    // n - 1 against the same peer: x(-peer) = 0.
    ASSERT_EQ(ec_shared_secret(secret, &length, d_last.data(), peer + 1), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(secret, secret + 32), std::vector<std::uint8_t>(32, 0));
}

// A signature that verifies under any key Q without its private scalar: R = a·G + b·Q,
// r = x(R) mod n, s = r / b and e = a·s give u1 = a and u2 = b. The hash is e, 32 bytes.
struct Forged {
    std::uint8_t hash[32];
    std::uint8_t rs[64];
};

Forged forge(const EC_GROUP* group, const EC_POINT* q, const BIGNUM* a, const BIGNUM* b)
{
    const BIGNUM* order = EC_GROUP_get0_order(group);
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    Point big_r(EC_POINT_new(group));
    Bn r(BN_new()), s(BN_new()), e(BN_new());
    EXPECT_EQ(EC_POINT_mul(group, big_r.get(), a, q, b, ctx.get()), 1);
    EXPECT_EQ(EC_POINT_get_affine_coordinates(group, big_r.get(), r.get(), nullptr, ctx.get()), 1);
    BN_nnmod(r.get(), r.get(), order, ctx.get());
    BN_mod_inverse(s.get(), b, order, ctx.get());
    BN_mod_mul(s.get(), s.get(), r.get(), order, ctx.get());
    BN_mod_mul(e.get(), a, s.get(), order, ctx.get());
    Forged f;
    BN_bn2binpad(e.get(), f.hash, 32);
    BN_bn2binpad(r.get(), f.rs, 32);
    BN_bn2binpad(s.get(), f.rs + 32, 32);
    return f;
}

TEST(OracleP256Exceptional, SignaturesWithZeroHashEqualPartsOrAKeyWithXZero)
{
    Group group = prime_group(NID_X9_62_prime256v1);
    const BIGNUM* order = EC_GROUP_get0_order(group.get());
    std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)> ctx(BN_CTX_new(), BN_CTX_free);
    Bn zero(BN_new());
    BN_zero(zero.get());
    Point zero_x(EC_POINT_new(group.get()));
    ASSERT_EQ(EC_POINT_set_compressed_coordinates(group.get(), zero_x.get(), zero.get(), 0,
                                                  nullptr),
              1);
    for (int round = 0; round < 4; ++round) {
        const OpenSslKey signer;
        const auto key = signer.public_bytes();
        const Bn d = to_bn(signer.private_scalar().data(), 4);
        Point q(EC_POINT_new(group.get()));
        EC_POINT_mul(group.get(), q.get(), d.get(), nullptr, nullptr, ctx.get());

        // The hashes 0 and n (u1 = 0), signed by OpenSSL.
        std::uint8_t zero_hash[32] = {}, order_hash[32];
        BN_bn2binpad(order, order_hash, 32);
        for (const std::uint8_t* hash : {zero_hash + 0, order_hash + 0}) {
            const auto signature = testing::sign_hash(signer.key.get(), hash);
            EXPECT_EQ(ecdsa_verify(key.data(), hash, signature.data()), 0);
        }

        Bn a(BN_new()), b(BN_new());
        ASSERT_EQ(BN_rand_range(b.get(), order), 1);
        BN_mod_mul(a.get(), b.get(), d.get(), order, ctx.get());  // a·G = b·Q
        std::uint8_t x_zero_key[65];
        EC_POINT_point2oct(group.get(), zero_x.get(), POINT_CONVERSION_UNCOMPRESSED, x_zero_key,
                           65, nullptr);
        struct Case {
            const char* what;
            const std::uint8_t* key;
            Forged signature;
        } cases[] = {
            {"u1 = 0", key.data(), forge(group.get(), q.get(), zero.get(), b.get())},
            {"u1·G = u2·Q", key.data(), forge(group.get(), q.get(), a.get(), b.get())},
            {"Q with x = 0", x_zero_key + 1, forge(group.get(), zero_x.get(), a.get(), b.get())},
        };
        for (const Case& c : cases) {
            ASSERT_TRUE(openssl_verifies(c.key, c.signature.hash, c.signature.rs)) << c.what;
            EXPECT_EQ(ecdsa_verify(c.key, c.signature.hash, c.signature.rs), 0) << c.what;
        }

        // e = -r·d: u1·G = -u2·Q whatever s, and the sum is the point at infinity.
        Forged opposite = cases[0].signature;
        Bn r(BN_bin2bn(opposite.rs, 32, nullptr)), e(BN_new());
        BN_mod_mul(e.get(), r.get(), d.get(), order, ctx.get());
        BN_mod_sub(e.get(), order, e.get(), order, ctx.get());
        BN_bn2binpad(e.get(), opposite.hash, 32);
        EXPECT_FALSE(openssl_verifies(key.data(), opposite.hash, opposite.rs));
        EXPECT_EQ(ecdsa_verify(key.data(), opposite.hash, opposite.rs), EC_INVERSE_OF_ZERO);
    }
}

}  // namespace
}  // namespace vlrp11
