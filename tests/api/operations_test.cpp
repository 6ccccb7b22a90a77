// The operation calls' checks and state rules through the function table, on a token whose
// device answers from a script: digests and session-key ciphers run in software, random bytes,
// wrapping and derivation ask the fake device.
#include "support/session_fixture.h"

#include "device/command_codes.h"
#include "objects/key_kinds.h"
#include "objects/key_wrap.h"
#include "objects/object_record.h"
#include "crypto/gost28147_sbox.h"
#include "api/library_state.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace vlrp11::testing {
namespace {

using Operations = SessionTest;

bool all_zero(const void* p, std::size_t n)
{
    const auto* b = static_cast<const std::uint8_t*>(p);
    return std::all_of(b, b + n, [](std::uint8_t v) { return v == 0; });
}

CK_MECHANISM mech(CK_MECHANISM_TYPE type, void* parameter = nullptr, CK_ULONG length = 0)
{
    return CK_MECHANISM{type, parameter, length};
}

TEST_F(Operations, DigestStateRules)
{
    CK_MECHANISM sha256 = mech(CKM_SHA256), unknown = mech(CKM_AES_ECB);
    CK_BYTE data[3] = {'a', 'b', 'c'}, out[64];
    CK_ULONG length = 0;
    EXPECT_EQ(p11->C_Digest(session, data, 3, out, &length), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_DigestUpdate(session, data, 3), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_DigestFinal(session, out, &length), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_DigestInit(session, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_DigestInit(session, &unknown), CKR_MECHANISM_INVALID);
    EXPECT_EQ(record().operation, OPERATION_NONE);
    EXPECT_EQ(p11->C_DigestInit(0x201, &sha256), CKR_SESSION_HANDLE_INVALID);

    // Length query and short buffer keep the operation; the caller's length stays on the latter.
    ASSERT_EQ(p11->C_DigestInit(session, &sha256), CKR_OK);
    EXPECT_EQ(p11->C_DigestInit(session, &sha256), CKR_OPERATION_ACTIVE);
    EXPECT_EQ(p11->C_Digest(session, data, 3, nullptr, &length), CKR_OK);
    EXPECT_EQ(length, 32u);
    length = 31;
    EXPECT_EQ(p11->C_Digest(session, data, 3, out, &length), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 31u);
    EXPECT_EQ(p11->C_Digest(session, data, 3, out, nullptr), CKR_ARGUMENTS_BAD);
    length = sizeof out;
    EXPECT_EQ(p11->C_Digest(session, data, 3, out, &length), CKR_OK);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(out[0], 0xBA);  // SHA-256("abc") begins ba 78 16 bf
    EXPECT_EQ(record().operation, OPERATION_NONE);
    EXPECT_TRUE(all_zero(&record().digestState, sizeof(DigestContext)));

    // A single-part digest after an update fails and ends the operation.
    ASSERT_EQ(p11->C_DigestInit(session, &sha256), CKR_OK);
    ASSERT_EQ(p11->C_DigestUpdate(session, data, 3), CKR_OK);
    EXPECT_EQ(p11->C_Digest(session, data, 3, out, &length), CKR_FUNCTION_FAILED);
    EXPECT_EQ(p11->C_DigestUpdate(session, data, 3), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_TRUE(all_zero(&record().digestState, sizeof(DigestContext)));

    // A null part with a length ends it too; a null length pointer is refused before anything.
    ASSERT_EQ(p11->C_DigestInit(session, &sha256), CKR_OK);
    EXPECT_EQ(p11->C_DigestFinal(session, out, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_DigestUpdate(session, nullptr, 1), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(record().operation, OPERATION_NONE);

    // Multi-part: the result is finished before the state is wiped.
    ASSERT_EQ(p11->C_DigestInit(session, &sha256), CKR_OK);
    ASSERT_EQ(p11->C_DigestUpdate(session, data, 1), CKR_OK);
    ASSERT_EQ(p11->C_DigestUpdate(session, data + 1, 2), CKR_OK);
    EXPECT_EQ(p11->C_DigestFinal(session, nullptr, &length), CKR_OK);
    EXPECT_EQ(p11->C_DigestFinal(session, out, &length), CKR_OK);
    EXPECT_EQ(out[0], 0xBA);
    EXPECT_EQ(record().operation, OPERATION_NONE);
    EXPECT_EQ(p11->C_DigestKey(session, 1), CKR_KEY_INDIGESTIBLE);
}

TEST_F(Operations, CipherInitRefusals)
{
    const Bytes aes(16, 1), gost(32, 2);
    const CK_OBJECT_HANDLE aesKey = session_key(0, CKO_SECRET_KEY, KEY_KIND_AES, aes);
    const CK_OBJECT_HANDLE gostKey = session_key(1, CKO_SECRET_KEY, KEY_KIND_GOST28147, gost);
    const CK_OBJECT_HANDLE dataWithAesKind = session_key(2, CKO_DATA, KEY_KIND_AES, aes);
    const CK_OBJECT_HANDLE shortGost = session_key(3, CKO_SECRET_KEY, KEY_KIND_GOST28147, Bytes(16, 3));
    const CK_OBJECT_HANDLE rsaKey = token_key(0, CKO_PRIVATE_KEY, KEY_KIND_RSA_GENERATED, 5);
    CK_BYTE iv[16] = {};
    struct Case {
        CK_MECHANISM mechanism;
        CK_OBJECT_HANDLE key;
        bool decrypt;
        CK_RV expected;
    };
    const Case cases[] = {
        {mech(CKM_AES_ECB), 0x8010, false, CKR_OBJECT_HANDLE_INVALID},
        {mech(CKM_SHA256), aesKey, false, CKR_MECHANISM_INVALID},
        {mech(CKM_RSA_PKCS), rsaKey, false, CKR_MECHANISM_INVALID},  // decryption only
        {mech(CKM_AES_ECB), gostKey, false, CKR_MECHANISM_INVALID},
        {mech(CKM_GOST28147_ECB), aesKey, true, CKR_MECHANISM_INVALID},
        {mech(CKM_AES_ECB), dataWithAesKind, false, CKR_MECHANISM_INVALID},
        {mech(CKM_GOST28147_ECB), shortGost, true, CKR_MECHANISM_INVALID},
        {mech(CKM_RSA_PKCS), aesKey, true, CKR_KEY_TYPE_INCONSISTENT},
        {mech(CKM_RSA_PKCS), rsaKey | PUBLIC_VIEW_BIT, true, CKR_KEY_TYPE_INCONSISTENT},
        {mech(CKM_AES_CBC, iv, 15), aesKey, false, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_AES_CBC, nullptr, 16), aesKey, true, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_GOST28147_CTR, iv, 16), gostKey, false, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_AES_ECB, iv, 3), aesKey, false, CKR_OK},  // the ECB parameter is not examined
        {mech(CKM_GOST28147_CFB, iv, 8), gostKey, true, CKR_OK},
        {mech(CKM_RSA_PKCS), rsaKey, true, CKR_OK},
    };
    for (const Case& c : cases) {
        CK_MECHANISM m = c.mechanism;
        auto init = c.decrypt ? p11->C_DecryptInit : p11->C_EncryptInit;
        EXPECT_EQ(init(session, &m, c.key), c.expected) << std::hex << m.mechanism << " key " << c.key;
        EXPECT_EQ(record().operation, c.expected != CKR_OK ? OPERATION_NONE
                                                           : (c.decrypt ? OPERATION_DECRYPT : OPERATION_ENCRYPT));
        EXPECT_EQ(p11->C_EncryptFinal(session, nullptr, nullptr), CKR_OK);
    }
    EXPECT_EQ(p11->C_EncryptInit(session, nullptr, aesKey), CKR_ARGUMENTS_BAD);
}

TEST_F(Operations, CipherLengthsAndTheSharedFinal)
{
    const CK_OBJECT_HANDLE aesKey = session_key(0, CKO_SECRET_KEY, KEY_KIND_AES, Bytes(16, 1));
    const CK_OBJECT_HANDLE gostKey = session_key(1, CKO_SECRET_KEY, KEY_KIND_GOST28147, Bytes(32, 2));
    CK_BYTE in[64] = {}, out[64], iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CK_ULONG length = sizeof out;
    CK_MECHANISM sha1 = mech(CKM_SHA_1), ecb = mech(CKM_AES_ECB), gostEcb = mech(CKM_GOST28147_ECB),
                 cfb = mech(CKM_GOST28147_CFB, iv, 8);

    // A digest blocks the cipher init; the shared final ends whatever runs.
    ASSERT_EQ(p11->C_DigestInit(session, &sha1), CKR_OK);
    EXPECT_EQ(p11->C_EncryptInit(session, &ecb, aesKey), CKR_OPERATION_ACTIVE);
    EXPECT_EQ(p11->C_EncryptFinal(session, nullptr, nullptr), CKR_OK);
    EXPECT_EQ(p11->C_DigestUpdate(session, in, 1), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_Encrypt(session, in, 16, out, &length), CKR_OPERATION_NOT_INITIALIZED);

    // A length off the block keeps the operation; a good one then succeeds and ends it.
    ASSERT_EQ(p11->C_EncryptInit(session, &ecb, aesKey), CKR_OK);
    EXPECT_EQ(p11->C_Encrypt(session, in, 17, out, &length), CKR_DATA_LEN_RANGE);
    EXPECT_EQ(p11->C_Encrypt(session, nullptr, 16, out, &length), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_Encrypt(session, in, 32, nullptr, &length), CKR_OK);
    EXPECT_EQ(length, 32u);
    length = 31;
    EXPECT_EQ(p11->C_Encrypt(session, in, 32, out, &length), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 31u);
    length = sizeof out;
    EXPECT_EQ(p11->C_Encrypt(session, in, 32, out, &length), CKR_OK);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(record().operation, OPERATION_NONE);

    for (auto init : {p11->C_EncryptInit, p11->C_DecryptInit}) {
        auto run = init == p11->C_EncryptInit ? p11->C_Encrypt : p11->C_Decrypt;
        for (CK_ULONG n : {8u, 24u, 12u}) {
            ASSERT_EQ(init(session, &gostEcb, gostKey), CKR_OK);
            length = sizeof out;
            EXPECT_EQ(run(session, in, n, out, &length), n == 12 ? CKR_DATA_LEN_RANGE : CKR_OK) << n;
            EXPECT_EQ(p11->C_EncryptFinal(session, nullptr, nullptr), CKR_OK);
        }
    }

    // A stream mechanism stopped inside a block shows in the final call.
    for (CK_ULONG n : {5u, 16u}) {
        ASSERT_EQ(p11->C_EncryptInit(session, &cfb, gostKey), CKR_OK);
        length = sizeof out;
        EXPECT_EQ(p11->C_Encrypt(session, in, n, out, &length), CKR_OK);
        EXPECT_EQ(p11->C_EncryptFinal(session, nullptr, nullptr), n == 5 ? CKR_DATA_LEN_RANGE : CKR_OK);
        EXPECT_TRUE(all_zero(&record().cipherState, sizeof(CipherState)));
    }
}

TEST_F(Operations, RandomBytesComeInCommandsOfAtMost224)
{
    Bytes out(500 + 8, 0);
    ASSERT_EQ(p11->C_GenerateRandom(session, out.data(), 500), CKR_OK);
    ASSERT_EQ(fake_device().sent.size(), 3u);
    const std::uint8_t asked[] = {224, 224, 52};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fake_device().sent[i].code, CMD_GET_RANDOM);
        EXPECT_EQ(fake_device().sent[i].request, Bytes{asked[i]});
        EXPECT_EQ(fake_device().sent[i].capacity, asked[i]);
    }
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xA5), 500);

    fake_device().sent.clear();
    EXPECT_EQ(p11->C_GenerateRandom(session, out.data(), 0), CKR_OK);
    EXPECT_TRUE(fake_device().sent.empty());
    EXPECT_EQ(p11->C_GenerateRandom(session, nullptr, 4), CKR_ARGUMENTS_BAD);

    // Replies of another length than asked fail at once: no endless loop on empty replies, no
    // write past the buffer on long ones.
    for (int extra : {-300, -1, 1}) {
        fake_device().randomExtra = extra;
        fake_device().sent.clear();
        std::fill(out.begin(), out.end(), 0);
        EXPECT_EQ(p11->C_GenerateRandom(session, out.data(), 8), CKR_DEVICE_ERROR) << extra;
        EXPECT_EQ(fake_device().sent.size(), 1u);
        EXPECT_TRUE(all_zero(out.data() + 8, 8));
    }
    fake_device().randomExtra = 0;
    fake_device().status = 77;
    EXPECT_EQ(p11->C_GenerateRandom(session, out.data(), 8), CKR_DEVICE_ERROR);
    CK_SESSION_INFO info{};
    ASSERT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
    EXPECT_EQ(info.ulDeviceError, 77u);
}

