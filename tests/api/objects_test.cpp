// The object calls through the function table against a token whose device answers from a
// script: creation templates, sizes, attribute reading and setting, and the search.
#include "support/session_fixture.h"

#include "api/library_state.h"
#include "device/command_codes.h"
#include "objects/object_record.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vlrp11::testing {
namespace {

class ObjectCalls : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        record().flags |= CKF_RW_SESSION;
        // A directory with every entry free; writes succeed.
        fake_device().reply = Bytes(256, 0xFF);
    }

    CK_RV create(std::vector<CK_ATTRIBUTE> attributes, CK_OBJECT_HANDLE& handle)
    {
        return p11->C_CreateObject(session, attributes.data(), static_cast<CK_ULONG>(attributes.size()), &handle);
    }

    Bytes get(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type)
    {
        Bytes out(256);
        CK_ATTRIBUTE entry{type, out.data(), static_cast<CK_ULONG>(out.size())};
        EXPECT_EQ(p11->C_GetAttributeValue(session, handle, &entry, 1), CKR_OK) << std::hex << type;
        out.resize(entry.ulValueLen);
        return out;
    }

    std::vector<CK_OBJECT_HANDLE> find_all(std::vector<CK_ATTRIBUTE> attributes)
    {
        EXPECT_EQ(p11->C_FindObjectsInit(session, attributes.data(), static_cast<CK_ULONG>(attributes.size())),
                  CKR_OK);
        std::vector<CK_OBJECT_HANDLE> found(256);
        CK_ULONG count = 0;
        EXPECT_EQ(p11->C_FindObjects(session, found.data(), 256, &count), CKR_OK);
        found.resize(count);
        return found;
    }

    CK_OBJECT_CLASS dataClass = CKO_DATA, certificateClass = CKO_CERTIFICATE, privateClass = CKO_PRIVATE_KEY;
    CK_OBJECT_CLASS secretClass = CKO_SECRET_KEY;
    CK_KEY_TYPE aes = CKK_AES, ec = CKK_EC;
    CK_ULONG x509 = CKC_X_509, other = 1, category4 = 4;
    CK_BBOOL yes = CK_TRUE, no = CK_FALSE;
    std::uint32_t shortClass = CKO_DATA;
    std::uint8_t value[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::uint8_t modulus[8] = {};
};

