#include "core/crypto_dstu4145.h"
#include "support/hex.h"

#include <gtest/gtest.h>

namespace vlrp11::sim {
namespace {

using vlrp11::test::from_hex;

// The worked example of DSTU 4145-2002 on m = 163 (base point P of the example).
const BinaryCurveParams kExample163 = {
    163, {7, 6, 3}, 1, "5FF6108462A2DC8210AB403925E638A19C1455D21", "400000000000000000002BEC12BE2262D39BCF14D", 2,
    "72D867F93A93AC27DF9FF01AFFE74885C8C540420", "0224A9C3947852B97C5599D5F4AB81122ADC3FD9B"};
const char* kExampleD = "183F60FDF7951FF47D67193F8D073790C1C9B5A3E";
const char* kExampleQx = "57DE7FDE023FF929CB6AC785CE4B79CF64ABDC2DA";
const char* kExampleQy = "3E85444324BCF06AD85ABF6AD7B5F34770532B9AA";
const char* kExampleE = "1025E40BD97DB012B7A1D79DE8E12932D247F61C6";
// The example's hash value H as the hash function puts it out: least significant byte first.
const char* kExampleHash = "FF4722F5AEED76EB2E5373DF6D1680715BB92E3A8886E4AE9A0C917742C4C909";
// s ‖ r, 21 bytes each.
const char* kExampleSignature =
    "02100D86957331832B8E8C230F5BD6A332B3615ACA"
    "0274EA2C0CAA014A0D80A424F59ADE7A93068D08A7";

struct Example {
    std::unique_ptr<BinaryCurve> curve = BinaryCurve::create(kExample163);
    Bn d = bn_from_hex(kExampleD);
    EcPoint q;
    Example() {
        Bn x = bn_from_hex(kExampleQx), y = bn_from_hex(kExampleQy);
        q.reset(EC_POINT_new(curve->group()));
        EC_POINT_set_affine_coordinates(curve->group(), q.get(), x.get(), y.get(), nullptr);
    }
};

TEST(Dstu4145Example163, PublicKeyIsMinusDTimesP) {
    Example ex;
    ASSERT_TRUE(ex.curve);
    EcPoint q = dstu_public_key(*ex.curve, ex.d.get());
    ASSERT_TRUE(q);
    EXPECT_EQ(EC_POINT_cmp(ex.curve->group(), q.get(), ex.q.get(), nullptr), 0);
}

TEST(Dstu4145Example163, StandardSignatureVerifies) {
    Example ex;
    EXPECT_TRUE(dstu_verify(*ex.curve, ex.q.get(), from_hex(kExampleHash), from_hex(kExampleSignature)));
}

TEST(Dstu4145Example163, SigningWithTheExampleNonceGivesTheStandardSignature) {
    Example ex;
    Bn e = bn_from_hex(kExampleE);
    EXPECT_EQ(dstu_sign_with_nonce(*ex.curve, ex.d.get(), from_hex(kExampleHash), e.get()), from_hex(kExampleSignature));
}

TEST(Dstu4145Example163, AlteredSignaturesAndHashesAreRejected) {
    Example ex;
    auto hash = from_hex(kExampleHash);
    auto signature = from_hex(kExampleSignature);
    for (std::size_t byte : {0u, 20u, 21u, 41u}) {
        auto bad = signature;
        bad[byte] ^= 0x01;
        EXPECT_FALSE(dstu_verify(*ex.curve, ex.q.get(), hash, bad)) << "signature byte " << byte;
    }
    auto bad_hash = hash;
    bad_hash[0] ^= 0x01;
    EXPECT_FALSE(dstu_verify(*ex.curve, ex.q.get(), bad_hash, signature));
    EXPECT_FALSE(dstu_verify(*ex.curve, ex.q.get(), hash, std::span(signature).first(41)));
    std::vector<std::uint8_t> zero(42);
    EXPECT_FALSE(dstu_verify(*ex.curve, ex.q.get(), hash, zero));
}

class Dstu4145DeviceCurve : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(Dstu4145DeviceCurve, SignVerifyRoundTripWithEveryHashLength) {
    const BinaryCurve* curve = dstu_curve(GetParam());
    ASSERT_NE(curve, nullptr);
    Bn d = dstu_generate_private(*curve);
    EcPoint q = dstu_public_key(*curve, d.get());
    for (std::size_t length : {32u, 48u, 64u}) {
        std::vector<std::uint8_t> hash(length);
        random_bytes(hash);
        auto signature = dstu_sign(*curve, d.get(), hash);
        ASSERT_EQ(signature.size(), 2 * curve->order_bytes());
        EXPECT_TRUE(dstu_verify(*curve, q.get(), hash, signature));
        hash.back() ^= 0x80;
        EXPECT_EQ(dstu_verify(*curve, q.get(), hash, signature), length * 8 > curve->m() ? true : false)
            << "only the m low bits of the hash are signed";
    }
}

TEST_P(Dstu4145DeviceCurve, CompressionRoundTripsAndRejectsForeignBytes) {
    const BinaryCurve* curve = dstu_curve(GetParam());
    for (int i = 0; i < 4; ++i) {
        Bn d = dstu_generate_private(*curve);
        EcPoint q = dstu_public_key(*curve, d.get());
        auto bytes = dstu_compress(*curve, q.get());
        ASSERT_EQ(bytes.size(), curve->field_bytes());
        EcPoint back = dstu_decompress(*curve, bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(EC_POINT_cmp(curve->group(), q.get(), back.get(), nullptr), 0);
    }
    std::vector<std::uint8_t> too_long(curve->field_bytes() + 1, 0x01);
    EXPECT_FALSE(dstu_decompress(*curve, too_long));
    std::vector<std::uint8_t> all_ones(curve->field_bytes(), 0xFF);
    EXPECT_FALSE(dstu_decompress(*curve, all_ones)) << "more than m bits";
}

TEST_P(Dstu4145DeviceCurve, KeyAgreementGivesOneSecretToBothSides) {
    const BinaryCurve* curve = dstu_curve(GetParam());
    Bn d1 = dstu_generate_private(*curve), d2 = dstu_generate_private(*curve);
    auto q1 = dstu_compress(*curve, dstu_public_key(*curve, d1.get()).get());
    auto q2 = dstu_compress(*curve, dstu_public_key(*curve, d2.get()).get());
    auto z1 = dstu_shared_secret(*curve, d1.get(), q2);
    auto z2 = dstu_shared_secret(*curve, d2.get(), q1);
    ASSERT_EQ(z1.size(), curve->field_bytes());
    EXPECT_EQ(z1, z2);
    EXPECT_NE(z1, dstu_shared_secret(*curve, d1.get(), q1));
    EXPECT_TRUE(dstu_shared_secret(*curve, d1.get(), std::span(q2).first(q2.size() - 1)).empty());
}

INSTANTIATE_TEST_SUITE_P(CurveIds, Dstu4145DeviceCurve, ::testing::Values(32, 33, 34, 35, 36));

TEST(Dstu4145Curves, OnlyTheFiveDeviceCurveIdsExist) {
    EXPECT_EQ(dstu_curve(31), nullptr);
    EXPECT_EQ(dstu_curve(37), nullptr);
    EXPECT_EQ(dstu_curve(4), nullptr);
    const unsigned sizes[] = {233, 257, 307, 367, 431};
    for (std::uint16_t id = 32; id <= 36; ++id) EXPECT_EQ(dstu_curve(id)->m(), sizes[id - 32]);
}

}  // namespace
}  // namespace vlrp11::sim