TEST_F(Operations, WrapKeyChecks)
{
    const Bytes kek(32, 7), secret(32, 9);
    const CK_OBJECT_HANDLE wrapping = session_key(0, CKO_SECRET_KEY, KEY_KIND_GOST28147, kek);
    const CK_OBJECT_HANDLE extractable = session_key(1, CKO_SECRET_KEY, KEY_KIND_AES, secret, KEY_FLAG_EXTRACTABLE);
    const CK_OBJECT_HANDLE fixed = session_key(2, CKO_SECRET_KEY, KEY_KIND_AES, secret);
    const CK_OBJECT_HANDLE short16 = session_key(3, CKO_SECRET_KEY, KEY_KIND_AES, Bytes(16, 1), KEY_FLAG_EXTRACTABLE);
    const CK_OBJECT_HANDLE long64 = session_key(4, CKO_SECRET_KEY, KEY_KIND_KALYNA_512, Bytes(64, 1),
                                                KEY_FLAG_EXTRACTABLE);
    const CK_OBJECT_HANDLE onDevice = token_key(0, CKO_SECRET_KEY, KEY_KIND_GOST28147, 3, KEY_FLAG_EXTRACTABLE);
    Gost28147Sbox otherSbox = gost28147_default_sbox_packed;
    otherSbox[63] ^= 1;
    Gost28147Sbox defaultSbox = gost28147_default_sbox_packed;
    CK_BYTE out[64];
    struct Case {
        CK_MECHANISM mechanism;
        CK_OBJECT_HANDLE wrappingKey, key;
        bool output;
        CK_RV expected;
    };
    const Case cases[] = {
        {mech(CKM_GOST28147_KEY_WRAP), wrapping, 0, true, CKR_ARGUMENTS_BAD},
        {mech(CKM_AES_KEY_WRAP), wrapping, extractable, true, CKR_MECHANISM_INVALID},
        {mech(CKM_GOST28147_KEY_WRAP, otherSbox.data(), 64), wrapping, extractable, true, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_GOST28147_KEY_WRAP, nullptr, 64), wrapping, extractable, true, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_GOST28147_KEY_WRAP, defaultSbox.data(), 63), wrapping, extractable, true,
         CKR_MECHANISM_PARAM_INVALID},
        // The length is answered before the keys are looked at.
        {mech(CKM_GOST28147_KEY_WRAP), 0x8030, 0x8031, false, CKR_OK},
        {mech(CKM_GOST28147_KEY_WRAP), 0x8030, extractable, true, CKR_WRAPPING_KEY_HANDLE_INVALID},
        {mech(CKM_GOST28147_KEY_WRAP), extractable, extractable, true, CKR_WRAPPING_KEY_TYPE_INCONSISTENT},
        {mech(CKM_GOST28147_KEY_WRAP), onDevice, extractable, true, CKR_WRAPPING_KEY_TYPE_INCONSISTENT},
        {mech(CKM_GOST28147_KEY_WRAP), wrapping, 0x8031, true, CKR_KEY_HANDLE_INVALID},
        {mech(CKM_GOST28147_KEY_WRAP), wrapping, fixed, true, CKR_KEY_UNEXTRACTABLE},
        {mech(CKM_GOST28147_KEY_WRAP), wrapping, short16, true, CKR_KEY_NOT_WRAPPABLE},
        {mech(CKM_GOST28147_KEY_WRAP), wrapping, long64, true, CKR_KEY_NOT_WRAPPABLE},
        {mech(CKM_GOST28147_KEY_WRAP), wrapping, onDevice, true, CKR_KEY_NOT_WRAPPABLE},
        {mech(CKM_GOST28147_KEY_WRAP, defaultSbox.data(), 64), wrapping, extractable, true, CKR_OK},
    };
    for (const Case& c : cases) {
        CK_MECHANISM m = c.mechanism;
        CK_ULONG length = sizeof out;
        EXPECT_EQ(p11->C_WrapKey(session, &m, c.wrappingKey, c.key, c.output ? out : nullptr, &length), c.expected)
            << std::hex << c.wrappingKey << " " << c.key;
        if (c.expected == CKR_OK) {
            EXPECT_EQ(length, 44u);
        }
    }
    CK_MECHANISM m = mech(CKM_GOST28147_KEY_WRAP);
    CK_ULONG length = 43;
    EXPECT_EQ(p11->C_WrapKey(session, &m, wrapping, extractable, out, &length), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 43u);
    EXPECT_EQ(p11->C_WrapKey(session, &m, wrapping, extractable, out, nullptr), CKR_ARGUMENTS_BAD);

    // The eight random bytes come from the device; the wrapping opens with the key-encryption key.
    fake_device().sent.clear();
    length = sizeof out;
    ASSERT_EQ(p11->C_WrapKey(session, &m, wrapping, extractable, out, &length), CKR_OK);
    ASSERT_EQ(fake_device().sent.size(), 1u);
    EXPECT_EQ(fake_device().sent[0].request, Bytes{8});
    Bytes key(32);
    ASSERT_EQ(gost_key_unwrap(kek.data(), out, key.data()), 0u);
    EXPECT_EQ(key, secret);
    out[43] ^= 1;
    EXPECT_NE(gost_key_unwrap(kek.data(), out, key.data()), 0u);

    fake_device().status = 77;
    EXPECT_EQ(p11->C_WrapKey(session, &m, wrapping, extractable, out, &length), CKR_DEVICE_ERROR);
}

