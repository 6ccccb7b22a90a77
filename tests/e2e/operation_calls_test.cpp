// The operation calls through the function table against a simulated token behind a simulated
// reader, logged in as the user: signatures verified by OpenSSL and by the simulator's own DSTU
// 4145, RSA decryption of OpenSSL's ciphertexts, device ciphers against OpenSSL and against the
// host's cipher with the same key, key agreement from both sides, random bytes.
#define OPENSSL_SUPPRESS_DEPRECATED  // EC_KEY and the raw RSA padding calls

#include "support/logged_in_token.h"
#include "support/openssl_checks.h"
#include "support/openssl_aes.h"
#include "support/simulated_readers.h"

#include "api/function_table.h"
#include "api/library_state.h"
#include "api/session_record.h"
#include "core/crypto_dstu4145.h"
#include "device/command_codes.h"
#include "objects/digest_context.h"
#include "objects/key_kinds.h"
#include "objects/token_objects.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

namespace vlrp11::testing {
namespace {



Bytes openssl_digest(const char* name, const Bytes& data)
{
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned length = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &length, EVP_get_digestbyname(name), nullptr);
    out.resize(length);
    return out;
}




CK_MECHANISM mech(CK_MECHANISM_TYPE type, void* parameter = nullptr, CK_ULONG length = 0)
{
    return CK_MECHANISM{type, parameter, length};
}

// One token for the suite, its keys made on the device once: RSA key generation takes a while.
class OperationCalls : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        simulated = new SimulatedDevice(profile_for(sim::DeviceKind::token, 4242));
        readers = new SimulatedReaders;
        readers->add_reader("KESTRELWORKSHOP VELLARO token 00 00", simulated->device);
        ASSERT_EQ(get_function_list(&p11), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        CK_ULONG count = 0;
        ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
        ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
        auto* pin = reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(USER_PIN));
        ASSERT_EQ(p11->C_Login(session, CKU_USER, pin, std::strlen(USER_PIN)), CKR_OK);
        DeviceConnection& connection = *library_state().slots[0].connection;
        generate_device_key_pair(connection, 10, KEY_KIND_RSA_GENERATED, 2048, rsa2048_public);
        generate_device_key_pair(connection, 11, KEY_KIND_RSA_GENERATED, 1024, rsa1024_public);
        generate_device_key_pair(connection, 12, KEY_KIND_EC, CURVE_P256, p256_public);
        generate_device_key_pair(connection, 13, KEY_KIND_EC, CURVE_P521, p521_public);
        generate_device_key_pair(connection, 14, KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_257, dstu_a_public,
                                 KEY_FLAG_DERIVE);
        generate_device_key_pair(connection, 15, KEY_KIND_DSTU4145_FIRST, CURVE_DSTU_257, dstu_b_public,
                                 KEY_FLAG_DERIVE);
        write_device_secret_key(connection, 20, KEY_KIND_AES, aes_value);
        write_device_secret_key(connection, 21, KEY_KIND_GOST28147, gost_value);
        ASSERT_EQ(refresh_token_objects(connection, library_state().slots[0].tokenObjects, false), CKR_OK);
    }

    static void TearDownTestSuite()
    {
        p11->C_Finalize(nullptr);
        delete readers;
        delete simulated;
    }

    // The handle of the token key at a directory index.
    static CK_OBJECT_HANDLE key_at(std::uint8_t deviceIndex)
    {
        const ObjectTable& table = library_state().slots[0].tokenObjects;
        for (unsigned i = 0; i < OBJECTS_PER_TABLE; ++i)
            if (table[i] != nullptr && table[i]->deviceIndex == deviceIndex && table[i]->objectClass != CKO_DATA)
                return i + 1;
        ADD_FAILURE() << "no key at " << int(deviceIndex);
        return 0;
    }

    // A session secret key with the value, as key creation leaves one.
    static CK_OBJECT_HANDLE session_key(std::uint8_t kind, const Bytes& value)
    {
        SlotRecord& slot = library_state().slots[0];
        ObjectContext context{slot.connection, &slot.tokenObjects, &slot.sessions[0]->sessionObjects};
        ObjectRecord* record = nullptr;
        CK_OBJECT_HANDLE handle = 0;
        EXPECT_EQ(allocate_session_record(context, record, handle), CKR_OK);
        record->objectClass = CKO_SECRET_KEY;
        record->isPrivate = 1;
        record->header.keyKind = kind;
        EXPECT_EQ(set_object_value(*record, value.data(), static_cast<std::uint32_t>(value.size())), CKR_OK);
        return handle;
    }

    static const ObjectRecord& session_object(CK_OBJECT_HANDLE handle)
    {
        return *library_state().slots[0].sessions[0]->sessionObjects[(handle & 0x7FFF) - 1];
    }

    static Bytes sign(CK_MECHANISM_TYPE type, CK_OBJECT_HANDLE key, const Bytes& data, bool parts = false)
    {
        CK_MECHANISM m = mech(type);
        EXPECT_EQ(p11->C_SignInit(session, &m, key), CKR_OK);
        CK_ULONG length = 0;
        if (parts) {
            EXPECT_EQ(p11->C_SignUpdate(session, const_cast<CK_BYTE_PTR>(data.data()), 3), CKR_OK);
            EXPECT_EQ(p11->C_SignUpdate(session, const_cast<CK_BYTE_PTR>(data.data()) + 3, data.size() - 3), CKR_OK);
            EXPECT_EQ(p11->C_SignFinal(session, nullptr, &length), CKR_OK);
        } else {
            EXPECT_EQ(p11->C_Sign(session, const_cast<CK_BYTE_PTR>(data.data()), data.size(), nullptr, &length),
                      CKR_OK);
        }
        Bytes signature(length);
        const CK_RV rv = parts ? p11->C_SignFinal(session, signature.data(), &length)
                               : p11->C_Sign(session, const_cast<CK_BYTE_PTR>(data.data()), data.size(),
                                             signature.data(), &length);
        EXPECT_EQ(rv, CKR_OK);
        signature.resize(length);
        return signature;
    }

    // C_EncryptInit or C_DecryptInit, then the single-part call.
    static Bytes cipher(bool encrypt, CK_MECHANISM m, CK_OBJECT_HANDLE key, const Bytes& in, CK_RV expected = CKR_OK)
    {
        EXPECT_EQ((encrypt ? p11->C_EncryptInit : p11->C_DecryptInit)(session, &m, key), CKR_OK);
        Bytes out(in.size() + 16);
        CK_ULONG length = out.size();
        auto* data = const_cast<CK_BYTE_PTR>(in.data());
        EXPECT_EQ((encrypt ? p11->C_Encrypt : p11->C_Decrypt)(session, data, in.size(), out.data(), &length), expected);
        p11->C_EncryptFinal(session, nullptr, nullptr);
        out.resize(expected == CKR_OK ? length : 0);
        return out;
    }

    static inline SimulatedDevice* simulated;
    static inline SimulatedReaders* readers;
    static inline CK_FUNCTION_LIST_PTR p11;
    static inline CK_SESSION_HANDLE session;
    static inline Bytes rsa2048_public, rsa1024_public, p256_public, p521_public, dstu_a_public, dstu_b_public;
    static inline const Bytes aes_value = Bytes(16, 0x3C);
    static inline const Bytes gost_value = Bytes(32, 0x5A);
};

