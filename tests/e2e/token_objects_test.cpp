// Object records against the simulator's device core: the loader reads what the device's own
// personalisation placed, and every attribute answer is checked against what the device (or
// OpenSSL) says the object is.
#include "support/device_objects.h"

#include "core/provisioning.h"
#include "core/sample_certificates.h"
#include "device/connect.h"
#include "device/connection_close.h"
#include "device/device_commands.h"
#include "device/session_setup.h"
#include "objects/attributes.h"
#include "objects/object_record.h"
#include "objects/token_objects.h"
#include "vlrp11/pkcs11_vendor.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

namespace vlrp11::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes text(const char* s)
{
    return Bytes(s, s + std::strlen(s));
}

// Where the test objects lie on the device (partition 0 of every kind).
enum Index : std::uint8_t {
    PUBLIC_DATA = 63,
    LONG_CERTIFICATE = 62,  // and 61, 60
    EMPTY_DATA = 59,
    KEY_CERTIFICATE = 58,
    EC_P256 = 3,
    EC_P521 = 4,
    DSTU_431 = 5,
    RSA_2048 = 6,
    AES_128 = 7,
};

constexpr std::size_t LONG_CERTIFICATE_BYTES = 5000;

// The device's own personalisation places the test objects before the library connects, and
// nothing logs in until a test does.
class TokenObjects : public DeviceObjects {
protected:
    void SetUp() override
    {
        simulated = std::make_unique<SimulatedDevice>(profile());
        ASSERT_NE(simulated->device, nullptr);
        std::string error;
        ASSERT_TRUE(simulated->device->provision_objects(0, [this](sim::ObjectStore& store) { return place(store); },
                                                         error))
            << error;
        open_session();
    }

    bool place(sim::ObjectStore& store)
    {
        using namespace sim;
        Bytes value = text("public data");
        KeyHeader header = object_header(0xFF, 0xFF, 0, 0xFF, text("data-1"), "Public data", "tests");
        if (!place_file(store, PUBLIC_DATA, kStatePublicData, header, value))
            return false;
        if (!place_file(store, EMPTY_DATA, kStatePrivateData, object_header(0xFF, 0xFF, 0, 0xFF, {}, "Empty"), {}))
            return false;
        ec_p256_public = place_key_pair(store, EC_P256, object_header(1, 0x04, 4, 0, text("p256"), "P-256"));
        ec_p521_public = place_key_pair(store, EC_P521, object_header(1, 0, 16, 0, text("p521"), "P-521"));
        dstu_public = place_key_pair(store, DSTU_431, object_header(6, 0, 36, 0, text("dstu"), "DSTU 431"));
        rsa_public = place_key_pair(store, RSA_2048, object_header(8, 0, 2048, 0, text("rsa"), "RSA"));
        Bytes aes(16, 0x5A);
        if (ec_p256_public.empty() || ec_p521_public.empty() || dstu_public.empty() || rsa_public.empty() ||
            !place_secret_key(store, AES_128, object_header(11, 0x10, 0xFFFF, 16, text("aes"), "AES"), aes))
            return false;

        EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        long_certificate = make_sample_certificate({key, "Long", 7, LONG_CERTIFICATE_BYTES}).der;
        key_certificate = make_sample_certificate({key, "Short", 8}).der;
        EVP_PKEY_free(key);
        return long_certificate.size() == LONG_CERTIFICATE_BYTES &&
               place_file(store, LONG_CERTIFICATE, kStatePrivateCertificate, object_header(0, 1, 0, 0, {}, "Long"),
                          long_certificate) &&
               place_file(store, KEY_CERTIFICATE, kStatePrivateCertificate, object_header(0, 0xFF, 0, 0, {}, "Short"),
                          key_certificate);
    }

    // The handle of the loaded object stored at a directory index; 0 when none is.
    CK_OBJECT_HANDLE handle_at(std::uint8_t index)
    {
        for (unsigned i = 0; i < OBJECTS_PER_TABLE; ++i)
            if (tokens[i] != nullptr && tokens[i]->deviceIndex == index)
                return i + 1;
        return 0;
    }

    CK_ULONG ulong_attribute(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type)
    {
        Bytes out = attribute(handle, type);
        CK_ULONG value = 0;
        EXPECT_EQ(out.size(), sizeof value);
        std::memcpy(&value, out.data(), std::min(out.size(), sizeof value));
        return value;
    }

