#include <gtest/gtest.h>

#include <cstring>

#include "crypto/aes.h"
#include "crypto/support/aes_implementations.h"
#include "crypto/support/any_hash.h"

// FIPS 197 appendix C on every implementation, plus the schedule layout the two paths share.

namespace vlrp11::test {
namespace {

struct AesVector {
    unsigned key_bits;
    const char* key;
    const char* plaintext;
    const char* ciphertext;
};

constexpr AesVector fips197[] = {
    {128, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {192, "000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {256, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
};

class AesTest : public testing::TestWithParam<std::tuple<AesImplementation, AesVector>> {
protected:
    void SetUp() override
    {
        if (!implementation().available())
            GTEST_SKIP() << implementation().name << " unavailable on this processor";
        const Bytes key = from_hex(vector().key);
        implementation().set_key(schedule_, key.data(), vector().key_bits);
    }

    const AesImplementation& implementation() const { return std::get<0>(GetParam()); }
    const AesVector& vector() const { return std::get<1>(GetParam()); }

    AesKey schedule_;
};

TEST_P(AesTest, EncryptsAndDecryptsTheStandardBlock)
{
    const Bytes plaintext = from_hex(vector().plaintext);
    Bytes out(16);
    implementation().encrypt(schedule_, plaintext.data(), out.data());
    EXPECT_EQ(to_hex(out), vector().ciphertext);
    const Bytes ciphertext = from_hex(vector().ciphertext);
    implementation().decrypt(schedule_, ciphertext.data(), out.data());
    EXPECT_EQ(to_hex(out), vector().plaintext);
}

TEST_P(AesTest, WorksInPlace)
{
    Bytes block = from_hex(vector().plaintext);
    implementation().encrypt(schedule_, block.data(), block.data());
    EXPECT_EQ(to_hex(block), vector().ciphertext);
    implementation().decrypt(schedule_, block.data(), block.data());
    EXPECT_EQ(to_hex(block), vector().plaintext);
}

// The schedule alone fixes the round count, and both paths place the end keys the same way.
TEST_P(AesTest, ScheduleCarriesRoundsAndEndKeys)
{
    const int rounds = static_cast<int>(vector().key_bits / 32 + 6);
    EXPECT_EQ(schedule_.rounds, rounds);
    EXPECT_EQ(std::memcmp(schedule_.dec_round_keys[0], schedule_.enc_round_keys[rounds], 16), 0);
    EXPECT_EQ(std::memcmp(schedule_.dec_round_keys[rounds], schedule_.enc_round_keys[0], 16), 0);
}

std::string aes_name(const testing::TestParamInfo<AesTest::ParamType>& info)
{
    return std::get<0>(info.param).name + "_" + std::to_string(std::get<1>(info.param).key_bits);
}

INSTANTIATE_TEST_SUITE_P(Fips197, AesTest,
                         testing::Combine(testing::ValuesIn(aes_implementations()), testing::ValuesIn(fips197)), aes_name);

TEST(AesSetKey, RefusesOtherKeySizes)
{
    const std::uint8_t key[64] = {};
    AesKey schedule;
    for (unsigned bits : {0u, 64u, 127u, 129u, 512u})
        EXPECT_EQ(aes_set_key(schedule, key, bits), aes_bad_key_size) << bits << " bits";
    EXPECT_EQ(aes_set_key(schedule, key, 192), 0);
}

}  // namespace
}  // namespace vlrp11::test
