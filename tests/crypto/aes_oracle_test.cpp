#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>

#include "crypto/support/aes_implementations.h"
#include "crypto/support/any_hash.h"

// Each AES implementation against OpenSSL's single-block cipher for random keys and blocks of
// every key size, and its CBC against OpenSSL's for random messages of 1 to 40 blocks.

namespace vlrp11::test {
namespace {

const EVP_CIPHER* openssl_ecb(unsigned key_bits)
{
    return key_bits == 128 ? EVP_aes_128_ecb() : key_bits == 192 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
}

Bytes openssl_block(unsigned key_bits, const Bytes& key, const Bytes& in, bool encrypt)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(32);
    int length = 0;
    EXPECT_EQ(EVP_CipherInit_ex(ctx, openssl_ecb(key_bits), nullptr, key.data(), nullptr, encrypt ? 1 : 0), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &length, in.data(), 16), 1);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(16);
    return out;
}

class AesOracleTest : public testing::TestWithParam<std::tuple<AesImplementation, unsigned>> {};

TEST_P(AesOracleTest, AgreesWithOpenSsl)
{
    const auto& [implementation, key_bits] = GetParam();
    if (!implementation.available())
        GTEST_SKIP() << implementation.name << " unavailable on this processor";
    std::mt19937 random(key_bits);
    auto random_bytes = [&](std::size_t n) {
        Bytes bytes(n);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    };
    for (int trial = 0; trial < 300; ++trial) {
        const Bytes key = random_bytes(key_bits / 8);
        const Bytes block = random_bytes(16);
        AesKey schedule;
        implementation.set_key(schedule, key.data(), key_bits);
        Bytes out(16);
        implementation.encrypt(schedule, block.data(), out.data());
        ASSERT_EQ(to_hex(out), to_hex(openssl_block(key_bits, key, block, true))) << "trial " << trial;
        implementation.decrypt(schedule, block.data(), out.data());
        ASSERT_EQ(to_hex(out), to_hex(openssl_block(key_bits, key, block, false))) << "trial " << trial;
    }
}

Bytes openssl_cbc(unsigned key_bits, const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt)
{
    const EVP_CIPHER* cipher =
        key_bits == 128 ? EVP_aes_128_cbc() : key_bits == 192 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    Bytes out(in.size() + 16);
    int length = 0;
    EXPECT_EQ(EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv.data(), encrypt ? 1 : 0), 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EXPECT_EQ(EVP_CipherUpdate(ctx, out.data(), &length, in.data(), static_cast<int>(in.size())), 1);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(in.size());
    return out;
}

TEST_P(AesOracleTest, CbcAgreesWithOpenSsl)
{
    const auto& [implementation, key_bits] = GetParam();
    if (!implementation.available())
        GTEST_SKIP() << implementation.name << " unavailable on this processor";
    std::mt19937 random(key_bits + 1);
    auto random_bytes = [&](std::size_t n) {
        Bytes bytes(n);
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random());
        return bytes;
    };
    for (std::size_t blocks = 1; blocks <= 40; ++blocks) {
        const Bytes key = random_bytes(key_bits / 8);
        const Bytes iv = random_bytes(16);
        const Bytes message = random_bytes(16 * blocks);
        AesKey schedule;
        implementation.set_key(schedule, key.data(), key_bits);
        for (const bool encrypt : {true, false}) {
            Bytes out(message.size());
            Bytes chain = iv;
            (encrypt ? implementation.cbc_encrypt : implementation.cbc_decrypt)(schedule, chain.data(),
                                                                                 message.data(), out.data(), blocks);
            ASSERT_EQ(to_hex(out), to_hex(openssl_cbc(key_bits, key, iv, message, encrypt)))
                << blocks << " blocks, encrypt " << encrypt;
        }
    }
}

std::string oracle_name(const testing::TestParamInfo<AesOracleTest::ParamType>& info)
{
    return std::get<0>(info.param).name + "_" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(OpenSsl, AesOracleTest,
                         testing::Combine(testing::ValuesIn(aes_implementations()), testing::Values(128u, 192u, 256u)),
                         oracle_name);

}  // namespace
}  // namespace vlrp11::test