TEST_F(Operations, DeriveKeyChecksAndRequest)
{
    const CK_OBJECT_HANDLE base = token_key(0, CKO_PRIVATE_KEY, KEY_KIND_DSTU4145_FIRST, 9, KEY_FLAG_DERIVE);
    const CK_OBJECT_HANDLE noDerive = token_key(1, CKO_PRIVATE_KEY, KEY_KIND_DSTU4145_FIRST, 10);
    Bytes publicData{0x04, 0x21};
    for (int i = 0; i < 33; ++i)
        publicData.push_back(static_cast<std::uint8_t>(i + 1));
    Bytes shared(101, 0x55);
    auto params = [&](CK_ULONG sharedLength, const Bytes& point, bool nullShared = false, bool nullPoint = false) {
        return CK_ECDH1_DERIVE_PARAMS{CKD_NULL, sharedLength, nullShared ? nullptr : shared.data(),
                                      static_cast<CK_ULONG>(point.size()),
                                      nullPoint ? nullptr : const_cast<std::uint8_t*>(point.data())};
    };
    CK_ECDH1_DERIVE_PARAMS good = params(0, publicData), long101 = params(101, publicData),
                           nullShared = params(4, publicData, true), nullPoint = params(0, publicData, false, true),
                           shortPoint = params(0, Bytes(publicData.begin(), publicData.begin() + 30));
    CK_BBOOL yes = CK_TRUE;
    CK_ATTRIBUTE attribute{CKA_TOKEN, &yes, 1};
    struct Case {
        CK_MECHANISM mechanism;
        CK_OBJECT_HANDLE base;
        CK_RV expected;
    };
    const Case cases[] = {
        {mech(CKM_ECDH1_DERIVE, &good, sizeof good), base, CKR_MECHANISM_INVALID},
        {mech(CKM_DSTU4145_DERIVE, &good, sizeof good - 1), base, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_DSTU4145_DERIVE, nullptr, sizeof good), base, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_DSTU4145_DERIVE, &good, sizeof good), 0x8010, CKR_OBJECT_HANDLE_INVALID},
        {mech(CKM_DSTU4145_DERIVE, &good, sizeof good), noDerive, CKR_KEY_TYPE_INCONSISTENT},
        {mech(CKM_DSTU4145_DERIVE, &good, sizeof good), base | PUBLIC_VIEW_BIT, CKR_KEY_TYPE_INCONSISTENT},
        {mech(CKM_DSTU4145_DERIVE, &long101, sizeof good), base, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_DSTU4145_DERIVE, &nullShared, sizeof good), base, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_DSTU4145_DERIVE, &nullPoint, sizeof good), base, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_DSTU4145_DERIVE, &shortPoint, sizeof good), base, CKR_MECHANISM_PARAM_INVALID},
    };
    CK_OBJECT_HANDLE key = 0;
    for (const Case& c : cases) {
        CK_MECHANISM m = c.mechanism;
        EXPECT_EQ(p11->C_DeriveKey(session, &m, c.base, &attribute, 1, &key), c.expected) << std::hex << c.base;
    }
    EXPECT_TRUE(fake_device().sent.empty());
    CK_MECHANISM m = mech(CKM_DSTU4145_DERIVE, &good, sizeof good);
    EXPECT_EQ(p11->C_DeriveKey(session, &m, base, nullptr, 1, &key), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_DeriveKey(session, &m, base, &attribute, 0, &key), CKR_ARGUMENTS_BAD);

    // The request: the key's index, then the public data's length byte and point bytes.
    fake_device().reply = Bytes(32, 0x11);
    ASSERT_EQ(p11->C_DeriveKey(session, &m, base, &attribute, 1, &key), CKR_OK);
    ASSERT_EQ(fake_device().sent.size(), 1u);
    EXPECT_EQ(fake_device().sent[0].code, CMD_DERIVE);
    Bytes expected{9};
    expected.insert(expected.end(), publicData.begin() + 1, publicData.end());
    EXPECT_EQ(fake_device().sent[0].request, expected);
    EXPECT_EQ(fake_device().sent[0].request.size(), 35u);
    EXPECT_EQ(key, 0x8001u);
    const ObjectRecord& made = *record().sessionObjects[0];
    EXPECT_EQ(made.objectClass, CKO_SECRET_KEY);
    EXPECT_EQ(made.token, 0);
    EXPECT_EQ(made.isPrivate, 1);
    EXPECT_EQ(made.header.keyKind, KEY_KIND_GOST28147);
    EXPECT_EQ(made.valueLength, 32u);

    fake_device().status = 77;
    EXPECT_EQ(p11->C_DeriveKey(session, &m, base, &attribute, 1, &key), CKR_DEVICE_ERROR);
    CK_SESSION_INFO info{};
    ASSERT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
    EXPECT_EQ(info.ulDeviceError, 77u);
}

