// The object calls through the function table against one simulated device of each kind: a
// chained data object, a certificate taking its key's ID, the search with public views, and a
// private key destroyed with its certificates.
#include "support/module_on_device.h"
#include "support/session_calls.h"

#include "api/function_table.h"
#include "core/provisioning.h"
#include "core/sample_certificates.h"

#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace vlrp11::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ObjectCallsOnDevice : public ModuleOnDevice {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(make_device(profile_for(GetParam(), 5150)));
        EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        certificate = sim::make_sample_certificate({key, "Owned", 3});
        EVP_PKEY_free(key);
        std::string error;
        ASSERT_TRUE(simulated->device->provision_objects(
            0,
            [this](sim::ObjectStore& store) {
                return !sim::place_key_pair(store, 2, sim::object_header(1, 0, 4, 0, certificate.key_identifier, "k"))
                            .empty();
            },
            error))
            << error;
        attach();
        ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
        ASSERT_EQ(p11->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(USER_PIN)),
                               std::strlen(USER_PIN)),
                  CKR_OK);
    }

    std::vector<CK_OBJECT_HANDLE> find(CK_ATTRIBUTE* attributes, CK_ULONG count)
    {
        return find_objects(p11, session, attributes, count);
    }

    sim::SampleCertificate certificate;
    CK_SESSION_HANDLE session = 0;
};

TEST_P(ObjectCallsOnDevice, CreateFindAndDestroy)
{
    CK_OBJECT_CLASS dataClass = CKO_DATA, certificateClass = CKO_CERTIFICATE, privateClass = CKO_PRIVATE_KEY;
    CK_BBOOL yes = CK_TRUE;
    Bytes value(2000);
    for (std::size_t i = 0; i < value.size(); ++i)
        value[i] = static_cast<std::uint8_t>(i);
    char label[] = "two entries";
    CK_ATTRIBUTE data[] = {{CKA_CLASS, &dataClass, sizeof dataClass}, {CKA_TOKEN, &yes, 1}, {CKA_PRIVATE, &yes, 1},
                           {CKA_LABEL, label, sizeof label - 1}, {CKA_VALUE, value.data(), 2000}};
    CK_OBJECT_HANDLE object = 0;
    ASSERT_EQ(p11->C_CreateObject(session, data, 5, &object), CKR_OK);
    CK_ULONG size = 0;
    ASSERT_EQ(p11->C_GetObjectSize(session, object, &size), CKR_OK);
    EXPECT_EQ(size, 4080u);
    Bytes read(2000);
    CK_ATTRIBUTE readValue{CKA_VALUE, read.data(), 2000};
    ASSERT_EQ(p11->C_GetAttributeValue(session, object, &readValue, 1), CKR_OK);
    EXPECT_EQ(read, value);

    CK_ATTRIBUTE certificateTemplate[] = {{CKA_CLASS, &certificateClass, sizeof certificateClass},
                                          {CKA_TOKEN, &yes, 1},
                                          {CKA_PRIVATE, &yes, 1},
                                          {CKA_VALUE, certificate.der.data(), certificate.der.size()}};
    CK_OBJECT_HANDLE certificateHandle = 0;
    ASSERT_EQ(p11->C_CreateObject(session, certificateTemplate, 4, &certificateHandle), CKR_OK);

    // The key, its public view, the data object and the certificate; by ID the key pair and the
    // certificate.
    EXPECT_EQ(find(nullptr, 0).size(), 4u);
    CK_ATTRIBUTE byId{CKA_ID, certificate.key_identifier.data(), certificate.key_identifier.size()};
    std::vector<CK_OBJECT_HANDLE> owned = find(&byId, 1);
    ASSERT_EQ(owned.size(), 3u);
    CK_ATTRIBUTE byClass{CKA_CLASS, &privateClass, sizeof privateClass};
    std::vector<CK_OBJECT_HANDLE> keys = find(&byClass, 1);
    ASSERT_EQ(keys.size(), 1u);

    // The key goes with its certificate; the data object stays until it is destroyed itself.
    ASSERT_EQ(p11->C_DestroyObject(session, keys[0]), CKR_OK);
    EXPECT_EQ(find(nullptr, 0), std::vector<CK_OBJECT_HANDLE>({object}));
    ASSERT_EQ(p11->C_DestroyObject(session, object), CKR_OK);
    EXPECT_TRUE(find(nullptr, 0).empty());

    // A new session after logging in again reads the same (empty) directory back.
    ASSERT_EQ(p11->C_CloseAllSessions(1), CKR_OK);
    ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
    ASSERT_EQ(p11->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(USER_PIN)),
                           std::strlen(USER_PIN)),
              CKR_OK);
    EXPECT_TRUE(find(nullptr, 0).empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ObjectCallsOnDevice, ::testing::ValuesIn(all_kinds), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
