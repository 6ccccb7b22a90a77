// Sign set-up by mechanism and key, and the checks of the sign back end that come before the
// device is asked (the device steps run against the simulator in the end-to-end suite).
#include "device/device_connection.h"
#include "objects/sign_format.h"
#include "objects/sign_operation.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>

#include <vector>

namespace vlrp11 {
namespace {

DeviceConnection no_device{};  // present, never reached by these cases

ObjectRecord key_of(std::uint8_t kind, std::uint16_t size = 0, bool on_device = true)
{
    ObjectRecord key{};
    key.objectClass = kind <= 10 ? CKO_PRIVATE_KEY : CKO_SECRET_KEY;
    key.token = on_device ? 1 : 0;
    key.connection = on_device ? &no_device : nullptr;
    key.header.keyKind = kind;
    key.header.length[0] = static_cast<std::uint8_t>(size);
    key.header.length[1] = static_cast<std::uint8_t>(size >> 8);
    return key;
}

TEST(SignOperation, SetUpByMechanismAndKey)
{
    struct Case {
        CK_MECHANISM_TYPE mechanism;
        ObjectRecord key;
        CK_RV expected;
        HashKind hash;
    } cases[] = {
        {CKM_RSA_PKCS, key_of(8), CKR_OK, HASH_NONE},
        {CKM_SHA256_RSA_PKCS, key_of(7), CKR_OK, HashKind::sha256},
        {CKM_SHA3_224_RSA_PKCS, key_of(8), CKR_OK, HashKind::sha3_224},
        {CKM_ECDSA, key_of(1), CKR_OK, HASH_NONE},
        {CKM_ECDSA_SHA384, key_of(1), CKR_OK, HashKind::sha384},
        {CKM_DSTU4145, key_of(6), CKR_OK, HASH_NONE},
        {CKM_DSTU4145_KUPYNA_512, key_of(3), CKR_OK, HashKind::kupyna512},
        {CKM_DSTU4145_GOST34311, key_of(5), CKR_OK, HashKind::gost34311},
        {CKM_ECDSA, key_of(8), CKR_KEY_TYPE_INCONSISTENT, HASH_NONE},
        {CKM_SHA1_RSA_PKCS, key_of(1), CKR_KEY_TYPE_INCONSISTENT, HASH_NONE},
        {CKM_DSTU4145, key_of(2), CKR_KEY_TYPE_INCONSISTENT, HASH_NONE},
        {CKM_ECDSA_SHA256, key_of(1, 4, false), CKR_KEY_TYPE_INCONSISTENT, HASH_NONE},
        // The MAC mechanisms pass the key check, then the hash set-up refuses them.
        {CKM_AES_MAC, key_of(11), CKR_MECHANISM_INVALID, HASH_NONE},
        {CKM_AES_GMAC, key_of(11, 0, false), CKR_MECHANISM_INVALID, HASH_NONE},
        {CKM_GOST28147_MAC, key_of(15), CKR_MECHANISM_INVALID, HASH_NONE},
        {CKM_AES_CMAC, key_of(15), CKR_KEY_TYPE_INCONSISTENT, HASH_NONE},
        {CKM_SHA256, key_of(8), CKR_MECHANISM_INVALID, HASH_NONE},
        {CKM_SHA256_RSA_PKCS_PSS, key_of(8), CKR_MECHANISM_INVALID, HASH_NONE},
    };
    for (const Case& c : cases) {
        DigestContext digest{};
        CK_MECHANISM mechanism{c.mechanism, nullptr, 0};
        EXPECT_EQ(sign_init(c.key, &mechanism, digest), c.expected) << std::hex << c.mechanism;
        EXPECT_EQ(digest.hashKind, c.hash) << std::hex << c.mechanism;
    }
    DigestContext digest{};
    EXPECT_EQ(sign_init(key_of(8), nullptr, digest), CKR_ARGUMENTS_BAD);
}

TEST(SignOperation, LengthsAndRawInputsBeforeTheDevice)
{
    using Bytes = std::vector<std::uint8_t>;
    const auto sha1 = digest_info_prefix(HashKind::sha1);
    Bytes info(sha1.begin(), sha1.end());
    info.resize(35, 0x11);
    Bytes longer = info;
    longer.push_back(0x11);
    const Bytes unknown(35, 0x30);

    struct Case {
        const char* name;
        ObjectRecord key;
        const Bytes* input;
        bool output;
        CK_ULONG capacity;
        CK_RV expected;
        CK_ULONG length_after;
    } cases[] = {
        {"length query P-521", key_of(1, 16), &info, false, 0, CKR_OK, 132},
        {"length query DSTU m=257", key_of(4, 33), &info, false, 7, CKR_OK, 64},
        {"length query 1023-bit RSA", key_of(8, 1023), &info, false, 0, CKR_OK, 128},
        {"short buffer", key_of(8, 2048), &info, true, 255, CKR_BUFFER_TOO_SMALL, 255},
        {"curve without signatures", key_of(1, 5), &info, false, 0, CKR_FUNCTION_FAILED, 0},
        {"36-byte SHA-1 DigestInfo", key_of(8, 2048), &longer, true, 256, CKR_TEMPLATE_INCONSISTENT, 256},
        {"no DigestInfo", key_of(8, 2048), &unknown, true, 256, CKR_DATA_INVALID, 256},
        {"key off the device", key_of(8, 2048, false), &info, false, 0, CKR_FUNCTION_FAILED, 0},
    };
    for (const Case& c : cases) {
        const CK_MECHANISM_TYPE mechanism = c.key.header.keyKind == 8 ? CKM_RSA_PKCS : CKM_ECDSA;
        Bytes out(600);
        CK_ULONG length = c.capacity;
        std::uint32_t device_error = 0;
        EXPECT_EQ(sign_final(c.key, mechanism, HASH_NONE, c.input->data(), c.input->size(),
                             c.output ? out.data() : nullptr, &length, device_error),
                  c.expected)
            << c.name;
        EXPECT_EQ(length, c.length_after) << c.name;
        EXPECT_EQ(device_error, 0u) << c.name;
    }
}

TEST(SignOperation, RawDataLengths)
{
    struct Case {
        CK_MECHANISM_TYPE mechanism;
        std::size_t length;
        bool fits;
    } cases[] = {
        {CKM_ECDSA, 32, true},         {CKM_ECDSA, 33, false},   {CKM_DSTU4145, 64, true},
        {CKM_DSTU4145, 0, false},      {CKM_RSA_PKCS, 35, true}, {CKM_RSA_PKCS, 128, true},
        {CKM_RSA_PKCS, 129, false},    {CKM_ECDSA_SHA256, 32, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(raw_sign_length_fits(c.mechanism, c.length), c.fits) << std::hex << c.mechanism << " " << c.length;
}

}  // namespace
}  // namespace vlrp11
