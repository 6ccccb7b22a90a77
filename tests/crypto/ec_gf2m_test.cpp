#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "crypto/ec_curve.h"
#include "crypto/ec_gf2m.h"
#include "support/ec_test_util.h"

namespace vlrp11 {
namespace {

using ec_test::Value;

// Bit-by-bit carry-less product: the definition itself.
Gf2Product naive_1x1(Limb a, Limb b)
{
    Gf2Product p{0, 0};
    for (unsigned i = 0; i < 64; ++i) {
        if ((b >> i) & 1) {
            p.low ^= a << i;
            p.high ^= i == 0 ? 0 : a >> (64 - i);
        }
    }
    return p;
}

TEST(Gf2Mul1x1, MatchesTheDefinitionIncludingTheTopBits)
{
    std::mt19937_64 rng(7);
    const Limb edge[] = {0, 1, 0x8000000000000000, 0xE000000000000000, 0xFFFFFFFFFFFFFFFF,
                         0x1FFFFFFFFFFFFFFF, 0xA5A5A5A5A5A5A5A5};
    std::vector<std::pair<Limb, Limb>> cases;
    for (Limb a : edge) {
        for (Limb b : edge)
            cases.emplace_back(a, b);
    }
    for (int i = 0; i < 500; ++i)
        cases.emplace_back(rng(), rng());
    for (const auto& [a, b] : cases) {
        const Gf2Product got = gf2_mul_1x1(a, b);
        const Gf2Product want = naive_1x1(a, b);
        EXPECT_EQ(got.low, want.low) << std::hex << a << " " << b;
        EXPECT_EQ(got.high, want.high) << std::hex << a << " " << b;
    }
}

struct Gf2Implementation {
    const char* name;
    void (*mul)(Limb*, const Limb*, const Limb*, std::size_t);
    void (*sqr)(Limb*, const Limb*, std::size_t);
    bool needs_clmul;
};

class Gf2Products : public ::testing::TestWithParam<Gf2Implementation> {
protected:
    void SetUp() override
    {
        if (GetParam().needs_clmul && !gf2_has_clmul())
            GTEST_SKIP() << "no carry-less multiply instruction";
    }
};

// Schoolbook product from the 1×1 definition, for every limb count the curves use.
TEST_P(Gf2Products, MatchSchoolbookForEveryLimbCount)
{
    std::mt19937_64 rng(11);
    for (std::size_t n = 1; n <= EC_MAX_LIMBS; ++n) {
        for (int round = 0; round < 20; ++round) {
            Limb a[EC_MAX_LIMBS], b[EC_MAX_LIMBS];
            for (std::size_t i = 0; i < n; ++i) {
                a[i] = rng();
                b[i] = round == 0 ? ~Limb{0} : rng();
            }
            Limb want[2 * EC_MAX_LIMBS] = {};
            for (std::size_t i = 0; i < n; ++i) {
                for (std::size_t j = 0; j < n; ++j) {
                    const Gf2Product p = naive_1x1(a[i], b[j]);
                    want[i + j] ^= p.low;
                    want[i + j + 1] ^= p.high;
                }
            }
            Limb got[2 * EC_MAX_LIMBS] = {};
            GetParam().mul(got, a, b, n);
            EXPECT_EQ(0, std::memcmp(got, want, 16 * n)) << "n = " << n;
            Limb square[2 * EC_MAX_LIMBS] = {}, square_want[2 * EC_MAX_LIMBS] = {};
            GetParam().sqr(square, a, n);
            GetParam().mul(square_want, a, a, n);
            EXPECT_EQ(0, std::memcmp(square, square_want, 16 * n)) << "n = " << n;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Implementations, Gf2Products,
    ::testing::Values(Gf2Implementation{"table", gf2_mul_table, gf2_sqr_table, false},
                      Gf2Implementation{"clmul", gf2_mul_clmul, gf2_sqr_clmul, true}),
    [](const auto& info) { return std::string(info.param.name); });

std::vector<ec_test::NamedCurve> binary_curves()
{
    std::vector<ec_test::NamedCurve> list;
    for (const auto& c : ec_test::all_curves()) {
        if (c.curve->field_kind == FIELD_BINARY)
            list.push_back(c);
    }
    return list;
}

class BinaryField : public ::testing::TestWithParam<ec_test::NamedCurve> {};

TEST_P(BinaryField, InverseAndReduction)
{
    const CurveDescriptor& c = *GetParam().curve;
    const std::size_t n = field_limbs(c);
    std::mt19937_64 rng(c.field_bits);
    const Value one = ec_test::limbs_from_hex("1");
    for (int round = 0; round < 20; ++round) {
        Value a{};
        for (std::size_t i = 0; i < n; ++i)
            a[i] = rng();
        a[n - 1] &= (Limb{1} << (c.field_bits % 64)) - 1;
        Value inv{}, product{};
        ASSERT_EQ(gf2_inv(inv.data(), a.data(), c.modulus), 0);
        c.field_mul(product.data(), a.data(), inv.data());
        EXPECT_EQ(product, one);
        // x^m reduces to the polynomial's lower terms.
        Limb wide[2 * EC_MAX_LIMBS] = {};
        wide[c.field_bits / 64] = Limb{1} << (c.field_bits % 64);
        gf2_reduce(wide, c.modulus);
        Value lower{};
        lower[0] = 1;
        for (int t = 1; t < 4 && c.modulus[t] != 0; ++t)
            lower[c.modulus[t] / 64] |= Limb{1} << (c.modulus[t] % 64);
        EXPECT_EQ(0, std::memcmp(wide, lower.data(), 8 * n));
    }
    Value r{};
    EXPECT_EQ(gf2_inv(r.data(), Value{}.data(), c.modulus), EC_INVERSE_OF_ZERO);
}

INSTANTIATE_TEST_SUITE_P(BinaryCurves, BinaryField, ::testing::ValuesIn(binary_curves()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vlrp11