TEST_F(Operations, SignStateRules)
{
    const CK_OBJECT_HANDLE rsa = token_key(0, CKO_PRIVATE_KEY, KEY_KIND_RSA_GENERATED, 4);
    const CK_OBJECT_HANDLE aes = session_key(0, CKO_SECRET_KEY, KEY_KIND_AES, Bytes(16, 1));
    CK_MECHANISM raw = mech(CKM_RSA_PKCS), sha256 = mech(CKM_SHA256_RSA_PKCS), mac = mech(CKM_AES_MAC),
                 digest = mech(CKM_SHA256);
    CK_BYTE data[4] = {}, out[512];
    CK_ULONG length = sizeof out;
    EXPECT_EQ(p11->C_Sign(session, data, 4, out, &length), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_SignUpdate(session, data, 4), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_SignFinal(session, out, &length), CKR_OPERATION_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_SignInit(session, nullptr, rsa), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_SignInit(session, &raw, 0x50), CKR_OBJECT_HANDLE_INVALID);
    EXPECT_EQ(p11->C_SignInit(session, &raw, rsa | PUBLIC_VIEW_BIT), CKR_KEY_TYPE_INCONSISTENT);
    EXPECT_EQ(p11->C_SignInit(session, &digest, rsa), CKR_MECHANISM_INVALID);
    // The MAC mechanisms fail in the hash set-up, and leave no operation behind.
    EXPECT_EQ(p11->C_SignInit(session, &mac, aes), CKR_MECHANISM_INVALID);
    EXPECT_EQ(record().operation, OPERATION_NONE);

    // Raw mechanisms have no hash to add parts to.
    ASSERT_EQ(p11->C_SignInit(session, &raw, rsa), CKR_OK);
    EXPECT_EQ(p11->C_SignInit(session, &raw, rsa), CKR_OPERATION_ACTIVE);
    EXPECT_EQ(p11->C_SignUpdate(session, data, 4), CKR_FUNCTION_FAILED);
    EXPECT_EQ(record().operation, OPERATION_NONE);

    ASSERT_EQ(p11->C_SignInit(session, &sha256, rsa), CKR_OK);
    EXPECT_EQ(p11->C_SignUpdate(session, nullptr, 0), CKR_OK);
    EXPECT_EQ(p11->C_SignUpdate(session, data, 4), CKR_OK);
    EXPECT_EQ(p11->C_SignUpdate(session, nullptr, 4), CKR_DATA_INVALID);
    EXPECT_EQ(record().operation, OPERATION_NONE);
    EXPECT_TRUE(all_zero(&record().digestState, sizeof(DigestContext)));

    ASSERT_EQ(p11->C_SignInit(session, &sha256, rsa), CKR_OK);
    EXPECT_EQ(p11->C_Sign(session, nullptr, 4, out, &length), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(record().operation, OPERATION_NONE);
}

}  // namespace
}  // namespace vlrp11::testing

