// Key generation and private-key operations, checked with OpenSSL as the independent verifier.
#include "core/crypto_dstu4145.h"
#include "core/object_handlers.h"
#include "support/hex.h"
#include "support_objects.h"
#include "support_openssl.h"

#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace vlrp11::sim {
namespace {

using test::concat;
using vlrp11::test::from_hex;
using test::key_header;
using test::ObjectBench;
using test::sha256;

constexpr std::uint8_t kGenerate = 66, kWriteKey = 68, kDelete = 72, kKeyInfo = 80, kPublicKey = 82,
                       kPrivateOp = 84, kDerive = 96, kEncrypt16 = 112, kDecrypt16 = 113, kEncrypt8 = 120,
                       kDecrypt8 = 121, kAttest = 241;

struct NistCase {
    std::uint16_t curve_id;
    const char* group;
    std::size_t coordinate_bytes;
};

class EcKeys : public ::testing::TestWithParam<NistCase> {};

TEST_P(EcKeys, GeneratedKeySignsWhatOpenSslVerifies) {
    ObjectBench bench;
    const NistCase& c = GetParam();
    std::vector<std::uint8_t> point, header, signature, again;
    ASSERT_EQ(bench.run(kGenerate, concat({{9}, key_header(1, 0x04, c.curve_id)}), point), status::ok);
    ASSERT_EQ(point.size(), 2 * c.coordinate_bytes);
    ASSERT_EQ(bench.run(kKeyInfo, {9}, header), status::ok);
    EXPECT_EQ(header, key_header(1, 0x84, c.curve_id)) << "the device marks the key as generated on it";
    ASSERT_EQ(bench.run(kPublicKey, {9}, again), status::ok);
    EXPECT_EQ(again, point);

    Pkey key = test::ec_public_key(c.group, point);
    ASSERT_TRUE(key);
    for (std::size_t length : {20u, 32u, 48u, 64u}) {
        std::vector<std::uint8_t> hash(length, 0x5A);
        ASSERT_EQ(bench.run(kPrivateOp, concat({{9, static_cast<std::uint8_t>(length)}, hash}), signature), status::ok);
        ASSERT_EQ(signature.size(), 2 * c.coordinate_bytes);
        EXPECT_TRUE(test::ecdsa_verifies(key.get(), hash, signature)) << length;
        hash[0] ^= 1;
        EXPECT_FALSE(test::ecdsa_verifies(key.get(), hash, signature));
    }
}

INSTANTIATE_TEST_SUITE_P(Curves, EcKeys,
                         ::testing::Values(NistCase{4, "P-256", 32}, NistCase{8, "P-384", 48},
                                           NistCase{16, "P-521", 66}));

std::vector<std::uint8_t> generate_rsa(ObjectBench& bench, std::uint8_t index, std::uint16_t bits) {
    std::vector<std::uint8_t> reply;
    EXPECT_EQ(bench.run(kGenerate, concat({{index}, key_header(8, 0, bits)}), reply), status::pending);
    std::uint8_t result = status::busy;
    for (int poll = 0; poll < 600 && result == status::busy; ++poll) {
        result = bench.run(kPublicKey, {index}, reply);
        if (result == status::busy) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(result, status::ok);
    return reply;
}

Pkey rsa_public(const std::vector<std::uint8_t>& der) {
    const unsigned char* p = der.data();
    Pkey key(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &p, static_cast<long>(der.size())));
    EXPECT_EQ(p, der.data() + der.size()) << "RSAPublicKey ends exactly at the end of the reply";
    return key;
}

TEST(EcKeys, Model1000WithFirmware1PadsTheP521PointTo136Bytes) {
    ObjectBench bench(64, 1000);
    bench.profile.version = 1;
    std::vector<std::uint8_t> generated, read, p256;
    ASSERT_EQ(bench.run(kGenerate, concat({{1}, key_header(1, 0, 16)}), generated), status::ok);
    ASSERT_EQ(bench.run(kPublicKey, {1}, read), status::ok);
    EXPECT_EQ(generated.size(), 136u);
    EXPECT_EQ(read, generated);
    ASSERT_EQ(bench.run(kGenerate, concat({{2}, key_header(1, 0, 4)}), p256), status::ok);
    EXPECT_EQ(p256.size(), 64u);
    bench.profile.version = 2;
    ASSERT_EQ(bench.run(kPublicKey, {1}, read), status::ok);
    EXPECT_EQ(read.size(), 132u);
}

TEST(RsaKeys, GenerationRunsInTheBackgroundAndSignsPkcs1WhatOpenSslVerifies) {
    ObjectBench bench;
    std::vector<std::uint8_t> reply;
    ASSERT_EQ(bench.run(kGenerate, concat({{3}, key_header(8, 0, 1024)}), reply), status::pending);
    EXPECT_TRUE(reply.empty());
    EXPECT_EQ(bench.run(kKeyInfo, {3}, reply), status::busy);
    std::vector<std::uint8_t> listing;
    bench.run(18, {}, listing);
    EXPECT_EQ(listing[12], kStateKey) << "the entry is taken while the key is made";

    std::uint8_t result = status::busy;
    while (result == status::busy) {
        result = bench.run(kPublicKey, {3}, reply);
        if (result == status::busy) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(result, status::ok);
    Pkey key = rsa_public(reply);
    ASSERT_TRUE(key);
    EXPECT_EQ(EVP_PKEY_get_bits(key.get()), 1024);
    ASSERT_EQ(bench.run(kKeyInfo, {3}, reply), status::ok);
    EXPECT_EQ(reply, key_header(8, 0x80, 1024));

    // EMSA-PKCS1-v1_5 over SHA-256 as the library builds it, signed by the raw operation.
    auto digest = sha256(std::vector<std::uint8_t>{'a', 'b', 'c'});
    auto info = concat({from_hex("3031300d060960864801650304020105000420"), digest});
    std::vector<std::uint8_t> em(128, 0xFF);
    em[0] = 0x00;
    em[1] = 0x01;
    em[128 - info.size() - 1] = 0x00;
    std::copy(info.begin(), info.end(), em.end() - static_cast<long>(info.size()));
    std::vector<std::uint8_t> signature;
    ASSERT_EQ(bench.run(kPrivateOp, concat({{3, 0x80}, em}), signature), status::ok);
    ASSERT_EQ(signature.size(), 128u);
    PkeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    ASSERT_EQ(EVP_PKEY_verify_init(ctx.get()), 1);
    EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING);
    EVP_PKEY_CTX_set_signature_md(ctx.get(), EVP_sha256());
    EXPECT_EQ(EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size()), 1);
}

