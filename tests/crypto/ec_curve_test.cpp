#include <gtest/gtest.h>

#include "crypto/ec_curve.h"
#include "support/ec_test_util.h"

namespace vlrp11 {
namespace {

using ec_test::AffinePoint;
using ec_test::NamedCurve;
using ec_test::Value;

class CurveTable : public ::testing::TestWithParam<NamedCurve> {
protected:
    const CurveDescriptor& curve = *GetParam().curve;
    std::size_t n = field_limbs(curve);

    AffinePoint multiply(const Value& k, std::uint8_t expected_status = EC_OK)
    {
        AffinePoint r;
        EXPECT_EQ(curve.point_mul(curve, r.x.data(), r.y.data(), k.data(), nullptr, nullptr,
                                  nullptr),
                  expected_status);
        return r;
    }
    AffinePoint multiply_point(const Value& k, const AffinePoint& p)
    {
        AffinePoint r;
        EXPECT_EQ(curve.point_mul(curve, r.x.data(), r.y.data(), nullptr, p.x.data(),
                                  p.y.data(), k.data()),
                  EC_OK);
        return r;
    }
    static Value small(Limb v)
    {
        Value r{};
        r[0] = v;
        return r;
    }
};

TEST_P(CurveTable, DescriptorIsWellFormed)
{
    EXPECT_EQ(curve.reserved, nullptr);
    EXPECT_EQ(limbs_bit_length(curve.order, order_limbs(curve)), curve.order_bits);
    if (curve.field_kind == FIELD_PRIME) {
        EXPECT_EQ(limbs_bit_length(curve.modulus, n), curve.field_bits);
        EXPECT_EQ(curve.a_flag, 1u);
        Value a_plus_3{};
        const Value three = small(3);
        limbs_add(a_plus_3.data(), curve.a, three.data(), n);
        EXPECT_EQ(ec_test::hex_of(a_plus_3.data(), n), ec_test::hex_of(curve.modulus, n));
    } else {
        EXPECT_EQ(curve.modulus[0], curve.field_bits);
        EXPECT_EQ(curve.a, nullptr);
        EXPECT_LE(curve.a_flag, 1u);
    }
    EXPECT_TRUE(ec_test::on_curve(curve, ec_test::base_point(curve)));
}

TEST_P(CurveTable, SmallMultiplesMatchAffineFormulas)
{
    const AffinePoint g = ec_test::base_point(curve);
    AffinePoint expected = g;
    for (Limb k = 1; k <= 5; ++k) {
        const AffinePoint got = multiply(small(k));
        EXPECT_EQ(ec_test::hex_of(got.x.data(), n), ec_test::hex_of(expected.x.data(), n)) << k;
        EXPECT_EQ(ec_test::hex_of(got.y.data(), n), ec_test::hex_of(expected.y.data(), n)) << k;
        expected = ec_test::affine_add(curve, expected, g);
    }
}

TEST_P(CurveTable, ScalarsCompose)
{
    // (a·b)·G computed as a·(b·G), and k·G on the curve for a wide k.
    const Value a = small(0xA5A5A5A5u), b = small(0x1234567u);
    const AffinePoint bg = multiply(b);
    const AffinePoint abg = multiply_point(a, bg);
    const AffinePoint direct = multiply(small(0xA5A5A5A5ull * 0x1234567ull));
    EXPECT_EQ(abg.x, direct.x);
    EXPECT_EQ(abg.y, direct.y);
    EXPECT_TRUE(ec_test::on_curve(curve, abg));

    Value wide{};
    for (std::size_t i = 0; i < order_limbs(curve); ++i)
        wide[i] = curve.order[i];
    wide[0] -= 1234;  // below n, every limb significant
    EXPECT_TRUE(ec_test::on_curve(curve, multiply(wide)));
}

TEST_P(CurveTable, OrderMinusTwoGivesMinusTwoG)
{
    // Checks n itself: (n - 2)·G = -(2·G) only when n is the base point's order.
    Value k{};
    const Value two = small(2);
    limbs_sub(k.data(), curve.order, two.data(), order_limbs(curve));
    const AffinePoint got = multiply(k);
    const AffinePoint expected = ec_test::negate(curve, multiply(two));
    EXPECT_EQ(got.x, expected.x);
    EXPECT_EQ(got.y, expected.y);
}

TEST_P(CurveTable, PointMulWantsExactlyOneScalar)
{
    const Value k = small(7);
    Value x{}, y{};
    EXPECT_EQ(curve.point_mul(curve, x.data(), y.data(), nullptr, curve.gx, curve.gy, nullptr),
              EC_BAD_SCALAR);
    EXPECT_EQ(curve.point_mul(curve, x.data(), y.data(), k.data(), curve.gx, curve.gy, k.data()),
              EC_BAD_SCALAR);
    multiply(Value{}, EC_BAD_SCALAR);
}

TEST_P(CurveTable, OnlyXWhenYIsNotWanted)
{
    const AffinePoint full = multiply(small(11));
    Value x{};
    const Value k = small(11);
    ASSERT_EQ(curve.point_mul(curve, x.data(), nullptr, k.data(), nullptr, nullptr, nullptr),
              EC_OK);
    EXPECT_EQ(x, full.x);
}

TEST_P(CurveTable, ReduceModOrder)
{
    Value v{};
    for (std::size_t i = 0; i < order_limbs(curve); ++i)
        v[i] = curve.order[i];
    curve.reduce_mod_order(curve, v.data());
    EXPECT_EQ(v, Value{});

    Value below = small(12345);
    curve.reduce_mod_order(curve, below.data());
    EXPECT_EQ(below, small(12345));

    Value above{};
    for (std::size_t i = 0; i < order_limbs(curve); ++i)
        above[i] = curve.order[i];
    above[0] += 7;  // no order's low limb is that close to 2^64
    curve.reduce_mod_order(curve, above.data());
    EXPECT_EQ(above, small(7));
}

INSTANTIATE_TEST_SUITE_P(AllCurves, CurveTable, ::testing::ValuesIn(ec_test::all_curves()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vlrp11
