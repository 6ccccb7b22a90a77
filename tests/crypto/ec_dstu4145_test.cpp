// The DSTU 4145 descriptors against the standard's published curves and its m = 163 signature
// example (the curves the devices sign with; test suites verify device signatures with them).

#include <gtest/gtest.h>

#include "crypto/ec_curve.h"
#include "support/ec_test_util.h"

namespace vlrp11 {
namespace {

using ec_test::AffinePoint;
using ec_test::limbs_from_hex;
using ec_test::Value;

struct PublishedCurve {
    const CurveDescriptor* curve;
    std::uint64_t poly[4];
    unsigned a;
    const char* b;
    const char* n;
    const char* gx;
    const char* gy;
};

// tests/vectors/dstu4145_curves.txt, named curves 1.2.804.2.1.1.1.1.3.1.1.2.5 to .9.
const PublishedCurve PUBLISHED[] = {
    {&EC_DSTU4145_233, {233, 9, 4, 1}, 1,
     "6973B15095675534C7CF7E64A21BD54EF5DD3B8A0326AA936ECE454D2C",
     "1000000000000000000000000000013E974E72F8A6922031D2603CFE0D7",
     "3FCDA526B6CDF83BA1118DF35B3C31761D3545F32728D003EEB25EFE96",
     "9CA8B57A934C54DEEDA9E54A7BBAD95E3B2E91C54D32BE0B9DF96D8D35"},
    {&EC_DSTU4145_257, {257, 12, 0, 0}, 0,
     "1CEF494720115657E18F938D7A7942394FF9425C1458C57861F9EEA6ADBE3BE10",
     "800000000000000000000000000000006759213AF182E987D3E17714907D470D",
     "2A29EF207D0E9B6C55CD260B306C7E007AC491CA1B10C62334A9E8DCD8D20FB7",
     "10686D41FF744D4449FCCF6D8EEA03102E6812C93A9D60B978B702CF156D814EF"},
    {&EC_DSTU4145_307, {307, 8, 4, 2}, 1,
     "393C7F7D53666B5054B5E6C6D3DE94F4296C0C599E2E2E241050DF18B6090BDC90186904968BB",
     "3FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFC079C2F3825DA70D390FBBA588D4604022B7B7",
     "216EE8B189D291A0224984C1E92F1D16BF75CCD825A087A239B276D3167743C52C02D6E7232AA",
     "5D9306BACD22B7FAEB09D2E049C6E2866C5D1677762A8F2F2DC9A11C7F7BE8340AB2237C7F2A0"},
    {&EC_DSTU4145_367, {367, 21, 0, 0}, 1,
     "43FC8AD242B0B7A6F3D1627AD5654447556B47BF6AA4A64B0C2AFE42CADAB8F93D92394C79A79755437B5"
     "6995136",
     "40000000000000000000000000000000000000000000009C300B75A3FA824F22428FD28CE8812245EF440"
     "49B2D49",
     "324A6EDDD512F08C49A99AE0D3F961197A76413E7BE81A400CA681E09639B5FE12E59A109F78BF4A37354"
     "1B3B9A1",
     "1AB597A5B4477F59E39539007C7F977D1A567B92B043A49C6B61984C3FE3481AAF454CD41BA1F05162644"
     "2B3C10"},
    {&EC_DSTU4145_431, {431, 5, 3, 1}, 1,
     "3CE10490F6A708FC26DFE8C3D27C4F94E690134D5BFF988D8D28AAEAEDE975936C66BAC536B18AE2DC312"
     "CA493117DAA469C640CAF3",
     "3FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFBA3175458009A8C0A724F02F81AA8A1"
     "FCBAF80D90C7A95110504CF",
     "1A62BA79D98133A16BBAE7ED9A8E03C32E0824D57AEF72F88986874E5AAE49C27BED49A2A95058068426C"
     "2171E99FD3B43C5947C857D",
     "70B5E1E14031C1F70BBEFE96BDDE66F451754B4CA5F48DA241F331AA396B8D1839A855C1769B1EA14BA53"
     "308B5E2723724E090E02DB9"},
};

Value copy(const Limb* limbs, std::size_t n)
{
    Value v{};
    std::copy(limbs, limbs + n, v.begin());
    return v;
}

TEST(Dstu4145Curves, DescriptorsMatchThePublishedCurves)
{
    for (const PublishedCurve& p : PUBLISHED) {
        const CurveDescriptor& c = *p.curve;
        const std::size_t n = field_limbs(c);
        SCOPED_TRACE(c.field_bits);
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(c.modulus[t], p.poly[t]);
        EXPECT_EQ(c.a_flag, p.a);
        EXPECT_EQ(copy(c.b, n), limbs_from_hex(p.b));
        EXPECT_EQ(copy(c.order, order_limbs(c)), limbs_from_hex(p.n));
        EXPECT_EQ(copy(c.gx, n), limbs_from_hex(p.gx));
        EXPECT_EQ(copy(c.gy, n), limbs_from_hex(p.gy));
    }
}

// The standard's m = 163 signature example: Q = -(d·P); verification computes R = s·P + r·Q and
// accepts when h·x(R), truncated to the bit length of n less one, equals r.
TEST(Dstu4145Curves, SignatureExampleOfTheM163Curve)
{
    const CurveDescriptor& c = EC_DSTU4145_163;
    EXPECT_EQ(copy(c.gx, 3), limbs_from_hex("72D867F93A93AC27DF9FF01AFFE74885C8C540420"));
    EXPECT_EQ(copy(c.gy, 3), limbs_from_hex("0224A9C3947852B97C5599D5F4AB81122ADC3FD9B"));
    const Value d = limbs_from_hex("183F60FDF7951FF47D67193F8D073790C1C9B5A3E");
    const Value r = limbs_from_hex("274EA2C0CAA014A0D80A424F59ADE7A93068D08A7");
    const Value s = limbs_from_hex("2100D86957331832B8E8C230F5BD6A332B3615ACA");
    const Value h = limbs_from_hex("3A2EB95B7180166DDF73532EEB76EDAEF52247FF");

    AffinePoint dp;
    ASSERT_EQ(c.point_mul(c, dp.x.data(), dp.y.data(), d.data(), nullptr, nullptr, nullptr), 0);
    const AffinePoint q = ec_test::negate(c, dp);
    EXPECT_EQ(q.x, limbs_from_hex("57DE7FDE023FF929CB6AC785CE4B79CF64ABDC2DA"));
    EXPECT_EQ(q.y, limbs_from_hex("3E85444324BCF06AD85ABF6AD7B5F34770532B9AA"));

    AffinePoint sp, rq;
    ASSERT_EQ(c.point_mul(c, sp.x.data(), sp.y.data(), s.data(), nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(c.point_mul(c, rq.x.data(), rq.y.data(), nullptr, q.x.data(), q.y.data(),
                          r.data()),
              0);
    const AffinePoint sum = ec_test::affine_add(c, sp, rq);
    ASSERT_FALSE(sum.infinity);
    Value y{};
    c.field_mul(y.data(), h.data(), sum.x.data());
    y[2] &= (Limb{1} << (162 - 128)) - 1;
    EXPECT_EQ(y, r);
}

}  // namespace
}  // namespace vlrp11