const Bytes message{'s', 'i', 'g', 'n', ' ', 'm', 'e', ' ', 'p', 'l', 'e', 'a', 's', 'e'};

TEST_F(OperationCalls, SignaturesVerifyOutsideTheLibrary)
{
    struct Case {
        std::uint8_t key;
        CK_MECHANISM_TYPE mechanism;
        const char* hash;
        bool parts;
        std::size_t length;
    };
    const Case cases[] = {
        {10, CKM_SHA256_RSA_PKCS, "SHA256", false, 256},
        {10, CKM_SHA3_256_RSA_PKCS, "SHA3-256", true, 256},
        {11, CKM_SHA512_RSA_PKCS, "SHA512", true, 128},
        {12, CKM_ECDSA_SHA256, "SHA256", true, 64},
        {12, CKM_ECDSA_SHA3_384, "SHA3-384", false, 64},
        {13, CKM_ECDSA_SHA512, "SHA512", false, 132},
    };
    for (const Case& c : cases) {
        const Bytes signature = sign(c.mechanism, key_at(c.key), message, c.parts);
        const Bytes hash = openssl_digest(c.hash, message);
        EXPECT_EQ(signature.size(), c.length) << c.hash;
        if (c.key == 10 || c.key == 11) {
            Pkey key = rsa_public(c.key == 10 ? rsa2048_public : rsa1024_public);
            EXPECT_TRUE(rsa_verifies(key.get(), c.hash, hash, signature)) << c.hash;
        } else {
            EXPECT_TRUE(ecdsa_verifies(c.key == 12 ? NID_X9_62_prime256v1 : NID_secp521r1,
                                       c.key == 12 ? p256_public : p521_public, hash, signature))
                << c.hash;
        }
    }

    // Raw mechanisms: a DigestInfo for RSA, a hash-sized value for ECDSA.
    const Bytes sha256 = openssl_digest("SHA256", message);
    Bytes info{0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
               0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    info.insert(info.end(), sha256.begin(), sha256.end());
    EXPECT_TRUE(rsa_verifies(rsa_public(rsa2048_public).get(), "SHA256", sha256, sign(CKM_RSA_PKCS, key_at(10), info)));
    EXPECT_TRUE(ecdsa_verifies(NID_X9_62_prime256v1, p256_public, sha256, sign(CKM_ECDSA, key_at(12), sha256)));

    // DSTU 4145 with GOST 34.311-95, checked by the simulator's own verifier.
    const Bytes dstu = sign(CKM_DSTU4145_GOST34311, key_at(14), message);
    EXPECT_EQ(dstu.size(), 64u);
    DigestContext context{};
    CK_MECHANISM gost = mech(CKM_GOST34311);
    ASSERT_EQ(digest_init(context, &gost), CKR_OK);
    digest_update(context, message.data(), message.size());
    Bytes hash(32);
    digest_final(context, hash.data());
    const sim::BinaryCurve* curve = sim::dstu_curve(CURVE_DSTU_257);
    ASSERT_NE(curve, nullptr);
    sim::EcPoint q = sim::dstu_decompress(*curve, dstu_a_public);
    EXPECT_TRUE(sim::dstu_verify(*curve, q.get(), hash, dstu));
}

TEST_F(OperationCalls, SignLengthRulesAndRawLengths)
{
    CK_MECHANISM ecdsa = mech(CKM_ECDSA);
    Bytes data(33, 1), out(64);
    CK_ULONG length = 10;
    ASSERT_EQ(p11->C_SignInit(session, &ecdsa, key_at(12)), CKR_OK);
    EXPECT_EQ(p11->C_Sign(session, data.data(), 32, out.data(), &length), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(length, 10u);
    length = 64;
    EXPECT_EQ(p11->C_Sign(session, data.data(), 33, out.data(), &length), CKR_DATA_LEN_RANGE);
    EXPECT_EQ(p11->C_Sign(session, data.data(), 32, out.data(), &length), CKR_OPERATION_NOT_INITIALIZED);
    ASSERT_EQ(p11->C_SignInit(session, &ecdsa, key_at(12)), CKR_OK);
    EXPECT_EQ(p11->C_Sign(session, data.data(), 32, out.data(), &length), CKR_OK);
    EXPECT_EQ(length, 64u);

    // A refused device step ends the operation and leaves its status for C_GetSessionInfo.
    simulated->device->faults().answer_status_once(0x6F, CMD_PRIVATE_KEY_OP);
    ASSERT_EQ(p11->C_SignInit(session, &ecdsa, key_at(12)), CKR_OK);
    EXPECT_EQ(p11->C_Sign(session, data.data(), 32, out.data(), &length), CKR_DEVICE_ERROR);
    CK_SESSION_INFO info{};
    ASSERT_EQ(p11->C_GetSessionInfo(session, &info), CKR_OK);
    EXPECT_EQ(info.ulDeviceError, 0x6Fu);
    EXPECT_EQ(p11->C_SignFinal(session, nullptr, &length), CKR_OPERATION_NOT_INITIALIZED);
}

TEST_F(OperationCalls, RsaDecryptionOfOpenSslCiphertexts)
{
    Pkey key = rsa_public(rsa2048_public);
    const Bytes secret{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    CK_MECHANISM rsa = mech(CKM_RSA_PKCS);
    EXPECT_EQ(cipher(false, rsa, key_at(10), rsa_public_op(key.get(), secret, RSA_PKCS1_PADDING)), secret);

    // Seven padding bytes before the separator: refused, and the operation is over.
    Bytes block(256, 0x42);
    block[0] = 0x00;
    block[1] = 0x02;
    block[9] = 0x00;
    cipher(false, rsa, key_at(10), rsa_public_op(key.get(), block, RSA_NO_PADDING), CKR_ENCRYPTED_DATA_INVALID);
    ASSERT_EQ(p11->C_DecryptInit(session, &rsa, key_at(10)), CKR_OK);
    Bytes tooLong(257, 1), out(300);
    CK_ULONG length = out.size();
    EXPECT_EQ(p11->C_Decrypt(session, tooLong.data(), tooLong.size(), out.data(), &length), CKR_DEVICE_ERROR);
    EXPECT_EQ(p11->C_Decrypt(session, tooLong.data(), 256, out.data(), &length), CKR_OPERATION_NOT_INITIALIZED);
}

TEST_F(OperationCalls, DeviceAesAgreesWithOpenSsl)
{
    Bytes plain(2048);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 7);
    Bytes iv(16, 0x11);
    CK_MECHANISM ecb = mech(CKM_AES_ECB), cbc = mech(CKM_AES_CBC, iv.data(), 16);
    DeviceConnection& connection = *library_state().slots[0].connection;
    Bytes ecbOut;
    {
        CommandRecorder recorder(connection);
        ecbOut = cipher(true, ecb, key_at(20), plain);
        ASSERT_EQ(recorder.sent.size(), 2u);  // two commands of 1024 bytes
        EXPECT_EQ(recorder.sent[0].code, CMD_ENCRYPT_16);
    }
    EXPECT_EQ(ecbOut, openssl_aes("ECB", aes_value, {}, plain));
    const Bytes part(plain.begin(), plain.begin() + 64);
    const Bytes cbcOut = cipher(true, cbc, key_at(20), part);
    EXPECT_EQ(cbcOut, openssl_aes("CBC", aes_value, iv, part));
    EXPECT_EQ(cipher(false, cbc, key_at(20), cbcOut), part);

    // The same value as a session key runs in software and gives the same bytes.
    const CK_OBJECT_HANDLE sessionAes = session_key(KEY_KIND_AES, aes_value);
    EXPECT_EQ(cipher(true, ecb, sessionAes, plain), ecbOut);
    EXPECT_EQ(cipher(true, cbc, sessionAes, part), cbcOut);
    EXPECT_EQ(cipher(false, cbc, sessionAes, cbcOut), part);
}

TEST_F(OperationCalls, DeviceGostAgreesWithTheHostCipher)
{
    Bytes plain(40);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 13 + 1);
    Bytes iv{1, 2, 3, 4, 5, 6, 7, 8};
    const CK_OBJECT_HANDLE device = key_at(21), host = session_key(KEY_KIND_GOST28147, gost_value);
    for (CK_MECHANISM_TYPE type : {CKM_GOST28147_ECB, CKM_GOST28147_CTR, CKM_GOST28147_CFB}) {
        CK_MECHANISM m = type == CKM_GOST28147_ECB ? mech(type) : mech(type, iv.data(), 8);
        const Bytes onDevice = cipher(true, m, device, plain);
        EXPECT_EQ(cipher(true, m, host, plain), onDevice) << std::hex << type;
        EXPECT_EQ(cipher(false, m, host, onDevice), plain) << std::hex << type;
        EXPECT_EQ(cipher(false, m, device, onDevice), plain) << std::hex << type;
    }
}

TEST_F(OperationCalls, BothSidesOfAnAgreementDeriveTheSameKey)
{
    const Bytes shared(100, 0xA5);
    auto derive = [&](CK_MECHANISM_TYPE type, std::uint8_t base, const Bytes& peer, const Bytes& sharedData) {
        Bytes publicData{0x04, static_cast<std::uint8_t>(peer.size())};
        publicData.insert(publicData.end(), peer.begin(), peer.end());
        CK_ECDH1_DERIVE_PARAMS params{CKD_NULL, static_cast<CK_ULONG>(sharedData.size()),
                                      const_cast<CK_BYTE_PTR>(sharedData.data()),
                                      static_cast<CK_ULONG>(publicData.size()), publicData.data()};
        CK_MECHANISM m = mech(type, &params, sizeof params);
        CK_BBOOL no = CK_FALSE;
        CK_ATTRIBUTE attribute{CKA_TOKEN, &no, 1};
        CK_OBJECT_HANDLE key = 0;
        EXPECT_EQ(p11->C_DeriveKey(session, &m, key_at(base), &attribute, 1, &key), CKR_OK);
        const ObjectRecord& record = session_object(key);
        return Bytes(record.value, record.value + record.valueLength);
    };
    for (CK_MECHANISM_TYPE type : {CKM_DSTU4145_DERIVE, CKM_DSTU4145_DERIVE_KALYNA_256}) {
        for (const Bytes& sharedData : {Bytes{}, Bytes(99, 1), shared}) {
            const Bytes ours = derive(type, 14, dstu_b_public, sharedData);
            EXPECT_EQ(ours.size(), 32u);
            EXPECT_EQ(ours, derive(type, 15, dstu_a_public, sharedData)) << sharedData.size();
        }
    }
}

// Keys made through the function table: a key pair on the device that signs, a session AES key
// that encrypts as OpenSSL does with its value.
TEST_F(OperationCalls, GeneratedKeysWork)
{
    CK_BYTE p256Oid[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
    CK_BYTE label[] = {'m', 'a', 'd', 'e'};
    CK_BBOOL yes = CK_TRUE;
    CK_ATTRIBUTE publicTemplate[] = {{CKA_EC_PARAMS, p256Oid, sizeof p256Oid}, {CKA_VERIFY, &yes, 1}};
    CK_ATTRIBUTE privateTemplate[] = {{CKA_LABEL, label, sizeof label}, {CKA_SIGN, &yes, 1}, {CKA_TOKEN, &yes, 1}};
    CK_MECHANISM ec = mech(CKM_EC_KEY_PAIR_GEN);
    CK_OBJECT_HANDLE publicKey = 0, privateKey = 0;
    ASSERT_EQ(p11->C_GenerateKeyPair(session, &ec, publicTemplate, 2, privateTemplate, 3, &publicKey, &privateKey),
              CKR_OK);
    EXPECT_EQ(publicKey, privateKey | 0x80000000u);
    const ObjectRecord& made = *library_state().slots[0].tokenObjects[privateKey - 1];
    const Bytes xy(made.cache, made.cache + made.cacheLength);
    const Bytes hash = openssl_digest("SHA256", message);
    EXPECT_TRUE(ecdsa_verifies(NID_X9_62_prime256v1, xy, hash, sign(CKM_ECDSA_SHA256, privateKey, message)));
    CK_MECHANISM sha256 = mech(CKM_ECDSA_SHA256);
    EXPECT_EQ(p11->C_SignInit(session, &sha256, publicKey), CKR_KEY_TYPE_INCONSISTENT);

    CK_ULONG length = 16;
    CK_ATTRIBUTE secretTemplate[] = {{CKA_VALUE_LEN, &length, sizeof length}};
    CK_MECHANISM aesGen = mech(CKM_AES_KEY_GEN);
    CK_OBJECT_HANDLE aes = 0;
    ASSERT_EQ(p11->C_GenerateKey(session, &aesGen, secretTemplate, 1, &aes), CKR_OK);
    const ObjectRecord& key = session_object(aes);
    const Bytes value(key.value, key.value + key.valueLength);
    ASSERT_EQ(value.size(), 16u);
    const Bytes plain(64, 0x77), iv(16, 3);
    EXPECT_EQ(cipher(true, mech(CKM_AES_CBC, const_cast<CK_BYTE_PTR>(iv.data()), 16), aes, plain),
              openssl_aes("CBC", value, iv, plain));
}

TEST_F(OperationCalls, RandomBytesFromTheDevice)
{
    Bytes out(500, 0);
    CommandRecorder recorder(*library_state().slots[0].connection);
    ASSERT_EQ(p11->C_GenerateRandom(session, out.data(), out.size()), CKR_OK);
    ASSERT_EQ(recorder.sent.size(), 3u);
    EXPECT_EQ(recorder.sent[2].request, Bytes{52});
    EXPECT_LT(std::count(out.begin(), out.end(), 0), 20);
}

}  // namespace
}  // namespace vlrp11::testing