namespace vlrp11::testing {
namespace {

class KeyCalls : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        record().flags |= CKF_RW_SESSION;
    }
};

CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
CK_ULONG secretClass = CKO_SECRET_KEY, dataClass = CKO_DATA, privateClass = CKO_PRIVATE_KEY,
         publicClass = CKO_PUBLIC_KEY, len16 = 16, len40 = 40, bits2048 = 2048, bits1000 = 1000;
CK_BYTE f4[] = {1, 0, 1}, three[] = {3}, label[] = {'k', 'e', 'y'};
// The DER OID of P-256, and one of no curve the library knows.
CK_BYTE p256Oid[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
CK_BYTE otherOid[] = {0x06, 0x03, 0x2A, 0x03, 0x04};

CK_ATTRIBUTE attr(CK_ATTRIBUTE_TYPE type, void* value, CK_ULONG length)
{
    return CK_ATTRIBUTE{type, value, length};
}

TEST_F(KeyCalls, GenerateKeyTemplates)
{
    using Template = std::vector<CK_ATTRIBUTE>;
    struct Case {
        CK_MECHANISM_TYPE mechanism;
        Template attributes;
        CK_RV expected;
    };
    const Case cases[] = {
        {CKM_AES_KEY_GEN, {attr(CKA_VALUE_LEN, &len16, sizeof len16), attr(CKA_TOKEN, &yes, 1)},
         CKR_TEMPLATE_INCONSISTENT},
        {CKM_AES_KEY_GEN, {attr(CKA_VALUE_LEN, &len16, sizeof len16), attr(CKA_EXTRACTABLE, &yes, 1)},
         CKR_TEMPLATE_INCONSISTENT},
        {CKM_AES_KEY_GEN, {attr(CKA_PRIVATE, &no, 1)}, CKR_TEMPLATE_INCONSISTENT},
        {CKM_AES_KEY_GEN, {attr(CKA_PRIVATE, &len16, sizeof len16)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {CKM_AES_KEY_GEN, {attr(CKA_ENCRYPT, nullptr, 1)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {CKM_AES_KEY_GEN, {attr(CKA_CLASS, &dataClass, sizeof dataClass)}, CKR_TEMPLATE_INCONSISTENT},
        {CKM_AES_KEY_GEN, {attr(CKA_CLASS, &secretClass, 2)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {CKM_AES_KEY_GEN, {attr(CKA_VALUE_LEN, &len40, sizeof len40)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {CKM_AES_KEY_GEN, {attr(CKA_LABEL, label, 3)}, CKR_ATTRIBUTE_VALUE_INVALID},  // no length
        {CKM_AES_CBC, {}, CKR_MECHANISM_INVALID},
        {CKM_AES_KEY_GEN, {attr(CKA_VALUE_LEN, &len16, sizeof len16), attr(CKA_SENSITIVE, &yes, 1)}, CKR_OK},
        {CKM_GOST28147_KEY_GEN, {attr(CKA_LABEL, label, 3)}, CKR_OK},
        {CKM_KALYNA_512_KEY_GEN, {}, CKR_OK},
    };
    for (const Case& c : cases) {
        CK_MECHANISM m = mech(c.mechanism);
        Template t = c.attributes;
        CK_OBJECT_HANDLE key = 0;
        EXPECT_EQ(p11->C_GenerateKey(session, &m, t.data(), t.size(), &key), c.expected) << std::hex << c.mechanism;
        EXPECT_EQ(key != 0, c.expected == CKR_OK);
    }
    CK_MECHANISM aes = mech(CKM_AES_KEY_GEN);
    CK_OBJECT_HANDLE key = 0;
    EXPECT_EQ(p11->C_GenerateKey(session, &aes, nullptr, 1, &key), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GenerateKey(session, &aes, nullptr, 0, nullptr), CKR_ARGUMENTS_BAD);
    record().flags = CKF_SERIAL_SESSION;
    EXPECT_EQ(p11->C_GenerateKey(session, &aes, nullptr, 0, &key), CKR_SESSION_READ_ONLY);
}

TEST_F(KeyCalls, GenerateKeyPairTemplatesRefusedBeforeTheDevice)
{
    using Template = std::vector<CK_ATTRIBUTE>;
    const Template rsaPublic{attr(CKA_MODULUS_BITS, &bits2048, sizeof bits2048), attr(CKA_PUBLIC_EXPONENT, f4, 3)};
    const Template labelled{attr(CKA_LABEL, label, 3)};
    struct Case {
        CK_MECHANISM mechanism;
        Template publicTemplate, privateTemplate;
        CK_RV expected;
    };
    auto with = [](Template t, CK_ATTRIBUTE a) {
        t.push_back(a);
        return t;
    };
    const Case cases[] = {
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), rsaPublic, {}, CKR_TEMPLATE_INCOMPLETE},  // no label
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), with(rsaPublic, attr(CKA_PUBLIC_EXPONENT, three, 1)), labelled,
         CKR_TEMPLATE_INCONSISTENT},
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), {attr(CKA_MODULUS_BITS, &bits1000, sizeof bits1000)}, labelled,
         CKR_TEMPLATE_INCONSISTENT},
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), {}, labelled, CKR_TEMPLATE_INCOMPLETE},  // no size
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), rsaPublic, with(labelled, attr(CKA_DERIVE, &yes, 1)),
         CKR_TEMPLATE_INCONSISTENT},
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), rsaPublic, with(labelled, attr(CKA_EC_PARAMS, p256Oid, sizeof p256Oid)),
         CKR_ATTRIBUTE_TYPE_INVALID},
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), rsaPublic, with(labelled, attr(CKA_SENSITIVE, &no, 1)),
         CKR_TEMPLATE_INCONSISTENT},
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), rsaPublic, with(labelled, attr(CKA_SIGN, &yes, 4)),
         CKR_ATTRIBUTE_VALUE_INVALID},
        {mech(CKM_RSA_PKCS_KEY_PAIR_GEN), rsaPublic, with(labelled, attr(CKA_CLASS, &publicClass, sizeof publicClass)),
         CKR_TEMPLATE_INCONSISTENT},
        {mech(CKM_EC_KEY_PAIR_GEN), {attr(CKA_MODULUS_BITS, &bits2048, sizeof bits2048)}, labelled,
         CKR_ATTRIBUTE_TYPE_INVALID},
        {mech(CKM_EC_KEY_PAIR_GEN), {attr(CKA_EC_PARAMS, otherOid, sizeof otherOid)}, labelled,
         CKR_CURVE_NOT_SUPPORTED},
        {mech(CKM_EC_KEY_PAIR_GEN), {attr(CKA_EC_PARAMS, nullptr, 10)}, labelled, CKR_ATTRIBUTE_VALUE_INVALID},
        {mech(CKM_EC_KEY_PAIR_GEN), {attr(CKA_CLASS, &privateClass, sizeof privateClass)}, labelled,
         CKR_TEMPLATE_INCONSISTENT},
        {mech(CKM_EC_KEY_PAIR_GEN), {}, labelled, CKR_TEMPLATE_INCOMPLETE},  // no curve
        {mech(CKM_EC_KEY_PAIR_GEN, f4, 3), {}, labelled, CKR_MECHANISM_PARAM_INVALID},
        {mech(CKM_DSA_KEY_PAIR_GEN), rsaPublic, labelled, CKR_MECHANISM_INVALID},
    };
    for (const Case& c : cases) {
        CK_MECHANISM m = c.mechanism;
        // Both templates get an attribute they ignore, so neither is null.
        Template pub = with(c.publicTemplate, attr(CKA_ID, label, 3));
        Template priv = with(c.privateTemplate, attr(CKA_ID, label, 3));
        CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
        EXPECT_EQ(p11->C_GenerateKeyPair(session, &m, pub.data(), pub.size(), priv.data(), priv.size(), &publicKey,
                                         &privateKey),
                  c.expected)
            << std::hex << m.mechanism << " case " << std::dec << (&c - cases);
    }
    EXPECT_TRUE(fake_device().sent.empty());
    CK_MECHANISM ec = mech(CKM_EC_KEY_PAIR_GEN);
    CK_ATTRIBUTE a = attr(CKA_LABEL, label, 3);
    CK_OBJECT_HANDLE h = 0;
    EXPECT_EQ(p11->C_GenerateKeyPair(session, &ec, nullptr, 0, &a, 1, &h, &h), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GenerateKeyPair(session, &ec, &a, 1, &a, 1, nullptr, &h), CKR_ARGUMENTS_BAD);
    record().flags = CKF_SERIAL_SESSION;
    EXPECT_EQ(p11->C_GenerateKeyPair(session, &ec, &a, 1, &a, 1, &h, &h), CKR_SESSION_READ_ONLY);
}