    Bytes ec_p256_public, ec_p521_public, dstu_public, rsa_public;
    Bytes long_certificate, key_certificate;
};

TEST_P(TokenObjects, PublicPassThenLoginLoadsEachObjectOnce)
{
    ASSERT_EQ(refresh_token_objects(*connection, tokens, true), CKR_OK);
    // Only a token shows objects before login, and only its public ones.
    EXPECT_EQ(loaded(), GetParam() == sim::DeviceKind::token ? 1u : 0u);

    login_user();
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    unsigned expected = GetParam() == sim::DeviceKind::token ? 9 : 8;
    EXPECT_EQ(loaded(), expected);
    // A second reload while the user stays logged in (a logout that failed) adds nothing.
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    EXPECT_EQ(loaded(), expected);

    CK_OBJECT_HANDLE certificate = handle_at(LONG_CERTIFICATE);
    ASSERT_NE(certificate, 0u);
    EXPECT_EQ(attribute(certificate, CKA_VALUE), long_certificate);
    EXPECT_EQ(ulong_attribute(certificate, CKA_CLASS), CKO_CERTIFICATE);
    EXPECT_EQ(ulong_attribute(certificate, CKA_CERTIFICATE_CATEGORY), 1u);
    EXPECT_EQ(attribute(handle_at(EMPTY_DATA), CKA_VALUE), Bytes{});
    EXPECT_EQ(attribute(handle_at(EMPTY_DATA), CKA_PRIVATE), Bytes{1});

    // Logging out drops the private objects again.
    ASSERT_EQ(logout(*connection), DEVICE_OK);
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    EXPECT_EQ(loaded(), GetParam() == sim::DeviceKind::token ? 1u : 0u);
}

TEST_P(TokenObjects, KeysAnswerWhatTheDeviceHolds)
{
    login_user();
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    CK_OBJECT_HANDLE p256 = handle_at(EC_P256);
    ASSERT_NE(p256, 0u);
    CK_OBJECT_HANDLE p256_public = p256 | PUBLIC_VIEW_BIT;

    EXPECT_EQ(ulong_attribute(p256, CKA_CLASS), CKO_PRIVATE_KEY);
    EXPECT_EQ(ulong_attribute(p256_public, CKA_CLASS), CKO_PUBLIC_KEY);
    EXPECT_EQ(ulong_attribute(p256_public, CKA_KEY_TYPE), CKK_EC);
    EXPECT_EQ(attribute(p256, CKA_LOCAL), Bytes{1});
    EXPECT_EQ(attribute(p256_public, CKA_LOCAL), Bytes{0});
    EXPECT_EQ(attribute(p256, CKA_DERIVE), Bytes{1});
    EXPECT_EQ(attribute(p256, CKA_EC_PARAMS), (Bytes{0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07}));
    Bytes point = {0x04, 0x41, 0x04};
    point.insert(point.end(), ec_p256_public.begin(), ec_p256_public.end());
    EXPECT_EQ(attribute(p256_public, CKA_EC_POINT), point);

    Bytes p521_point = attribute(handle_at(EC_P521) | PUBLIC_VIEW_BIT, CKA_EC_POINT);
    ASSERT_EQ(p521_point.size(), 136u);
    EXPECT_EQ(Bytes(p521_point.begin(), p521_point.begin() + 4), (Bytes{0x04, 0x81, 0x85, 0x04}));
    EXPECT_TRUE(std::equal(ec_p521_public.begin(), ec_p521_public.end(), p521_point.begin() + 4));

    CK_OBJECT_HANDLE dstu = handle_at(DSTU_431);
    EXPECT_EQ(ulong_attribute(dstu, CKA_KEY_TYPE), CKK_DSTU4145);
    Bytes params = attribute(dstu, CKA_EC_PARAMS);
    ASSERT_EQ(params.size(), 83u);
    EXPECT_EQ(params[16], 9);  // last arc of the curve OID
    Bytes dstu_point = {0x04, static_cast<std::uint8_t>(dstu_public.size())};
    dstu_point.insert(dstu_point.end(), dstu_public.begin(), dstu_public.end());
    EXPECT_EQ(attribute(dstu | PUBLIC_VIEW_BIT, CKA_EC_POINT), dstu_point);

    // The device's RSAPublicKey holds a 257-byte modulus (a sign byte before 256 bytes).
    CK_OBJECT_HANDLE rsa = handle_at(RSA_2048) | PUBLIC_VIEW_BIT;
    const unsigned char* der = rsa_public.data();
    EVP_PKEY* openssl_key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &der, static_cast<long>(rsa_public.size()));
    ASSERT_NE(openssl_key, nullptr);
    BIGNUM* n = nullptr;
    EVP_PKEY_get_bn_param(openssl_key, "n", &n);
    Bytes modulus(256);
    BN_bn2binpad(n, modulus.data(), 256);
    BN_free(n);
    EVP_PKEY_free(openssl_key);
    EXPECT_EQ(attribute(rsa, CKA_MODULUS), modulus);
    EXPECT_EQ(ulong_attribute(rsa, CKA_MODULUS_BITS), 2048u);
    EXPECT_EQ(attribute(rsa, CKA_PUBLIC_EXPONENT), (Bytes{0x01, 0x00, 0x01}));
    Bytes unused;
    EXPECT_EQ(get(rsa & ~PUBLIC_VIEW_BIT, CKA_PRIVATE_EXPONENT, unused), CKR_ATTRIBUTE_SENSITIVE);

    CK_OBJECT_HANDLE aes = handle_at(AES_128);
    EXPECT_EQ(ulong_attribute(aes, CKA_CLASS), CKO_SECRET_KEY);
    EXPECT_EQ(ulong_attribute(aes, CKA_KEY_TYPE), CKK_AES);
    EXPECT_EQ(ulong_attribute(aes, CKA_VALUE_LEN), 16u);
    EXPECT_EQ(get(aes, CKA_VALUE, unused), CKR_ATTRIBUTE_SENSITIVE);
    EXPECT_EQ(get(aes | PUBLIC_VIEW_BIT, CKA_CLASS, unused), CKR_OBJECT_HANDLE_INVALID);
}

