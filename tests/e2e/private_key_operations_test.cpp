// Signing, RSA decryption and key agreement with key pairs made on the simulated token, each
// result checked outside the library: RSA and ECDSA by OpenSSL, DSTU 4145 by the simulator.
#define OPENSSL_SUPPRESS_DEPRECATED  // EC_KEY and the raw RSA padding calls

#include "support/logged_in_token.h"
#include "support/openssl_checks.h"

#include "core/crypto_dstu4145.h"
#include "device/command_codes.h"
#include "objects/digest_context.h"
#include "objects/key_derive.h"
#include "objects/private_key.h"
#include "objects/sign_format.h"
#include "objects/sign_operation.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

namespace vlrp11::testing {
namespace {

Bytes hash_of(CK_MECHANISM_TYPE type, const Bytes& message)
{
    DigestContext context{};
    CK_MECHANISM mechanism{type, nullptr, 0};
    EXPECT_EQ(digest_init(context, &mechanism), CKR_OK);
    digest_update(context, message.data(), message.size());
    Bytes hash(digest_length(context.hashKind));
    digest_final(context, hash.data());
    return hash;
}





// One token for the whole suite: RSA key generation takes the simulator a while.
class PrivateKeyOperations : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        token = new LoggedInToken;
        rsa2048 = token->generate_key_pair(10, 8, 2048, rsa2048_public);
        rsa1024 = token->generate_key_pair(11, 8, 1024, rsa1024_public);
        p256 = token->generate_key_pair(12, 1, 4, p256_public);
        p521 = token->generate_key_pair(13, 1, 16, p521_public);
        dstu257 = token->generate_key_pair(14, 3, 33, dstu257_public, KEY_FLAG_DERIVE);
    }
    static void TearDownTestSuite() { delete token; }

    // sign_final after a length query, as the front end calls it.
    static Bytes sign(const ObjectRecord& key, CK_MECHANISM_TYPE mechanism, HashKind kind, const Bytes& input,
                      CK_RV expected = CKR_OK)
    {
        CK_ULONG length = 0;
        std::uint32_t device_error = 0;
        EXPECT_EQ(sign_final(key, mechanism, kind, input.data(), input.size(), nullptr, &length, device_error), CKR_OK);
        Bytes signature(length);
        EXPECT_EQ(sign_final(key, mechanism, kind, input.data(), input.size(), signature.data(), &length, device_error),
                  expected);
        signature.resize(length);
        return signature;
    }

    static inline LoggedInToken* token;
    static inline ObjectRecord rsa2048, rsa1024, p256, p521, dstu257;
    static inline Bytes rsa2048_public, rsa1024_public, p256_public, p521_public, dstu257_public;
};

const Bytes message{'s', 'i', 'g', 'n', ' ', 'm', 'e'};

TEST_F(PrivateKeyOperations, RsaWithHashVerifiesInOpenSsl)
{
    struct Case {
        ObjectRecord* key;
        Bytes* public_key;
        CK_MECHANISM_TYPE mechanism;
        const char* hash_name;
    } cases[] = {
        {&rsa2048, &rsa2048_public, CKM_SHA256_RSA_PKCS, "SHA256"},
        {&rsa2048, &rsa2048_public, CKM_SHA3_384_RSA_PKCS, "SHA3-384"},
        {&rsa1024, &rsa1024_public, CKM_SHA512_RSA_PKCS, "SHA512"},  // 42 bytes of padding still fit
        {&rsa1024, &rsa1024_public, CKM_SHA1_RSA_PKCS, "SHA1"},
    };
    for (const Case& c : cases) {
        const Bytes hash = hash_of(c.mechanism, message);
        const Bytes signature = sign(*c.key, c.mechanism, hash_kind_of(c.mechanism), hash);
        Pkey key = rsa_public(*c.public_key);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(signature.size(), static_cast<std::size_t>(EVP_PKEY_get_size(key.get())));
        EXPECT_TRUE(rsa_verifies(key.get(), c.hash_name, hash, signature)) << c.hash_name;
    }
}