TEST(RsaKeys, RawOperationDecryptsWhatOpenSslEncrypted) {
    ObjectBench bench;
    Pkey key = rsa_public(generate_rsa(bench, 0, 2048));
    ASSERT_TRUE(key);
    std::vector<std::uint8_t> message = {'s', 'e', 'c', 'r', 'e', 't'}, cipher(256), plain;
    std::size_t length = cipher.size();
    PkeyCtx ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
    ASSERT_EQ(EVP_PKEY_encrypt_init(ctx.get()), 1);
    EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING);
    ASSERT_EQ(EVP_PKEY_encrypt(ctx.get(), cipher.data(), &length, message.data(), message.size()), 1);
    // A 256-byte input travels with length byte 0.
    ASSERT_EQ(bench.run(kPrivateOp, concat({{0, 0}, cipher}), plain), status::ok);
    ASSERT_EQ(plain.size(), 256u);
    EXPECT_EQ(plain[0], 0x00);
    EXPECT_EQ(plain[1], 0x02);
    EXPECT_EQ(std::vector<std::uint8_t>(plain.end() - 6, plain.end()), message);

    std::vector<std::uint8_t> too_big(256, 0xFF);
    EXPECT_EQ(bench.run(kPrivateOp, concat({{0, 0}, too_big})), status::bad_argument) << "not below the modulus";
    EXPECT_EQ(bench.run(kPrivateOp, concat({{0, 0x7F}, std::vector<std::uint8_t>(127, 1)})), status::bad_argument);
    EXPECT_EQ(bench.run(kPrivateOp, concat({{0, 1}, cipher})), status::bad_length) << "length byte disagrees";
}