TEST_P(TokenObjects, KeyDeviceDataCarriesTheAttestationAndTheDeviceCertificate)
{
    login_user();
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    Bytes data = attribute(handle_at(EC_P256), CKA_KEY_DEVICE_DATA);
    ASSERT_EQ(data.size(), 4u + 206u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 6), (Bytes{1, 4, 'p', '2', '5', '6'}));
    EXPECT_TRUE(std::equal(data.end() - 140, data.end(), connection->device_certificate));
}

TEST_P(TokenObjects, CertificateAttributesAgreeWithOpenSsl)
{
    login_user();
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    CK_OBJECT_HANDLE handle = handle_at(KEY_CERTIFICATE);
    const unsigned char* p = key_certificate.data();
    X509* certificate = d2i_X509(nullptr, &p, static_cast<long>(key_certificate.size()));
    ASSERT_NE(certificate, nullptr);
    unsigned char* subject = nullptr;
    int subject_length = i2d_X509_NAME(X509_get_subject_name(certificate), &subject);
    EXPECT_EQ(attribute(handle, CKA_SUBJECT), Bytes(subject, subject + subject_length));
    EXPECT_EQ(attribute(handle, CKA_ISSUER), Bytes(subject, subject + subject_length));
    OPENSSL_free(subject);
    const ASN1_OCTET_STRING* key_id = X509_get0_subject_key_id(certificate);
    Bytes identifier(key_id->data, key_id->data + key_id->length);
    EXPECT_EQ(attribute(handle, CKA_HASH_OF_SUBJECT_PUBLIC_KEY), identifier);
    EXPECT_EQ(attribute(handle, CKA_HASH_OF_ISSUER_PUBLIC_KEY), identifier);
    EXPECT_EQ(ulong_attribute(handle, CKA_NAME_HASH_ALGORITHM), CKM_SHA_1);
    EXPECT_EQ(attribute(handle, CKA_SERIAL_NUMBER), Bytes{8});
    EXPECT_EQ(ulong_attribute(handle, CKA_CERTIFICATE_CATEGORY), 0u);
    Bytes sha1(SHA_DIGEST_LENGTH);
    SHA1(key_certificate.data(), key_certificate.size(), sha1.data());
    EXPECT_EQ(attribute(handle, CKA_CHECK_VALUE), Bytes(sha1.begin(), sha1.begin() + 3));
    Bytes start = attribute(handle, CKA_START_DATE);
    ASSERT_EQ(start.size(), 8u);
    std::tm not_before{};
    ASN1_TIME_to_tm(X509_get0_notBefore(certificate), &not_before);
    char expected[40];
    std::snprintf(expected, sizeof expected, "%04d%02d%02d", not_before.tm_year + 1900, not_before.tm_mon + 1,
                  not_before.tm_mday);
    EXPECT_EQ(std::string(start.begin(), start.end()), expected);
    X509_free(certificate);
}