TEST_F(PrivateKeyOperations, RawDigestInfoSendsTheWholeBlock)
{
    const Bytes hash = hash_of(CKM_SHA256, message);
    const auto prefix = digest_info_prefix(HashKind::sha256);
    Bytes info(prefix.begin(), prefix.end());
    info.insert(info.end(), hash.begin(), hash.end());
    ASSERT_EQ(info.size(), 51u);

    CommandRecorder recorder(token->connection());
    const Bytes signature = sign(rsa2048, CKM_RSA_PKCS, HASH_NONE, info);
    EXPECT_TRUE(rsa_verifies(rsa_public(rsa2048_public).get(), "SHA256", hash, signature));
    const SentCommand& sent = recorder.sent.back();
    ASSERT_EQ(sent.code, CMD_PRIVATE_KEY_OP);
    ASSERT_EQ(sent.request.size(), 258u);
    EXPECT_EQ(sent.request[1], 0);  // 256 modulo 256
    EXPECT_EQ(Bytes(sent.request.begin() + 2, sent.request.begin() + 5), (Bytes{0x00, 0x01, 0xFF}));
    EXPECT_EQ(Bytes(sent.request.end() - 32, sent.request.end()), hash);
}

TEST_F(PrivateKeyOperations, EcdsaAndDstuSignaturesVerifyOutside)
{
    const Bytes sha256 = hash_of(CKM_SHA256, message);
    const Bytes p256_signature = sign(p256, CKM_ECDSA_SHA256, HashKind::sha256, sha256);
    EXPECT_EQ(p256_signature.size(), 64u);
    EXPECT_TRUE(ecdsa_verifies(NID_X9_62_prime256v1, p256_public, sha256, p256_signature));

    const Bytes sha512 = hash_of(CKM_SHA512, message);
    const Bytes p521_signature = sign(p521, CKM_ECDSA, HASH_NONE, sha512);
    EXPECT_EQ(p521_signature.size(), 132u);
    EXPECT_TRUE(ecdsa_verifies(NID_secp521r1, p521_public, sha512, p521_signature));

    const Bytes gost = hash_of(CKM_DSTU4145_GOST34311, message);
    const Bytes dstu_signature = sign(dstu257, CKM_DSTU4145_GOST34311, HashKind::gost34311, gost);
    EXPECT_EQ(dstu_signature.size(), 64u);
    const sim::BinaryCurve* curve = sim::dstu_curve(33);
    ASSERT_NE(curve, nullptr);
    sim::EcPoint q = sim::dstu_decompress(*curve, dstu257_public);
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(sim::dstu_verify(*curve, q.get(), gost, dstu_signature));
}

TEST_F(PrivateKeyOperations, DeviceRefusalsLandInDeviceError)
{
    const Bytes hash = hash_of(CKM_SHA256, message);
    token->device().faults().answer_status_once(0x6F, CMD_PRIVATE_KEY_OP);
    CK_ULONG length = 64;
    std::uint32_t device_error = 0;
    Bytes out(64);
    EXPECT_EQ(sign_final(p256, CKM_ECDSA_SHA256, HashKind::sha256, hash.data(), hash.size(), out.data(), &length,
                         device_error),
              CKR_DEVICE_ERROR);
    EXPECT_EQ(device_error, 0x6Fu);
    EXPECT_EQ(length, 64u);

    // A header that claims fewer bits than the key has: the caller's buffer is below the block.
    ObjectRecord understated = rsa2048;
    understated.header.length[0] = 0x00;
    understated.header.length[1] = 0x04;  // 1024
    out.resize(128);
    length = 128;
    EXPECT_EQ(sign_final(understated, CKM_SHA256_RSA_PKCS, HashKind::sha256, hash.data(), hash.size(), out.data(),
                         &length, device_error),
              CKR_DEVICE_ERROR);
    EXPECT_EQ(device_error, OUTPUT_TOO_SHORT);

    // An EC key is no RSA key.
    RsaKeyHandle handle{};
    EXPECT_EQ(rsa_key_handle(token->connection(), p256.deviceIndex, handle), KEY_KIND_WRONG);
}