TEST(RsaKeys, GenerationRefusals) {
    ObjectBench small_model(64, 1000);
    EXPECT_EQ(small_model.run(kGenerate, concat({{0}, key_header(8, 0, 1024)})), status::wrong_key_type);
    ObjectBench bench;
    for (std::uint16_t bits : {512, 1000, 2047, 8192})
        EXPECT_EQ(bench.run(kGenerate, concat({{0}, key_header(8, 0, bits)})), status::bad_argument) << bits;
}

TEST(RsaKeys, DeletingAKeyBeingMadeFreesItsEntry) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(kGenerate, concat({{7}, key_header(8, 0, 1024)})), status::pending);
    EXPECT_EQ(bench.run(kDelete, {7}), status::ok);
    EXPECT_EQ(bench.run(kPublicKey, {7}), status::not_found);
    EXPECT_TRUE(bench.store().pending.empty());
    // Once it has finished, the next deletion reaps it: abandoned generations do not pile up.
    ASSERT_EQ(bench.store().abandoned.size(), 1u);
    bench.store().abandoned.front().private_key.wait();
    ASSERT_EQ(bench.run(kGenerate, concat({{7}, key_header(8, 0, 1024)})), status::pending);
    EXPECT_EQ(bench.run(kDelete, {7}), status::ok);
    EXPECT_LE(bench.store().abandoned.size(), 1u);
}

class DstuKeys : public ::testing::TestWithParam<std::uint16_t> {};

TEST_P(DstuKeys, GeneratedKeySignsAndAgrees) {
    ObjectBench bench;
    const BinaryCurve& curve = *dstu_curve(GetParam());
    std::vector<std::uint8_t> point1, point2, signature, z1, z2;
    ASSERT_EQ(bench.run(kGenerate, concat({{1}, key_header(3, 0x04, GetParam())}), point1), status::ok);
    ASSERT_EQ(bench.run(kGenerate, concat({{2}, key_header(3, 0x04, GetParam())}), point2), status::ok);
    ASSERT_EQ(point1.size(), curve.field_bytes());

    std::vector<std::uint8_t> hash(32, 0xA5);
    ASSERT_EQ(bench.run(kPrivateOp, concat({{1, 32}, hash}), signature), status::ok);
    ASSERT_EQ(signature.size(), 2 * curve.order_bytes());
    EcPoint q = dstu_decompress(curve, point1);
    ASSERT_TRUE(q);
    EXPECT_TRUE(dstu_verify(curve, q.get(), hash, signature));

    auto n1 = static_cast<std::uint8_t>(point1.size());
    ASSERT_EQ(bench.run(kDerive, concat({{1, n1}, point2}), z1), status::ok);
    ASSERT_EQ(bench.run(kDerive, concat({{2, n1}, point1}), z2), status::ok);
    EXPECT_EQ(z1, z2);
    EXPECT_EQ(z1.size(), curve.field_bytes());
    EXPECT_EQ(bench.run(kDerive, concat({{1, static_cast<std::uint8_t>(n1 - 1)}, {point2.begin(), point2.end() - 1}})),
              status::bad_argument);
    EXPECT_EQ(bench.run(kDerive, concat({{1, n1}, point2, {0}})), status::bad_length);
}

INSTANTIATE_TEST_SUITE_P(Curves, DstuKeys, ::testing::Values(32, 33, 34, 35, 36));

TEST(DstuKeys, AgreementNeedsTheDeriveFlag) {
    ObjectBench bench;
    std::vector<std::uint8_t> point;
    ASSERT_EQ(bench.run(kGenerate, concat({{1}, key_header(3, 0, 33)}), point), status::ok);
    EXPECT_EQ(bench.run(kDerive, concat({{1, 33}, point})), status::wrong_key_type);
}