TEST_P(TokenObjects, UniqueIdsTellObjectsAndViewsApartAndSurviveAReload)
{
    login_user();
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    CK_OBJECT_HANDLE key = handle_at(EC_P256);
    Bytes id = attribute(key, CKA_UNIQUE_ID);
    ASSERT_EQ(id.size(), 32u);
    EXPECT_TRUE(std::all_of(id.begin(), id.end(), [](std::uint8_t c) { return std::isxdigit(c) && !std::islower(c); }));
    EXPECT_NE(attribute(key | PUBLIC_VIEW_BIT, CKA_UNIQUE_ID), id);
    EXPECT_NE(attribute(handle_at(EC_P521), CKA_UNIQUE_ID), id);
    release_table(tokens);
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    EXPECT_EQ(attribute(handle_at(EC_P256), CKA_UNIQUE_ID), id);
}

TEST_P(TokenObjects, TemplatesMatchOnWhatTheObjectAnswers)
{
    login_user();
    ASSERT_EQ(refresh_token_objects(*connection, tokens, false), CKR_OK);
    CK_OBJECT_HANDLE key = handle_at(EC_P256);
    CK_OBJECT_CLASS public_class = CKO_PUBLIC_KEY;
    CK_BBOOL is_false = CK_FALSE;
    char label[] = "P-256";
    CK_ATTRIBUTE view[] = {{CKA_CLASS, &public_class, sizeof public_class},
                           {CKA_PRIVATE, &is_false, 1},  // not compared on a public view
                           {CKA_LABEL, label, 5},
                           {CKA_ID, nullptr, 99}};       // no value: ignored
    EXPECT_TRUE(match_template(context(), key | PUBLIC_VIEW_BIT, view, 4));
    EXPECT_FALSE(match_template(context(), key, view, 4));
    CK_ATTRIBUTE other_label[] = {{CKA_LABEL, label, 4}};
    EXPECT_FALSE(match_template(context(), key, other_label, 1));
    EXPECT_TRUE(match_template(context(), key, nullptr, 0));
    CK_ATTRIBUTE missing[] = {{CKA_MODULUS, label, 5}};
    EXPECT_FALSE(match_template(context(), key, missing, 1));
}

// This model pads a P-521 point to 136 bytes; the library takes 132 of them.
TEST(PaddedPublicKey, Model1000Firmware1SendsFourBytesTooMany)
{
    sim::DeviceProfile profile = profile_for(sim::DeviceKind::pcsc_hsm, 1000);
    profile.model = 1000;
    profile.version = 1;
    SimulatedDevice simulated(profile);
    ASSERT_NE(simulated.device, nullptr);
    Bytes point;
    std::string error;
    ASSERT_TRUE(simulated.device->provision_objects(0, [&](sim::ObjectStore& store) {
        point = sim::place_key_pair(store, 0, sim::object_header(1, 0, 16, 0, {}, "P-521"));
        return !point.empty();
    }, error)) << error;
    SimulatedCard card(*simulated.device);
    ConnectionPtr connection = connect_pcsc(1, DEVICE_PCSC_HSM, 0);
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, reinterpret_cast<const std::uint8_t*>(USER_PIN), std::strlen(USER_PIN)),
              DEVICE_OK);
    ObjectTable table{};
    ASSERT_EQ(refresh_token_objects(*connection, table, false), CKR_OK);
    ObjectContext context{connection.get(), &table, nullptr};
    std::uint8_t answer[200];
    CK_ATTRIBUTE entry{CKA_EC_POINT, answer, sizeof answer};
    ASSERT_EQ(get_attribute(context, 1 | PUBLIC_VIEW_BIT, entry), CKR_OK);
    ASSERT_EQ(entry.ulValueLen, 136u);
    EXPECT_TRUE(std::equal(point.begin(), point.end(), answer + 4));
    release_table(table);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, TokenObjects,
                         ::testing::ValuesIn(all_kinds), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
