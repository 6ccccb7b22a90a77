// Attribute answers of records built by hand; the device-backed answers are tested against the
// simulator (tests/e2e/token_objects_test.cpp).
#include "objects/attributes.h"
#include "objects/object_record.h"
#include "device/device_connection.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vlrp11 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ulong_bytes(CK_ULONG value)
{
    Bytes out(sizeof value);
    std::memcpy(out.data(), &value, sizeof value);
    return out;
}

// Token objects 1..4 and session objects 0x8001..0x8002 of one device.
class Attributes : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection.device_info[0] = 0x11;
        ObjectRecord* data = add(tokenObjects, 0, CKO_DATA);
        data->token = 1;
        data->header.labelLength = 200;  // a device header claiming more than the field holds
        std::memcpy(data->header.label, "0123456789abcdef0123456789abcdef", 32);
        ASSERT_EQ(set_object_value(*data, reinterpret_cast<const std::uint8_t*>("abc"), 3), CKR_OK);

        ObjectRecord* key = add(tokenObjects, 1, CKO_PRIVATE_KEY);
        key->token = 1;
        key->isPrivate = 1;
        key->header.keyKind = 1;
        key->header.flags = 0x80;
        key->header.length[0] = 5;  // no such curve

        ObjectRecord* hidden = add(tokenObjects, 2, CKO_PRIVATE_KEY);
        hidden->header.keyKind = 7;
        hidden->publicViewHidden = 1;

        ObjectRecord* odd = add(tokenObjects, 3, CKO_PRIVATE_KEY);
        odd->header.keyKind = 9;  // a private kind without a key type

        ObjectRecord* secret = add(sessionObjects, 0, CKO_SECRET_KEY);
        secret->header.keyKind = 12;
        secret->header.flags = 0x10;
        secret->header.secretKeyLength = 16;
        const std::uint8_t bytes[16] = {9, 8, 7};
        ASSERT_EQ(set_object_value(*secret, bytes, sizeof bytes), CKR_OK);

        // Marked extractable, but the bytes of a device-held key never leave the device.
        ObjectRecord* device_secret = add(sessionObjects, 1, CKO_SECRET_KEY);
        device_secret->token = 1;
        device_secret->header.keyKind = 40;
        device_secret->header.flags = 0x90;
        device_secret->header.secretKeyLength = 32;
    }

    void TearDown() override
    {
        release_table(tokenObjects);
        release_table(sessionObjects);
    }

    ObjectRecord* add(ObjectTable& table, unsigned index, std::uint32_t objectClass)
    {
        table[index] = allocate_object();
        table[index]->objectClass = objectClass;
        return table[index];
    }

    ObjectContext context() { return ObjectContext{&connection, &tokenObjects, &sessionObjects}; }

    DeviceConnection connection{};
    ObjectTable tokenObjects{};
    ObjectTable sessionObjects{};
};

struct AnswerCase {
    CK_OBJECT_HANDLE handle;
    CK_ATTRIBUTE_TYPE type;
    CK_RV rv;
    Bytes value;  // expected bytes when rv is CKR_OK
};