TEST(SecretKeys, AesBulkCommandsMatchOpenSsl) {
    ObjectBench bench;
    for (std::uint8_t length : {16, 24, 32}) {
        std::vector<std::uint8_t> key(length, 0x11), data(1024), cipher, plain;
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
        ASSERT_EQ(bench.run(kWriteKey, concat({{length}, key_header(11, 0x90, 0xFFFF, length), key})), status::ok);
        ASSERT_EQ(bench.run(kEncrypt16, concat({{length, 64}, data}), cipher), status::ok);
        std::vector<std::uint8_t> expected(1024);
        int out_length = 0;
        CipherCtx ctx(EVP_CIPHER_CTX_new());
        const EVP_CIPHER* cipher_kind =
            length == 16 ? EVP_aes_128_ecb() : length == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
        EVP_EncryptInit_ex(ctx.get(), cipher_kind, nullptr, key.data(), nullptr);
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
        EVP_EncryptUpdate(ctx.get(), expected.data(), &out_length, data.data(), 1024);
        EXPECT_EQ(cipher, expected) << int{length};
        ASSERT_EQ(bench.run(kDecrypt16, concat({{length, 64}, cipher}), plain), status::ok);
        EXPECT_EQ(plain, data);
    }
}

TEST(SecretKeys, GostBulkCommandsMatchThePublishedVector) {
    ObjectBench bench;
    auto key = from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    std::vector<std::uint8_t> cipher, plain;
    ASSERT_EQ(bench.run(kWriteKey, concat({{4}, key_header(15, 0, 0xFFFF, 32), key})), status::ok);
    ASSERT_EQ(bench.run(kEncrypt8, concat({{4, 2}, from_hex("0001020304050607f1f2f3f4f5f6f7f8")}), cipher), status::ok);
    EXPECT_EQ(cipher, from_hex("e393a17df2b6de6f2086d8230c277432"));
    ASSERT_EQ(bench.run(kDecrypt8, concat({{4, 2}, cipher}), plain), status::ok);
    EXPECT_EQ(plain, from_hex("0001020304050607f1f2f3f4f5f6f7f8"));
    std::vector<std::uint8_t> header;
    ASSERT_EQ(bench.run(kKeyInfo, {4}, header), status::ok);
    EXPECT_EQ(header, key_header(15, 0, 0xFFFF, 32)) << "an imported key is never marked local";
}

struct RefusalCase {
    const char* name;
    std::uint8_t code;
    std::vector<std::uint8_t> request;
    std::uint8_t expected;
};

class KeyRefusal : public ::testing::TestWithParam<RefusalCase> {};

// Entry 1: AES-128 key; 2: GOST key; 3: P-256 key pair; 4: public data file.
TEST_P(KeyRefusal, AnswersItsStatus) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(kWriteKey, concat({{1}, key_header(11, 0, 0xFFFF, 16), std::vector<std::uint8_t>(16)})),
              status::ok);
    ASSERT_EQ(bench.run(kWriteKey, concat({{2}, key_header(15, 0, 0xFFFF, 32), std::vector<std::uint8_t>(32)})),
              status::ok);
    ASSERT_EQ(bench.run(kGenerate, concat({{3}, key_header(1, 0, 4)})), status::ok);
    ASSERT_EQ(bench.run(74, {4, 0x8C, 4, 1, 0, 9}), status::ok);
    EXPECT_EQ(bench.run(GetParam().code, GetParam().request), GetParam().expected);
}

