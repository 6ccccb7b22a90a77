#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "crypto/ec_bignum.h"
#include "crypto/ec_curve.h"
#include "support/ec_test_util.h"

namespace vlrp11 {
namespace {

using ec_test::limbs_from_hex;
using ec_test::Value;

TEST(BytesToNative, OneAndBackAgain)
{
    std::uint8_t bytes[32] = {};
    bytes[31] = 1;
    Limb limbs[4] = {9, 9, 9, 9};
    bytes_to_native(limbs, bytes, 32);
    EXPECT_EQ(limbs[0], 1u);
    EXPECT_EQ(limbs[1] | limbs[2] | limbs[3], 0u);
    std::uint8_t back[32];
    native_to_bytes(back, 32, limbs);
    EXPECT_EQ(0, std::memcmp(bytes, back, 32));
}

TEST(BytesToNative, OddLengthsFillPartialLimbs)
{
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
    Limb limbs[2] = {7, 7};
    bytes_to_native(limbs, bytes, sizeof bytes);
    EXPECT_EQ(limbs[0], 0x0203040506070809u);
    EXPECT_EQ(limbs[1], 0x01u);
}

TEST(LimbsCompare, SignForEveryLimbCount)
{
    for (std::size_t n = 1; n <= EC_MAX_LIMBS; ++n) {
        for (std::size_t limb = 0; limb < n; ++limb) {
            Value a{}, b{};
            a.fill(0x5555);
            b = a;
            EXPECT_EQ(limbs_compare(a.data(), b.data(), n), 0) << n;
            b[limb] += 1;
            EXPECT_EQ(limbs_compare(a.data(), b.data(), n), -1) << n << " " << limb;
            EXPECT_EQ(limbs_compare(b.data(), a.data(), n), 1) << n << " " << limb;
        }
    }
    const Value top = limbs_from_hex("8000000000000000" "0000000000000000");
    const Value low = limbs_from_hex("7fffffffffffffff" "ffffffffffffffff");
    EXPECT_EQ(limbs_compare(top.data(), low.data(), 2), 1);
}

TEST(Lshift, ReturnsTheBitsShiftedOut)
{
    const Value a = limbs_from_hex("f000000000000001" "8000000000000003");
    Value r{};
    EXPECT_EQ(lshift(r.data(), a.data(), 2, 4), 0xFu);
    EXPECT_EQ(r, limbs_from_hex("0000000000000018" "0000000000000030"));
    EXPECT_EQ(lshift(r.data(), a.data(), 2, 0), 0u);
    EXPECT_EQ(r, a);
}

TEST(ModInv, EdgeCases)
{
    const Limb* p = EC_P256.modulus;
    Value r{};
    std::fill_n(r.begin(), 4, 7);
    EXPECT_EQ(mod_inv(r.data(), Value{}.data(), p, 4), EC_INVERSE_OF_ZERO);
    EXPECT_EQ(r, Value{});
    const Value one = limbs_from_hex("1");
    EXPECT_EQ(mod_inv(r.data(), one.data(), p, 4), 0);
    EXPECT_EQ(r, one);
}

// Random values against identities that hold for any correct implementation.
class ModularArithmetic : public ::testing::TestWithParam<ec_test::NamedCurve> {
protected:
    std::mt19937_64 rng{42};

    Value random_below(const Limb* m, std::size_t n)
    {
        Value v{};
        do {
            for (std::size_t i = 0; i < n; ++i)
                v[i] = rng();
            v[n - 1] &= (~Limb{0}) >> (64 * n - limbs_bit_length(m, n));
        } while (limbs_compare(v.data(), m, n) >= 0);
        return v;
    }
};

class PrimeField : public ModularArithmetic {};

TEST_P(PrimeField, FastReductionMatchesTheGenericOne)
{
    const CurveDescriptor& c = *GetParam().curve;
    const std::size_t n = field_limbs(c);
    Value p_minus_1{};
    const Value one = limbs_from_hex("1");
    limbs_sub(p_minus_1.data(), c.modulus, one.data(), n);
    std::vector<Value> values{p_minus_1, one, Value{}};
    for (int i = 0; i < 200; ++i)
        values.push_back(random_below(c.modulus, n));
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        const Value& a = values[i];
        const Value& b = values[i + 1];
        Value fast{}, generic{}, sq{}, sq_generic{};
        c.field_mul(fast.data(), a.data(), b.data());
        mod_mult(generic.data(), a.data(), b.data(), c.modulus, n);
        EXPECT_EQ(fast, generic)
            << ec_test::hex_of(a.data(), n) << " * " << ec_test::hex_of(b.data(), n);
        c.field_sqr(sq.data(), a.data());
        mod_mult(sq_generic.data(), a.data(), a.data(), c.modulus, n);
        EXPECT_EQ(sq, sq_generic) << ec_test::hex_of(a.data(), n);
    }
}

TEST_P(ModularArithmetic, InverseAddAndSubtractModuloTheOrder)
{
    const CurveDescriptor& c = *GetParam().curve;
    const std::size_t n = order_limbs(c);
    const Value one = limbs_from_hex("1");
    for (int i = 0; i < 20; ++i) {
        const Value a = random_below(c.order, n);
        const Value b = random_below(c.order, n);
        Value inv{}, product{}, sum{}, back{};
        ASSERT_EQ(mod_inv(inv.data(), a.data(), c.order, n), 0);
        mod_mult(product.data(), a.data(), inv.data(), c.order, n);
        EXPECT_EQ(product, one);
        mod_add(sum.data(), a.data(), b.data(), c.order, n);
        EXPECT_LT(limbs_compare(sum.data(), c.order, n), 0);
        mod_sub(back.data(), sum.data(), b.data(), c.order, n);
        EXPECT_EQ(back, a);
    }
}

const auto curve_name = [](const auto& info) { return std::string(info.param.name); };

INSTANTIATE_TEST_SUITE_P(AllCurves, ModularArithmetic, ::testing::ValuesIn(ec_test::all_curves()),
                         curve_name);

std::vector<ec_test::NamedCurve> prime_curves()
{
    std::vector<ec_test::NamedCurve> primes;
    for (const auto& c : ec_test::all_curves()) {
        if (c.curve->field_kind == FIELD_PRIME)
            primes.push_back(c);
    }
    return primes;
}

INSTANTIATE_TEST_SUITE_P(NistPrimes, PrimeField, ::testing::ValuesIn(prime_curves()), curve_name);

TEST(LimbsMulAndSquare, AgreeAndMatchAKnownProduct)
{
    // (2^128 - 1)² = 2^256 - 2^129 + 1
    const Value a = limbs_from_hex("ffffffffffffffff" "ffffffffffffffff");
    Limb product[4], square[4];
    limbs_mul(product, a.data(), a.data(), 2);
    limbs_square(square, a.data(), 2);
    EXPECT_EQ(product[0], 1u);
    EXPECT_EQ(product[1], 0u);
    EXPECT_EQ(product[2], 0xFFFFFFFFFFFFFFFEu);
    EXPECT_EQ(product[3], 0xFFFFFFFFFFFFFFFFu);
    EXPECT_EQ(0, std::memcmp(product, square, sizeof product));
}

}  // namespace
}  // namespace vlrp11
