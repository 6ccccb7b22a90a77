// PKCS#1 v1.5 formatting against OpenSSL: the signature blocks OpenSSL builds (recovered from
// its signatures with the public key) and the encryption blocks it pads; then the edges of the
// decryption check and the signature lengths by key.
#define OPENSSL_SUPPRESS_DEPRECATED  // RSA_padding_add_PKCS1_type_2 has no EVP form

#include "device/status.h"
#include "objects/sign_format.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <memory>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;

Key rsa_key(unsigned bits)
{
    return Key(EVP_RSA_gen(bits));
}

// The block OpenSSL signs for (hash name, message): its signature raised to e.
Bytes openssl_em(EVP_PKEY* key, const char* hash_name, const Bytes& message, Bytes& hash)
{
    const EVP_MD* md = EVP_get_digestbyname(hash_name);
    hash.resize(EVP_MD_get_size(md));
    unsigned hash_length = 0;
    EVP_Digest(message.data(), message.size(), hash.data(), &hash_length, md, nullptr);

    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
    EVP_PKEY_sign_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(ctx, md);
    std::size_t length = 0;
    EVP_PKEY_sign(ctx, nullptr, &length, hash.data(), hash.size());
    Bytes signature(length);
    EXPECT_EQ(EVP_PKEY_sign(ctx, signature.data(), &length, hash.data(), hash.size()), 1) << hash_name;
    EVP_PKEY_CTX_free(ctx);

    ctx = EVP_PKEY_CTX_new(key, nullptr);
    EVP_PKEY_verify_recover_init(ctx);
    EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING);
    Bytes em(signature.size());
    length = em.size();
    EXPECT_EQ(EVP_PKEY_verify_recover(ctx, em.data(), &length, signature.data(), signature.size()), 1);
    EVP_PKEY_CTX_free(ctx);
    em.resize(length);
    // verify_recover drops leading zero bytes: restore the block's 00 in front.
    em.insert(em.begin(), signature.size() - em.size(), 0);
    return em;
}

struct HashRow {
    HashKind kind;
    const char* name;
};

const HashRow hashes[] = {
    {HashKind::sha1, "SHA1"},         {HashKind::sha224, "SHA224"},     {HashKind::sha256, "SHA256"},
    {HashKind::sha384, "SHA384"},     {HashKind::sha512, "SHA512"},     {HashKind::sha3_224, "SHA3-224"},
    {HashKind::sha3_256, "SHA3-256"}, {HashKind::sha3_384, "SHA3-384"}, {HashKind::sha3_512, "SHA3-512"},
};

TEST(SignFormat, SignatureBlocksEqualOpenSsl)
{
    for (unsigned bits : {1024u, 2048u}) {
        Key key = rsa_key(bits);
        ASSERT_NE(key, nullptr);
        for (const HashRow& row : hashes) {
            Bytes hash;
            const Bytes expected = openssl_em(key.get(), row.name, {'a', 'b', 'c'}, hash);
            Bytes em(bits / 8, 0xEE);
            ASSERT_EQ(encode_em(row.kind, hash.data(), hash.size(), em.data(), em.size()), 0u) << row.name;
            EXPECT_EQ(em, expected) << row.name << " " << bits;

            // The same DigestInfo given raw is recognised as this hash.
            const auto prefix = digest_info_prefix(row.kind);
            Bytes info(prefix.begin(), prefix.end());
            info.insert(info.end(), hash.begin(), hash.end());
            EXPECT_EQ(match_digest_info(info.data(), info.size()), row.kind) << row.name;
        }
    }
}

TEST(SignFormat, Sha256BlockFor2048Bits)
{
    Bytes hash(32, 0x77);
    Bytes em(256);
    ASSERT_EQ(encode_em(HashKind::sha256, hash.data(), hash.size(), em.data(), em.size()), 0u);
    EXPECT_EQ(Bytes(em.begin(), em.begin() + 3), (Bytes{0x00, 0x01, 0xFF}));
    EXPECT_EQ(em[256 - 52], 0x00);
    EXPECT_EQ(Bytes(em.end() - 32, em.end()), hash);
}

TEST(SignFormat, BlocksThatCannotBeEncoded)
{
    const Bytes hash(64, 1);
    struct Case {
        HashKind kind;
        std::size_t hash_length;
        std::size_t k;
        std::uint32_t expected;
    } cases[] = {
        {HashKind::sha512, 64, 128, 0},                            // 1024 bits, 42 bytes of padding
        {HashKind::sha512, 64, 19 + 64 + 11, 0},                   // exactly eight FF bytes
        {HashKind::sha512, 64, 19 + 64 + 10, ENCODING_FAILED},
        {HashKind::sha1, 20, 15, ENCODING_FAILED},       // smaller than the prefix
        {HashKind::sha256, 31, 256, ENCODING_FAILED},    // hash of the wrong length
        {HashKind::gost34311, 32, 256, ENCODING_FAILED}, // no DigestInfo for it
        {HASH_NONE, 0, 256, ENCODING_FAILED},
    };
    for (const Case& c : cases) {
        Bytes em(c.k);
        EXPECT_EQ(encode_em(c.kind, hash.data(), c.hash_length, em.data(), em.size()), c.expected)
            << static_cast<int>(c.kind) << " " << c.k;
    }
}

