#include <gtest/gtest.h>

#include <cstring>

#include "crypto/aes.h"
#include "crypto/support/aes_implementations.h"
#include "crypto/support/any_hash.h"

// FIPS 197 appendix C and the SP 800-38A CBC example on every implementation, plus the schedule
// layout the two paths share.

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

// SP 800-38A F.2.1 and F.2.5: four blocks under one IV. Nine blocks are the four, the four
// again chained on, and the first once more: enough to fill the eight-block lanes and leave one.
struct CbcVector {
    unsigned key_bits;
    const char* key;
    const char* ciphertext;
};

constexpr char cbc_iv[] = "000102030405060708090a0b0c0d0e0f";
constexpr char cbc_plaintext[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
constexpr CbcVector sp800_38a[] = {
    {128, "2b7e151628aed2a6abf7158809cf4f3c",
     "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
     "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
    {256, "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
     "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
     "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
};

class AesCbcTest : public testing::TestWithParam<std::tuple<AesImplementation, CbcVector>> {};

TEST_P(AesCbcTest, EncryptsAndDecryptsInPiecesAndInPlace)
{
    const auto& [implementation, vector] = GetParam();
    if (!implementation.available())
        GTEST_SKIP() << implementation.name << " unavailable on this processor";
    const Bytes key = from_hex(vector.key);
    AesKey schedule;
    implementation.set_key(schedule, key.data(), vector.key_bits);
    const Bytes plain = from_hex(cbc_plaintext);
    const Bytes cipher = from_hex(vector.ciphertext);

    Bytes chain = from_hex(cbc_iv);
    Bytes out(64);
    implementation.cbc_encrypt(schedule, chain.data(), plain.data(), out.data(), 4);
    EXPECT_EQ(to_hex(out), to_hex(cipher));
    EXPECT_EQ(to_hex(chain), to_hex(Bytes(cipher.end() - 16, cipher.end())));

    // Nine blocks in place, split 1 + 8 on encryption and 8 + 1 on decryption.
    Bytes long_plain = plain;
    long_plain.insert(long_plain.end(), plain.begin(), plain.end());
    long_plain.insert(long_plain.end(), plain.begin(), plain.begin() + 16);
    Bytes data = long_plain;
    chain = from_hex(cbc_iv);
    implementation.cbc_encrypt(schedule, chain.data(), data.data(), data.data(), 1);
    implementation.cbc_encrypt(schedule, chain.data(), data.data() + 16, data.data() + 16, 8);
    EXPECT_EQ(to_hex(Bytes(data.begin(), data.begin() + 64)), to_hex(cipher));
    chain = from_hex(cbc_iv);
    implementation.cbc_decrypt(schedule, chain.data(), data.data(), data.data(), 8);
    implementation.cbc_decrypt(schedule, chain.data(), data.data() + 128, data.data() + 128, 1);
    EXPECT_EQ(to_hex(data), to_hex(long_plain));
}

std::string cbc_name(const testing::TestParamInfo<AesCbcTest::ParamType>& info)
{
    return std::get<0>(info.param).name + "_" + std::to_string(std::get<1>(info.param).key_bits);
}

INSTANTIATE_TEST_SUITE_P(Sp800_38a, AesCbcTest,
                         testing::Combine(testing::ValuesIn(aes_implementations()), testing::ValuesIn(sp800_38a)),
                         cbc_name);

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