TEST_F(KeyCalls, UnwrapGivesTheWrappedKeyBack)
{
    const Bytes kek(32, 7), secret(32, 9);
    const CK_OBJECT_HANDLE wrapping = session_key(0, CKO_SECRET_KEY, KEY_KIND_GOST28147, kek);
    const CK_OBJECT_HANDLE key = session_key(1, CKO_SECRET_KEY, KEY_KIND_GOST28147, secret, KEY_FLAG_EXTRACTABLE);
    const CK_OBJECT_HANDLE shortKey = session_key(2, CKO_SECRET_KEY, KEY_KIND_GOST28147, Bytes(16, 1));
    const CK_OBJECT_HANDLE dataObject = session_key(3, CKO_DATA, KEY_KIND_GOST28147, kek);
    CK_MECHANISM m = mech(CKM_GOST28147_KEY_WRAP);
    Bytes wrapped(44);
    CK_ULONG length = wrapped.size();
    ASSERT_EQ(p11->C_WrapKey(session, &m, wrapping, key, wrapped.data(), &length), CKR_OK);

    CK_ULONG gostType = CKK_GOST28147, aesType = CKK_AES;
    using Template = std::vector<CK_ATTRIBUTE>;
    struct Case {
        CK_OBJECT_HANDLE unwrapping;
        CK_ULONG length;
        Template attributes;
        CK_RV expected;
    };
    const Case cases[] = {
        {wrapping, 43, {}, CKR_WRAPPED_KEY_LEN_RANGE},
        {0x8020, 44, {}, CKR_OBJECT_HANDLE_INVALID},
        {shortKey, 44, {}, CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT},
        {dataObject, 44, {}, CKR_UNWRAPPING_KEY_TYPE_INCONSISTENT},
        {wrapping, 44, {attr(CKA_TOKEN, &yes, 1)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {wrapping, 44, {attr(CKA_KEY_TYPE, &aesType, sizeof aesType)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {wrapping, 44, {attr(CKA_CLASS, &dataClass, sizeof dataClass)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {wrapping, 44, {attr(CKA_DECRYPT, &no, 1)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {wrapping, 44, {attr(CKA_EC_POINT, label, 3)}, CKR_ATTRIBUTE_TYPE_INVALID},
        {wrapping, 44, {attr(CKA_MODULUS, label, 3)}, CKR_ATTRIBUTE_TYPE_INVALID},
        {wrapping, 44,
         {attr(CKA_KEY_TYPE, &gostType, sizeof gostType), attr(CKA_EXTRACTABLE, &yes, 1), attr(CKA_LABEL, label, 3)},
         CKR_OK},
    };
    for (const Case& c : cases) {
        Template t = c.attributes;
        CK_OBJECT_HANDLE made = 0;
        EXPECT_EQ(p11->C_UnwrapKey(session, &m, c.unwrapping, wrapped.data(), c.length, t.data(), t.size(), &made),
                  c.expected)
            << "case " << (&c - cases);
        if (c.expected != CKR_OK)
            continue;
        const ObjectRecord& record = *this->record().sessionObjects[(made & 0x7FFF) - 1];
        EXPECT_EQ(Bytes(record.value, record.value + record.valueLength), secret);
        EXPECT_EQ(record.header.flags & KEY_FLAG_EXTRACTABLE, KEY_FLAG_EXTRACTABLE);
        EXPECT_EQ(record.token, 0);
    }
    wrapped[43] ^= 1;
    CK_OBJECT_HANDLE made = 0;
    EXPECT_EQ(p11->C_UnwrapKey(session, &m, wrapping, wrapped.data(), 44, nullptr, 0, &made), CKR_WRAPPED_KEY_INVALID);
    EXPECT_EQ(p11->C_UnwrapKey(session, &m, wrapping, nullptr, 44, nullptr, 0, &made), CKR_ARGUMENTS_BAD);
}

}  // namespace
}  // namespace vlrp11::testing