TEST_F(PrivateKeyOperations, RsaDecryptionOfOpenSslCiphertexts)
{
    RsaKeyHandle handle{};
    ASSERT_EQ(rsa_key_handle(token->connection(), rsa2048.deviceIndex, handle), 0u);
    EXPECT_EQ(handle.modulusBits, 2048u);
    Pkey key = rsa_public(rsa2048_public);

    const Bytes secret{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    Bytes out(256);
    std::size_t length = out.size();
    ASSERT_EQ(pkcs1_v15_decode(handle, rsa_public_op(key.get(), secret, RSA_PKCS1_PADDING).data(), out.data(),
                               &length),
              0u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(length)), secret);

    // Only seven padding bytes before the separator.
    Bytes block(256, 0x42);
    block[0] = 0x00;
    block[1] = 0x02;
    block[9] = 0x00;
    length = out.size();
    EXPECT_EQ(pkcs1_v15_decode(handle, rsa_public_op(key.get(), block, RSA_NO_PADDING).data(), out.data(), &length),
              DECRYPTED_BLOCK_INVALID);
    block[9] = 0x42;
    block[10] = 0x00;
    length = out.size();
    EXPECT_EQ(pkcs1_v15_decode(handle, rsa_public_op(key.get(), block, RSA_NO_PADDING).data(), out.data(), &length),
              0u);
    EXPECT_EQ(length, 245u);

    // The front end's entry: the key found by index, the ciphertext placed in the key's block.
    const Bytes cipher = rsa_public_op(key.get(), secret, RSA_PKCS1_PADDING);
    length = out.size();
    ASSERT_EQ(rsa_pkcs1_decrypt(token->connection(), rsa2048.deviceIndex, cipher.data(), cipher.size(), out.data(),
                                &length),
              0u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + static_cast<long>(length)), secret);
    Bytes too_long(257, 1);
    EXPECT_EQ(rsa_pkcs1_decrypt(token->connection(), rsa2048.deviceIndex, too_long.data(), too_long.size(),
                                out.data(), &length),
              COMMAND_LENGTH_WRONG);
    EXPECT_EQ(rsa_pkcs1_decrypt(token->connection(), p256.deviceIndex, cipher.data(), cipher.size(), out.data(),
                                &length),
              KEY_KIND_WRONG);
}

// Both sides of a DSTU 4145 agreement, the device's key and a peer made by the simulator's own
// DSTU 4145, reach the same secret and so the same derived keys.
TEST_F(PrivateKeyOperations, AgreementGivesBothSidesTheSameKey)
{
    const sim::BinaryCurve* curve = sim::dstu_curve(33);
    ASSERT_NE(curve, nullptr);
    sim::Bn peer_private = sim::dstu_generate_private(*curve);
    sim::EcPoint peer_point = sim::dstu_public_key(*curve, peer_private.get());
    const Bytes peer_public = sim::dstu_compress(*curve, peer_point.get());
    Bytes public_data{0x04, static_cast<std::uint8_t>(peer_public.size())};
    public_data.insert(public_data.end(), peer_public.begin(), peer_public.end());
    ASSERT_EQ(public_data.size(), 35u);

    CommandRecorder recorder(token->connection());
    Bytes z(agreement_secret_max);
    std::uint32_t z_length = 0;
    ASSERT_EQ(device_key_agreement(token->connection(), dstu257.deviceIndex, public_data.data(), public_data.size(),
                                   z.data(), &z_length),
              0u);
    z.resize(z_length);
    ASSERT_EQ(recorder.sent.size(), 1u);
    EXPECT_EQ(recorder.sent[0].code, CMD_DERIVE);
    EXPECT_EQ(recorder.sent[0].request.size(), 35u);
    EXPECT_EQ(recorder.sent[0].request[1], 0x21);

    const Bytes peer_z = sim::dstu_shared_secret(*curve, peer_private.get(), dstu257_public);
    EXPECT_EQ(z, peer_z);
    const Bytes shared(100, 0xA5);
    for (CK_MECHANISM_TYPE mechanism : {CKM_DSTU4145_DERIVE, CKM_DSTU4145_DERIVE_KALYNA_256}) {
        Bytes ours(32), theirs(32);
        ASSERT_TRUE(derive_agreement_key(mechanism, z.data(), z.size(), shared.data(), shared.size(), ours.data()));
        ASSERT_TRUE(derive_agreement_key(mechanism, peer_z.data(), peer_z.size(), shared.data(), shared.size(),
                                         theirs.data()));
        EXPECT_EQ(ours, theirs);
    }

    public_data[1] = 0x20;  // the length byte disagrees with the data
    EXPECT_EQ(device_key_agreement(token->connection(), dstu257.deviceIndex, public_data.data(), public_data.size(),
                                   z.data(), &z_length),
              COMMAND_LENGTH_WRONG);
}

}  // namespace
}  // namespace vlrp11::testing