TEST_F(ObjectCalls, CreationTemplateScreening)
{
    auto attr = [](CK_ATTRIBUTE_TYPE type, void* p, CK_ULONG length) { return CK_ATTRIBUTE{type, p, length}; };
    CK_ATTRIBUTE data = attr(CKA_CLASS, &dataClass, sizeof dataClass);
    CK_ATTRIBUTE val = attr(CKA_VALUE, value, sizeof value);
    struct Case {
        const char* what;
        std::vector<CK_ATTRIBUTE> attributes;
        CK_RV expected;
    };
    const std::vector<Case> cases = {
        {"data object", {data, val}, CKR_OK},
        {"private-key class", {attr(CKA_CLASS, &privateClass, sizeof privateClass), val}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"modulus after a good entry", {data, attr(CKA_MODULUS, modulus, sizeof modulus), val},
         CKR_ATTRIBUTE_TYPE_INVALID},
        {"EC point", {val, attr(CKA_EC_POINT, modulus, sizeof modulus)}, CKR_ATTRIBUTE_TYPE_INVALID},
        {"sensitive false", {data, attr(CKA_SENSITIVE, &no, 1), val}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"sensitive true", {data, attr(CKA_SENSITIVE, &yes, 1), val}, CKR_OK},
        {"class of 4 bytes", {attr(CKA_CLASS, &shortClass, sizeof shortClass), val},
         sizeof(CK_ULONG) == 4 ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID},
        {"token flag of 4 bytes", {data, attr(CKA_TOKEN, &shortClass, 4), val}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"null label with a length", {data, attr(CKA_LABEL, nullptr, 5), val}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"null value with a length", {data, attr(CKA_VALUE, nullptr, 16)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"value over 65534 bytes", {data, attr(CKA_VALUE, value, 65535)}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"no value", {data}, CKR_TEMPLATE_INCOMPLETE},
        {"certificate type other than X.509",
         {attr(CKA_CLASS, &certificateClass, sizeof certificateClass), attr(CKA_CERTIFICATE_TYPE, &other, sizeof other)},
         CKR_ATTRIBUTE_VALUE_INVALID},
        {"category 4", {attr(CKA_CERTIFICATE_CATEGORY, &category4, sizeof category4), val},
         CKR_ATTRIBUTE_VALUE_INVALID},
        {"EC key type", {attr(CKA_KEY_TYPE, &ec, sizeof ec), val}, CKR_ATTRIBUTE_VALUE_INVALID},
        {"AES key of 16 bytes",
         {attr(CKA_CLASS, &secretClass, sizeof secretClass), attr(CKA_KEY_TYPE, &aes, sizeof aes), val,
          attr(CKA_CERTIFICATE_TYPE, &x509, sizeof x509)},
         CKR_OK},
        {"unknown attribute ignored", {data, attr(0x7FFF0000, nullptr, 0), val}, CKR_OK},
    };
    for (const Case& c : cases) {
        CK_OBJECT_HANDLE handle = 77;
        EXPECT_EQ(create(c.attributes, handle), c.expected) << c.what;
        EXPECT_EQ(handle != 0 && handle != 77, c.expected == CKR_OK) << c.what;
    }
    EXPECT_TRUE(fake_device().sent.empty());

    CK_OBJECT_HANDLE handle = 0;
    EXPECT_EQ(p11->C_CreateObject(session, nullptr, 1, &handle), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_CreateObject(session, &data, 0, &handle), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_CreateObject(session, &data, 1, nullptr), CKR_ARGUMENTS_BAD);
    record().flags = CKF_SERIAL_SESSION;
    EXPECT_EQ(p11->C_CreateObject(session, &data, 1, &handle), CKR_SESSION_READ_ONLY);
    EXPECT_EQ(p11->C_DestroyObject(session, 0x8001), CKR_SESSION_READ_ONLY);
}

TEST_F(ObjectCalls, LabelsAreCutAndAMissingClassStays)
{
    char label[41] = "0123456789012345678901234567890123456789";
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create({{CKA_LABEL, label, 40}, {CKA_VALUE, value, sizeof value}}, handle), CKR_OK);
    EXPECT_EQ(get(handle, CKA_LABEL), Bytes(label, label + 32));
    CK_ULONG objectClass = 0;
    Bytes classBytes = get(handle, CKA_CLASS);
    ASSERT_EQ(classBytes.size(), sizeof objectClass);
    std::memcpy(&objectClass, classBytes.data(), sizeof objectClass);
    EXPECT_EQ(objectClass, CK_ULONG{0xFFFFFFFF});

    // A token object without a class is refused before anything reaches the device.
    EXPECT_EQ(create({{CKA_TOKEN, &yes, 1}, {CKA_VALUE, value, sizeof value}}, handle), CKR_ATTRIBUTE_VALUE_INVALID);
    EXPECT_TRUE(fake_device().sent.empty());
}

TEST_F(ObjectCalls, HsmsTakeNoPublicTokenObjects)
{
    library_state().slots[0].connection->kind = DEVICE_NETWORK_HSM;
    CK_OBJECT_HANDLE handle = 0;
    std::vector<CK_ATTRIBUTE> base = {{CKA_CLASS, &dataClass, sizeof dataClass},
                                      {CKA_TOKEN, &yes, 1},
                                      {CKA_VALUE, value, sizeof value}};
    EXPECT_EQ(create(base, handle), CKR_ATTRIBUTE_TYPE_INVALID);
    EXPECT_TRUE(fake_device().sent.empty());
    base.push_back({CKA_PRIVATE, &yes, 1});
    ASSERT_EQ(create(base, handle), CKR_OK);
    EXPECT_EQ(handle, 1u);
    // The listing, then one chunk written to the highest entry as a private data file.
    ASSERT_EQ(fake_device().sent.size(), 2u);
    EXPECT_EQ(fake_device().sent[1].code, CMD_WRITE_OBJECT);
    EXPECT_EQ(Bytes(fake_device().sent[1].request.begin(), fake_device().sent[1].request.begin() + 5),
              Bytes({63, 0x83, 63, 104 + sizeof value, 0}));
}

