// The digest context against OpenSSL for the SHA family and against the published vectors for
// Kupyna and GOST 34.311-95 (OpenSSL has neither with the DSTU 4145 S-box), one-shot and in
// uneven pieces, for every mechanism that selects a hash.
#include "objects/digest_context.h"
#include "support/hex.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes counting(std::size_t n)
{
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    return bytes;
}

Bytes openssl_digest(const char* name, const Bytes& message)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned length = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), out.data(), &length, EVP_get_digestbyname(name), nullptr), 1);
    out.resize(length);
    return out;
}

Bytes run(CK_MECHANISM_TYPE type, const Bytes& message, std::size_t piece)
{
    DigestContext context;
    std::memset(&context, 0x5A, sizeof context);
    CK_MECHANISM mechanism{type, nullptr, 0};
    EXPECT_EQ(digest_init(context, &mechanism), CKR_OK);
    for (std::size_t at = 0; at < message.size(); at += piece)
        EXPECT_TRUE(digest_update(context, message.data() + at, std::min(piece, message.size() - at)));
    Bytes out(digest_length(context.hashKind));
    EXPECT_TRUE(digest_final(context, out.data()));
    // The finished state is gone.
    EXPECT_EQ(std::vector<std::uint8_t>(reinterpret_cast<std::uint8_t*>(&context),
                                        reinterpret_cast<std::uint8_t*>(&context) + sizeof context),
              Bytes(sizeof context, 0));
    return out;
}

struct OracleCase {
    CK_MECHANISM_TYPE mechanism;
    const char* openssl_name;
};

const OracleCase oracle_cases[] = {
    {CKM_SHA_1, "SHA1"},          {CKM_SHA224, "SHA224"},       {CKM_SHA256, "SHA256"},
    {CKM_SHA384, "SHA384"},       {CKM_SHA512, "SHA512"},       {CKM_SHA3_224, "SHA3-224"},
    {CKM_SHA3_256, "SHA3-256"},   {CKM_SHA3_384, "SHA3-384"},   {CKM_SHA3_512, "SHA3-512"},
    {CKM_SHA1_RSA_PKCS, "SHA1"},  {CKM_SHA3_224_RSA_PKCS, "SHA3-224"}, {CKM_SHA384_RSA_PKCS, "SHA384"},
    {CKM_ECDSA_SHA256, "SHA256"}, {CKM_ECDSA_SHA3_512, "SHA3-512"},
};

TEST(DigestContext, ShaFamilyMatchesOpenSsl)
{
    for (const OracleCase& c : oracle_cases) {
        for (std::size_t size : {0, 1, 55, 64, 135, 136, 1000}) {
            const Bytes message = counting(size);
            const Bytes expected = openssl_digest(c.openssl_name, message);
            for (std::size_t piece : {std::size_t{7}, message.size() + 1})
                EXPECT_EQ(run(c.mechanism, message, piece), expected) << c.openssl_name << " " << size << "/" << piece;
        }
    }
}

struct VectorCase {
    CK_MECHANISM_TYPE mechanism;
    std::size_t message_bytes;  // the counting bytes 00 01 02 ...
    const char* digest;
};

// From tests/vectors: Kupyna-384 is the last 48 bytes of Kupyna-512 of the same message.
const VectorCase vector_cases[] = {
    {CKM_KUPYNA_256, 64, "08f4ee6f1be6903b324c4e27990cb24ef69dd58dbe84813ee0a52f6631239875"},
    {CKM_DSTU4145_KUPYNA_256, 128, "0a9474e645a7d25e255e9e89fff42ec7eb31349007059284f0b182e452bda882"},
    {CKM_KUPYNA_384, 64,
     "c80a2dfb3afdfb02f46992b5edbe536b3560dd1d7e29c6f53978af58b444e37ba685c0dd910533ba5d78efffc13de62a"},
    {CKM_KUPYNA_512, 64,
     "3813e2109118cdfb5a6d5e72f7208dccc80a2dfb3afdfb02f46992b5edbe536b3560dd1d7e29c6f53978af58b444e37ba685c0dd910533ba5d78efffc13de62a"},
    {CKM_DSTU4145_KUPYNA_512, 0,
     "656b2f4cd71462388b64a37043ea55dbe445d452aecd46c3298343314ef04019bcfa3f04265a9857f91be91fce197096187ceda78c9c1c021c294a0689198538"},
    {CKM_GOST34311, 32, "811cb06a8ee423182d9cc9d281f783908f4cfbaf47a68be8415d3499674a3063"},
    {CKM_DSTU4145_GOST34311, 32, "811cb06a8ee423182d9cc9d281f783908f4cfbaf47a68be8415d3499674a3063"},
};

TEST(DigestContext, NationalHashesMatchPublishedVectors)
{
    for (const VectorCase& c : vector_cases) {
        const Bytes expected = test::from_hex(c.digest);
        for (std::size_t piece : {std::size_t{5}, c.message_bytes + 1})
            EXPECT_EQ(run(c.mechanism, counting(c.message_bytes), piece), expected) << std::hex << c.mechanism;
    }
}

TEST(DigestContext, RefusalsLeaveNoHashRunning)
{
    DigestContext context{};
    EXPECT_EQ(digest_init(context, nullptr), CKR_ARGUMENTS_BAD);
    for (CK_MECHANISM_TYPE type : {CKM_RSA_PKCS, CKM_ECDSA, CKM_DSTU4145, CKM_AES_ECB, CKM_GOST28147_MAC}) {
        CK_MECHANISM mechanism{type, nullptr, 0};
        EXPECT_EQ(digest_init(context, &mechanism), CKR_MECHANISM_INVALID) << type;
    }
    std::uint8_t out[64];
    EXPECT_FALSE(digest_update(context, out, 1));
    EXPECT_FALSE(digest_final(context, out));
    for (std::uint32_t kind : {0u, 14u, 0xFFFFFFFFu})
        EXPECT_EQ(digest_length(static_cast<HashKind>(kind)), 0u);
}

}  // namespace
}  // namespace vlrp11
