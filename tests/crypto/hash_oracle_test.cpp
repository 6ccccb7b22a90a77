#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>

#include "crypto/cpu_support.h"
#include "crypto/support/any_hash.h"

// Every SHA and SHA-3 variant against OpenSSL on random messages of many lengths, fed in
// random pieces and whole, on both paths of each SHA.

namespace vlrp11::test {
namespace {

const EVP_MD* openssl_digest(DigestType type)
{
    switch (type) {
    case DigestType::sha1: return EVP_sha1();
    case DigestType::sha224: return EVP_sha224();
    case DigestType::sha256: return EVP_sha256();
    case DigestType::sha384: return EVP_sha384();
    case DigestType::sha512: return EVP_sha512();
    case DigestType::sha3_224: return EVP_sha3_224();
    case DigestType::sha3_256: return EVP_sha3_256();
    case DigestType::sha3_384: return EVP_sha3_384();
    case DigestType::sha3_512: return EVP_sha3_512();
    default: return nullptr;
    }
}

Bytes openssl_digest_of(DigestType type, const Bytes& message)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned length = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), out.data(), &length, openssl_digest(type), nullptr), 1);
    out.resize(length);
    return out;
}

class HashOracleTest : public testing::TestWithParam<std::tuple<ShaPath, DigestType>> {};

TEST_P(HashOracleTest, AgreesWithOpenSsl)
{
    const auto [path, type] = GetParam();
    if (!sha_path_available(path, type))
        GTEST_SKIP() << "no instructions for this path on this processor";
    ShaPathGuard guard(path);
    std::mt19937 random(static_cast<unsigned>(type) * 7919);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 300; ++length)
        lengths.push_back(length);
    for (int i = 0; i < 60; ++i)
        lengths.push_back(std::uniform_int_distribution<std::size_t>(301, 20000)(random));

    for (std::size_t length : lengths) {
        Bytes message(length);
        for (auto& b : message)
            b = static_cast<std::uint8_t>(random());
        const std::string expected = to_hex(openssl_digest_of(type, message));
        AnyHash hash(type);
        for (std::size_t at = 0; at < length;) {
            const std::size_t piece = std::min(length - at, std::uniform_int_distribution<std::size_t>(0, 300)(random));
            hash.update(std::span(message).subspan(at, piece));
            at += piece;
        }
        ASSERT_EQ(to_hex(hash.final()), expected) << "length " << length;
        // In one piece, so that the compressions also see runs of many blocks, odd and even.
        AnyHash whole(type);
        whole.update(message);
        ASSERT_EQ(to_hex(whole.final()), expected) << "length " << length << " in one piece";
    }
}

const DigestType openssl_types[] = {DigestType::sha1,     DigestType::sha224,   DigestType::sha256,
                                    DigestType::sha384,   DigestType::sha512,   DigestType::sha3_224,
                                    DigestType::sha3_256, DigestType::sha3_384, DigestType::sha3_512};

std::string oracle_name(const testing::TestParamInfo<HashOracleTest::ParamType>& info)
{
    return sha_path_name(std::get<0>(info.param)) + "_" + digest_name(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(OpenSsl, HashOracleTest,
                         testing::Combine(testing::ValuesIn(all_sha_paths), testing::ValuesIn(openssl_types)), oracle_name);

}  // namespace
}  // namespace vlrp11::test