TEST_F(ObjectCalls, SizesInWholeStorageEntries)
{
    struct Case {
        std::uint32_t objectClass;
        std::uint8_t token;
        std::uint32_t valueLength;
        CK_ULONG size;
    };
    const Case cases[] = {
        {CKO_DATA, 1, 1000, 2040}, {CKO_DATA, 1, 2000, 4080}, {CKO_DATA, 1, 1936, 2040}, {CKO_DATA, 1, 1937, 4080},
        {CKO_CERTIFICATE, 1, 0, 2040}, {CKO_PRIVATE_KEY, 1, 0, 2040}, {CKO_SECRET_KEY, 1, 0, 2040},
        {CKO_DATA, 0, 2000, 0},
    };
    for (unsigned i = 0; i < std::size(cases); ++i) {
        ObjectRecord* object = add_token_object(slot, i, cases[i].objectClass);
        object->token = cases[i].token;
        object->valueLength = cases[i].valueLength;
        CK_ULONG size = 99;
        ASSERT_EQ(p11->C_GetObjectSize(session, i + 1, &size), CKR_OK);
        EXPECT_EQ(size, cases[i].size) << i;
    }
    CK_ULONG size = 0;
    EXPECT_EQ(p11->C_GetObjectSize(session, 1, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GetObjectSize(session, 40, &size), CKR_OBJECT_HANDLE_INVALID);
    EXPECT_EQ(p11->C_GetObjectSize(session, 0x80000002, &size), CKR_OBJECT_HANDLE_INVALID);
    EXPECT_EQ(p11->C_GetObjectSize(session, 0x80000006, &size), CKR_OK);
}

TEST_F(ObjectCalls, AttributeReadsAnswerEveryEntryAndReportTheLastRefusal)
{
    CK_OBJECT_HANDLE key = session_key(0, CKO_SECRET_KEY, 11, Bytes(16, 0x5A));
    CK_ULONG objectClass = 0, keyType = 0;
    std::uint8_t secret[16], tiny[1];
    struct Case {
        const char* what;
        std::vector<CK_ATTRIBUTE> entries;
        CK_RV expected;
    };
    const std::vector<Case> cases = {
        {"sensitive among valid ones",
         {{CKA_CLASS, &objectClass, sizeof objectClass}, {CKA_VALUE, secret, sizeof secret},
          {CKA_KEY_TYPE, &keyType, sizeof keyType}},
         CKR_ATTRIBUTE_SENSITIVE},
        {"sensitive, then too small", {{CKA_VALUE, secret, 16}, {CKA_LABEL, nullptr, 0}, {CKA_CLASS, tiny, 1}},
         CKR_BUFFER_TOO_SMALL},
        {"too small, then unknown", {{CKA_CLASS, tiny, 1}, {CKA_MODULUS, secret, 16}}, CKR_ATTRIBUTE_TYPE_INVALID},
    };
    for (Case c : cases) {
        EXPECT_EQ(p11->C_GetAttributeValue(session, key, c.entries.data(), static_cast<CK_ULONG>(c.entries.size())),
                  c.expected)
            << c.what;
        for (const CK_ATTRIBUTE& entry : c.entries) {
            if (entry.type == CKA_VALUE) {
                EXPECT_EQ(entry.ulValueLen, CK_UNAVAILABLE_INFORMATION) << c.what;
            }
        }
    }
    EXPECT_EQ(objectClass, CKO_SECRET_KEY);
    EXPECT_EQ(keyType, CKK_AES);
    CK_ATTRIBUTE entry{CKA_CLASS, &objectClass, sizeof objectClass};
    EXPECT_EQ(p11->C_GetAttributeValue(session, key, nullptr, 1), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GetAttributeValue(session, key, &entry, 0), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GetAttributeValue(session, 0x8009, &entry, 1), CKR_OBJECT_HANDLE_INVALID);
}

TEST_F(ObjectCalls, SettingSucceedsOnlyWithTheValuesTheObjectHas)
{
    char label[] = "label";
    CK_OBJECT_HANDLE handle = 0;
    ASSERT_EQ(create({{CKA_LABEL, label, 5}, {CKA_VALUE, value, sizeof value}}, handle), CKR_OK);
    CK_ATTRIBUTE same{CKA_LABEL, label, 5};
    char other[] = "other";
    CK_ATTRIBUTE different{CKA_LABEL, other, 5};
    EXPECT_EQ(p11->C_SetAttributeValue(session, handle, &same, 1), CKR_OK);
    EXPECT_EQ(p11->C_SetAttributeValue(session, handle, &different, 1), CKR_ATTRIBUTE_READ_ONLY);
    EXPECT_EQ(get(handle, CKA_LABEL), Bytes(label, label + 5));
    EXPECT_EQ(p11->C_SetAttributeValue(session, handle, nullptr, 1), CKR_ARGUMENTS_BAD);
    record().flags = CKF_SERIAL_SESSION;
    EXPECT_EQ(p11->C_SetAttributeValue(session, handle, &same, 1), CKR_SESSION_READ_ONLY);
}

TEST_F(ObjectCalls, SearchListsTokenThenSessionObjectsWithPublicViews)
{
    token_key(0, CKO_PRIVATE_KEY, 1, 5);
    token_key(2, CKO_SECRET_KEY, 11, 6);
    ObjectRecord* hidden = add_token_object(slot, 3, CKO_PRIVATE_KEY);
    hidden->publicViewHidden = 1;
    session_key(1, CKO_DATA, 0, Bytes(3, 1));
    add_session_object(open_fake_session(slot, 1), 0, CKO_DATA);  // another session's: never listed
    EXPECT_EQ(find_all({}), std::vector<CK_OBJECT_HANDLE>({1, 0x80000001, 3, 4, 0x8002}));
    CK_OBJECT_CLASS publicClass = CKO_PUBLIC_KEY;
    EXPECT_EQ(find_all({{CKA_CLASS, &publicClass, sizeof publicClass}}), std::vector<CK_OBJECT_HANDLE>({0x80000001}));

    // A null template matches everything without a count, and is refused with one.
    EXPECT_EQ(p11->C_FindObjectsInit(session, nullptr, 0), CKR_OK);
    EXPECT_EQ(record().findCount, 5u);
    EXPECT_EQ(p11->C_FindObjectsInit(session, nullptr, 2), CKR_ARGUMENTS_BAD);
}

TEST_F(ObjectCalls, ResultsComeInPortions)
{
    for (unsigned i = 0; i < 5; ++i)
        session_key(i, CKO_DATA, 0, Bytes(1, 1));
    CK_OBJECT_HANDLE found[2];
    CK_ULONG count = 9;
    // Without a search nothing comes back.
    ASSERT_EQ(p11->C_FindObjects(session, found, 2, &count), CKR_OK);
    EXPECT_EQ(count, 0u);
    ASSERT_EQ(p11->C_FindObjectsInit(session, nullptr, 0), CKR_OK);
    for (CK_ULONG expected : {2u, 2u, 1u, 0u}) {
        ASSERT_EQ(p11->C_FindObjects(session, found, 2, &count), CKR_OK);
        EXPECT_EQ(count, expected);
    }
    EXPECT_EQ(p11->C_FindObjects(session, found, 0, &count), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_FindObjects(session, nullptr, 2, &count), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_FindObjects(session, found, 2, nullptr), CKR_ARGUMENTS_BAD);
    ASSERT_EQ(p11->C_FindObjectsInit(session, nullptr, 0), CKR_OK);
    ASSERT_EQ(p11->C_FindObjectsFinal(session), CKR_OK);
    ASSERT_EQ(p11->C_FindObjects(session, found, 2, &count), CKR_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(ObjectCalls, SearchStopsAtItsListOf128)
{
    // 64 private keys with their public views and 64 session objects: 192 candidates.
    for (unsigned i = 0; i < 64; ++i) {
        add_token_object(slot, i, CKO_PRIVATE_KEY);
        add_session_object(session, i, CKO_DATA);
    }
    ASSERT_EQ(p11->C_FindObjectsInit(session, nullptr, 0), CKR_OK);
    EXPECT_EQ(record().findCount, 128u);
    std::vector<CK_OBJECT_HANDLE> found(200);
    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_FindObjects(session, found.data(), 200, &count), CKR_OK);
    ASSERT_EQ(count, 128u);
    EXPECT_EQ(found[127], 0x80000040u);
}

}  // namespace
}  // namespace vlrp11::testing