std::vector<std::uint8_t> bytes(std::initializer_list<std::vector<std::uint8_t>> parts) { return concat(parts); }

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyRefusal,
    ::testing::Values(
        RefusalCase{"AesKeyOf20Bytes", kWriteKey, bytes({{9}, key_header(11, 0, 0xFFFF, 20), std::vector<std::uint8_t>(20)}), status::bad_argument},
        RefusalCase{"Kalyna512Of32Bytes", kWriteKey, bytes({{9}, key_header(14, 0, 0xFFFF, 32), std::vector<std::uint8_t>(32)}), status::bad_argument},
        RefusalCase{"LengthByteDisagrees", kWriteKey, bytes({{9}, key_header(11, 0, 0xFFFF, 32), std::vector<std::uint8_t>(16)}), status::bad_argument},
        RefusalCase{"PrivateKeyImport", kWriteKey, bytes({{9}, key_header(1, 0, 4), std::vector<std::uint8_t>(32)}), status::wrong_key_type},
        RefusalCase{"WriteKeyOverKey", kWriteKey, bytes({{1}, key_header(11, 0, 0xFFFF, 16), std::vector<std::uint8_t>(16)}), status::storage_full},
        RefusalCase{"WriteKeyBeyondDevice", kWriteKey, bytes({{64}, key_header(11, 0, 0xFFFF, 16), std::vector<std::uint8_t>(16)}), status::bad_argument},
        RefusalCase{"GenerateOverFile", kGenerate, bytes({{4}, key_header(1, 0, 4)}), status::storage_full},
        RefusalCase{"GenerateUnknownCurve", kGenerate, bytes({{9}, key_header(1, 0, 5)}), status::bad_argument},
        RefusalCase{"GenerateDstuOnNistCurve", kGenerate, bytes({{9}, key_header(3, 0, 4)}), status::bad_argument},
        RefusalCase{"GenerateSecretKind", kGenerate, bytes({{9}, key_header(11, 0, 16)}), status::wrong_key_type},
        RefusalCase{"GenerateShortRequest", kGenerate, bytes({{9}, std::vector<std::uint8_t>(103)}), status::bad_length},
        RefusalCase{"KeyInfoOfFile", kKeyInfo, {4}, status::bad_argument},
        RefusalCase{"KeyInfoOfFreeEntry", kKeyInfo, {9}, status::not_found},
        RefusalCase{"PublicKeyOfSecretKey", kPublicKey, {1}, status::wrong_key_type},
        RefusalCase{"SignWithSecretKey", kPrivateOp, {1, 1, 0}, status::wrong_key_type},
        RefusalCase{"SignNothing", kPrivateOp, {3, 0}, status::bad_length},
        RefusalCase{"SignOver512Bytes", kPrivateOp, bytes({{3, 1}, std::vector<std::uint8_t>(513)}), status::bad_length},
        RefusalCase{"DeriveWithEcKey", kDerive, bytes({{3, 2}, {1, 2}}), status::wrong_key_type},
        RefusalCase{"AesWithGostKey", kEncrypt16, bytes({{2, 1}, std::vector<std::uint8_t>(16)}), status::wrong_key_type},
        RefusalCase{"GostWithAesKey", kEncrypt8, bytes({{1, 1}, std::vector<std::uint8_t>(8)}), status::wrong_key_type},
        RefusalCase{"BlockCountDisagrees", kEncrypt16, bytes({{1, 2}, std::vector<std::uint8_t>(16)}), status::bad_length},
        RefusalCase{"ZeroBlocks", kEncrypt8, {2, 0}, status::bad_length},
        RefusalCase{"Over1024Bytes", kEncrypt8, bytes({{2, 129}, std::vector<std::uint8_t>(1032)}), status::bad_length}),
    [](const auto& info) { return info.param.name; });

TEST(KeyAccess, OnlyAReadWriteUserMakesKeys) {
    for (int login : {login_none, login_so, login_user_ro}) {
        ObjectBench bench;
        bench.login_state = login;
        EXPECT_EQ(bench.run(kGenerate, concat({{0}, key_header(1, 0, 4)})), status::access_denied) << login;
        EXPECT_EQ(bench.run(kWriteKey, concat({{0}, key_header(11, 0, 0xFFFF, 16), std::vector<std::uint8_t>(16)})),
                  status::access_denied)
            << login;
    }
}

TEST(KeyAttestation, DeviceKeySignsHeaderAndPublicKey) {
    ObjectBench bench;
    bench.device_key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    std::vector<std::uint8_t> point, header, attestation;
    ASSERT_EQ(bench.run(kGenerate, concat({{6}, key_header(1, 0, 4)}), point), status::ok);
    ASSERT_EQ(bench.run(kKeyInfo, {6}, header), status::ok);
    ASSERT_EQ(bench.run(kAttest, {6}, attestation), status::ok);
    ASSERT_EQ(attestation.size(), 64u);
    EXPECT_TRUE(test::ecdsa_verifies(bench.device_key.get(), sha256(concat({header, point})), attestation));

    ObjectBench without_key;
    ASSERT_EQ(without_key.run(kGenerate, concat({{6}, key_header(1, 0, 4)})), status::ok);
    EXPECT_EQ(without_key.run(kAttest, {6}), status::internal_error);
}

}  // namespace
}  // namespace vlrp11::sim
