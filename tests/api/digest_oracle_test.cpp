// C_Digest and C_DigestUpdate/C_DigestFinal through the function table against OpenSSL, for every
// hash OpenSSL has, at lengths around the block sizes.
#include "support/session_fixture.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

namespace vlrp11::testing {
namespace {

using DigestOracle = SessionTest;

Bytes openssl_digest(const char* name, const Bytes& data)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &length, EVP_get_digestbyname(name), nullptr);
    out.resize(length);
    return out;
}

TEST_F(DigestOracle, EveryHashMatchesOpenSsl)
{
    const struct {
        CK_MECHANISM_TYPE mechanism;
        const char* name;
    } hashes[] = {
        {CKM_SHA_1, "SHA1"},         {CKM_SHA224, "SHA224"},     {CKM_SHA256, "SHA256"},
        {CKM_SHA384, "SHA384"},      {CKM_SHA512, "SHA512"},     {CKM_SHA3_224, "SHA3-224"},
        {CKM_SHA3_256, "SHA3-256"},  {CKM_SHA3_384, "SHA3-384"}, {CKM_SHA3_512, "SHA3-512"},
    };
    for (const auto& hash : hashes) {
        for (std::size_t size : {0u, 55u, 64u, 135u, 136u, 1000u}) {
            Bytes data(size);
            for (std::size_t i = 0; i < size; ++i)
                data[i] = static_cast<std::uint8_t>(i * 31 + 7);
            const Bytes expected = openssl_digest(hash.name, data);
            CK_MECHANISM m{hash.mechanism, nullptr, 0};
            Bytes out(64);
            CK_ULONG length = out.size();
            ASSERT_EQ(p11->C_DigestInit(session, &m), CKR_OK);
            ASSERT_EQ(p11->C_Digest(session, data.data(), data.size(), out.data(), &length), CKR_OK);
            EXPECT_EQ(Bytes(out.begin(), out.begin() + length), expected) << hash.name << " " << size;

            // In two parts split at a third.
            const std::size_t cut = size / 3;
            length = out.size();
            ASSERT_EQ(p11->C_DigestInit(session, &m), CKR_OK);
            ASSERT_EQ(p11->C_DigestUpdate(session, data.data(), cut), CKR_OK);
            ASSERT_EQ(p11->C_DigestUpdate(session, data.data() + cut, size - cut), CKR_OK);
            ASSERT_EQ(p11->C_DigestFinal(session, out.data(), &length), CKR_OK);
            EXPECT_EQ(Bytes(out.begin(), out.begin() + length), expected) << hash.name << " " << size;
        }
    }
}

}  // namespace
}  // namespace vlrp11::testing