TEST(SignFormat, RawInputsMatchPrefixesOnlyWhenLonger)
{
    const auto sha1 = digest_info_prefix(HashKind::sha1);
    Bytes input(sha1.begin(), sha1.end());
    EXPECT_EQ(match_digest_info(input.data(), input.size()), HASH_NONE);  // the prefix alone
    input.resize(35, 0xAB);
    EXPECT_EQ(match_digest_info(input.data(), input.size()), HashKind::sha1);
    input.push_back(0);  // 36 bytes still name SHA-1; the length check is the signer's
    EXPECT_EQ(match_digest_info(input.data(), input.size()), HashKind::sha1);
    input[3] ^= 1;
    EXPECT_EQ(match_digest_info(input.data(), input.size()), HASH_NONE);
    EXPECT_TRUE(digest_info_prefix(HashKind::kupyna256).empty());
}

ObjectHeader key_header(std::uint8_t kind, std::uint16_t size)
{
    ObjectHeader header{};
    header.keyKind = kind;
    header.length[0] = static_cast<std::uint8_t>(size);
    header.length[1] = static_cast<std::uint8_t>(size >> 8);
    return header;
}

TEST(SignFormat, SignatureLengthByKey)
{
    struct Case {
        std::uint8_t kind;
        std::uint16_t size;
        std::uint32_t bytes;
    } cases[] = {
        {1, 4, 64},   {1, 8, 96},    {1, 16, 132}, {3, 32, 60},  {4, 33, 64},  {5, 34, 78},   {6, 35, 92},
        {3, 36, 108}, {3, 46, 144},  {1, 47, 144}, {1, 5, 0},    {3, 0, 0},    {8, 2048, 256}, {7, 1024, 128},
        {8, 4096, 512},
        {8, 1023, 128},  // a modulus whose bits are not a whole number of bytes needs the byte above
        {8, 2049, 257},
    };
    for (const Case& c : cases)
        EXPECT_EQ(signature_length(key_header(c.kind, c.size)), c.bytes) << int(c.kind) << " " << c.size;
}

// EME-PKCS1-v1_5 block of k bytes with OpenSSL's random padding.
Bytes openssl_padded(const Bytes& message, std::size_t k)
{
    Bytes em(k);
    EXPECT_EQ(RSA_padding_add_PKCS1_type_2(em.data(), static_cast<int>(k), message.data(),
                                           static_cast<int>(message.size())),
              1);
    return em;
}

Bytes random_bytes(std::size_t n)
{
    Bytes bytes(n);
    RAND_bytes(bytes.data(), static_cast<int>(n));
    return bytes;
}

TEST(SignFormat, DecryptionCheckRecoversOpenSslPadding)
{
    for (std::size_t k : {16u, 128u, 256u, 512u}) {
        for (std::size_t m : {std::size_t{0}, std::size_t{1}, (k - 11) / 2, k - 11}) {
            const Bytes message = random_bytes(m);
            for (std::size_t capacity : {k - 11, m, std::size_t{600}}) {
                Bytes em = openssl_padded(message, k);
                Bytes out(capacity + 1, 0xCC);
                std::size_t length = capacity;
                ASSERT_EQ(pkcs1_v15_unpad(em.data(), k, out.data(), &length), 0u) << k << " " << m;
                ASSERT_EQ(length, m);
                EXPECT_EQ(Bytes(out.begin(), out.begin() + m), message);
                EXPECT_EQ(out[std::min(capacity, k - 11)], 0xCC);  // nothing past the capacity
            }
        }
    }
}

TEST(SignFormat, DecryptionCheckRefusals)
{
    const std::size_t k = 64;
    const Bytes message(20, 0x33);  // the padding is non-zero: the only zero is at 43
    struct Case {
        const char* name;
        void (*spoil)(Bytes&);
        std::size_t capacity;
        std::uint32_t expected;
    } cases[] = {
        {"intact", [](Bytes&) {}, 64, 0},
        {"first byte", [](Bytes& em) { em[0] = 1; }, 64, DECRYPTED_BLOCK_INVALID},
        {"block type 1", [](Bytes& em) { em[1] = 1; }, 64, DECRYPTED_BLOCK_INVALID},
        {"no zero byte", [](Bytes& em) { em[43] = 0x5A; }, 64, DECRYPTED_BLOCK_INVALID},
        {"seven padding bytes", [](Bytes& em) { em[9] = 0; }, 64, DECRYPTED_BLOCK_INVALID},
        {"eight padding bytes", [](Bytes& em) { em[10] = 0; }, 64, 0},
        {"message above capacity", [](Bytes&) {}, 19, DECRYPTED_MESSAGE_TOO_LARGE},
    };
    for (const Case& c : cases) {
        Bytes em = openssl_padded(message, k);
        c.spoil(em);
        Bytes out(64, 0xCC);
        std::size_t length = c.capacity;
        EXPECT_EQ(pkcs1_v15_unpad(em.data(), k, out.data(), &length), c.expected) << c.name;
        if (c.expected != 0) {
            EXPECT_EQ(length, std::min(c.capacity, k - 11)) << c.name;
            EXPECT_EQ(Bytes(out.begin(), out.begin() + length), Bytes(length, 0)) << c.name;
        }
    }
    Bytes tiny(10);
    std::size_t length = 10;
    EXPECT_EQ(pkcs1_v15_unpad(tiny.data(), tiny.size(), nullptr, &length), DECRYPTED_BLOCK_INVALID);
}

}  // namespace
}  // namespace vlrp11