const AnswerCase answer_cases[] = {
    {1, CKA_CLASS, CKR_OK, ulong_bytes(CKO_DATA)},
    {1, CKA_TOKEN, CKR_OK, {1}},
    {1, CKA_VALUE, CKR_OK, {'a', 'b', 'c'}},
    {1, CKA_LABEL, CKR_OK, Bytes(reinterpret_cast<const std::uint8_t*>("0123456789abcdef0123456789abcdef"),
                                 reinterpret_cast<const std::uint8_t*>("0123456789abcdef0123456789abcdef") + 32)},
    {1, CKA_ID, CKR_OK, {}},
    {1, CKA_KEY_TYPE, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {1, CKA_SUBJECT, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {1, CKA_DESTROYABLE, CKR_OK, {1}},
    {2, CKA_KEY_TYPE, CKR_OK, ulong_bytes(CKK_EC)},
    {2, CKA_SENSITIVE, CKR_OK, {1}},
    {2, CKA_SIGN_RECOVER, CKR_OK, {0}},
    {2, CKA_LOCAL, CKR_OK, {1}},
    {2, CKA_NEVER_EXTRACTABLE, CKR_OK, {1}},
    {2, CKA_VALUE, CKR_ATTRIBUTE_SENSITIVE, {}},
    {2, CKA_DERIVE, CKR_OK, {0}},
    {2, CKA_EC_PARAMS, CKR_DEVICE_ERROR, {}},
    {2, CKA_MODULUS, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {2 | PUBLIC_VIEW_BIT, CKA_CLASS, CKR_OK, ulong_bytes(CKO_PUBLIC_KEY)},
    {2 | PUBLIC_VIEW_BIT, CKA_VERIFY, CKR_OK, {1}},
    {2 | PUBLIC_VIEW_BIT, CKA_LOCAL, CKR_OK, {0}},
    {2 | PUBLIC_VIEW_BIT, CKA_SENSITIVE, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {2 | PUBLIC_VIEW_BIT, CKA_ENCRYPT, CKR_OK, {0}},
    {2 | 0x7FFF0000, CKA_TOKEN, CKR_OK, {1}},  // bits 16..30 are ignored
    {3, CKA_CLASS, CKR_OK, ulong_bytes(CKO_PRIVATE_KEY)},
    {3 | PUBLIC_VIEW_BIT, CKA_CLASS, CKR_OBJECT_HANDLE_INVALID, {}},
    {4, CKA_KEY_TYPE, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {4, CKA_EC_POINT, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {1 | PUBLIC_VIEW_BIT, CKA_CLASS, CKR_OBJECT_HANDLE_INVALID, {}},
    {0, CKA_CLASS, CKR_OBJECT_HANDLE_INVALID, {}},
    {5, CKA_CLASS, CKR_OBJECT_HANDLE_INVALID, {}},
    {65, CKA_CLASS, CKR_OBJECT_HANDLE_INVALID, {}},
    {0x8000, CKA_CLASS, CKR_OBJECT_HANDLE_INVALID, {}},
    {0x8001, CKA_KEY_TYPE, CKR_OK, ulong_bytes(CKK_KALYNA_128)},
    {0x8001, CKA_VALUE, CKR_OK, {9, 8, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {0x8001, CKA_VALUE_LEN, CKR_OK, ulong_bytes(16)},
    {0x8001, CKA_VENDOR_VALUE_LEN, CKR_OK, ulong_bytes(16)},
    {0x8001, CKA_CHECK_VALUE, CKR_OK, {0xFF, 0xFF, 0xFF}},
    {0x8001, CKA_EXTRACTABLE, CKR_OK, {1}},
    {0x8001, CKA_ALWAYS_SENSITIVE, CKR_OK, {0}},
    {0x8001, CKA_DERIVE, CKR_ATTRIBUTE_TYPE_INVALID, {}},
    {0x8002, CKA_KEY_TYPE, CKR_OK, ulong_bytes(CKK_GOST28147)},
    {0x8002, CKA_VALUE, CKR_ATTRIBUTE_SENSITIVE, {}},
    {0x8002, CKA_LOCAL, CKR_OK, {1}},
    {0x8002, CKA_WRAP, CKR_OK, {1}},
};

TEST_F(Attributes, AnswerTable)
{
    for (const AnswerCase& c : answer_cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << "handle " << c.handle << " attribute " << c.type);
        std::uint8_t buffer[64];
        CK_ATTRIBUTE entry{c.type, buffer, sizeof buffer};
        ASSERT_EQ(get_attribute(context(), c.handle, entry), c.rv);
        if (c.rv == CKR_OK) {
            EXPECT_EQ(Bytes(buffer, buffer + entry.ulValueLen), c.value);
        } else if (c.rv == CKR_ATTRIBUTE_TYPE_INVALID || c.rv == CKR_ATTRIBUTE_SENSITIVE) {
            EXPECT_EQ(entry.ulValueLen, CK_UNAVAILABLE_INFORMATION);
        }
    }
}

TEST_F(Attributes, LengthQueriesAndShortBuffers)
{
    CK_ATTRIBUTE query{CKA_UNIQUE_ID, nullptr, 0};
    ASSERT_EQ(get_attribute(context(), 1, query), CKR_OK);
    EXPECT_EQ(query.ulValueLen, 32u);
    char id[32];
    CK_ATTRIBUTE shorter{CKA_UNIQUE_ID, id, 31};
    EXPECT_EQ(get_attribute(context(), 1, shorter), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(shorter.ulValueLen, 32u);
    CK_ATTRIBUTE exact{CKA_UNIQUE_ID, id, 32};
    ASSERT_EQ(get_attribute(context(), 1, exact), CKR_OK);
    for (char c : id)
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << c;

    // The EC parameters check the buffer before they set the length.
    tokenObjects[1]->header.length[0] = 4;
    std::uint8_t params[9];
    CK_ATTRIBUTE small{CKA_EC_PARAMS, params, sizeof params};
    EXPECT_EQ(get_attribute(context(), 2, small), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(small.ulValueLen, sizeof params);
    CK_ATTRIBUTE label{CKA_LABEL, params, sizeof params};
    EXPECT_EQ(get_attribute(context(), 1, label), CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(label.ulValueLen, 32u);
}

TEST_F(Attributes, UniqueIdsOfSessionObjectsDiffer)
{
    char first[UNIQUE_ID_CHARS];
    char second[UNIQUE_ID_CHARS];
    unique_id(context(), *sessionObjects[0], false, first);
    unique_id(context(), *sessionObjects[1], false, second);
    EXPECT_NE(std::string(first, sizeof first), std::string(second, sizeof second));
    // A token object's ID depends on its view.
    unique_id(context(), *tokenObjects[1], false, first);
    unique_id(context(), *tokenObjects[1], true, second);
    EXPECT_NE(std::string(first, sizeof first), std::string(second, sizeof second));
}

}  // namespace
}  // namespace vlrp11
