// Private keys and their public views: fixed rows, then the public-key table of the key's
// family. Public parts come from the device once and stay in the record's cache.
#include "objects/attribute_answers.h"

#include "crypto/byte_order.h"
#include "crypto/gost28147_sbox.h"
#include "device/device_connection.h"
#include "device/object_commands.h"
#include "device/status.h"
#include "objects/curve_parameters.h"
#include "objects/der.h"
#include "objects/key_kinds.h"
#include "objects/public_keys.h"
#include "vlrp11/pkcs11_vendor.h"

#include <cstring>
#include <span>

namespace vlrp11 {
namespace {

constexpr std::uint32_t EC_PUBLIC_KEY_CAPACITY = 144;
constexpr std::uint32_t DSTU_PUBLIC_KEY_CAPACITY = 72;

constexpr std::uint32_t KEY_ATTESTATION_BYTES = 64;
constexpr std::uint32_t DEVICE_CERTIFICATE_BYTES = 140;

CK_RV public_key_failed(ObjectRecord& record) noexcept
{
    release_cache(record);
    return CKR_DEVICE_ERROR;
}

// Fills the cache with the key's public part: the key information refreshes the header and must
// still name a key of this family, then the public key is read.
CK_RV fetch_public_key(ObjectRecord& record, KeyFamily family) noexcept
{
    if (record.cacheKind == CACHE_PUBLIC_KEY)
        return CKR_OK;
    DeviceConnection* connection = record.connection;
    if (connection == nullptr)
        return public_key_failed(record);
    std::uint8_t header[KEY_INFO_REPLY_CAPACITY];
    std::uint32_t length = sizeof header;
    if (get_key_info(*connection, record.deviceIndex, header, &length) != DEVICE_OK)
        return public_key_failed(record);
    std::memcpy(&record.header, header, length);
    std::uint8_t kind = record.header.keyKind;
    if (kind < KEY_KIND_EC || kind > KEY_KIND_RSA_GENERATED || key_family(kind) != family)
        return public_key_failed(record);
    std::uint32_t capacity = public_key_capacity(family);
    std::uint8_t* cache = allocate_cache(record, CACHE_PUBLIC_KEY, capacity);
    if (cache == nullptr)
        return CKR_HOST_MEMORY;
    length = capacity;
    if (read_public_key(*connection, record.deviceIndex, cache, &length) != DEVICE_OK)
        return public_key_failed(record);
    record.cacheLength = public_key_length(*connection, length);
    return CKR_OK;
}

// The EC parameters answer checks the buffer before it sets the length.
CK_RV answer_parameters(CK_ATTRIBUTE& entry, const std::uint8_t* bytes, CK_ULONG length) noexcept
{
    if (entry.pValue != nullptr && entry.ulValueLen < length)
        return CKR_BUFFER_TOO_SMALL;
    return answer_bytes(entry, bytes, length);
}

CK_RV flag_derive(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, (query.record.header.flags & KEY_FLAG_DERIVE) != 0);
}

// EC: the named curve's OID, and the point X ‖ Y as a DER OCTET STRING of the uncompressed form.
CK_RV ec_params(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    std::span<const std::uint8_t> oid = nist_curve_oid(static_cast<CurveId>(header_parameter(query.record.header)));
    if (oid.empty())
        return CKR_DEVICE_ERROR;
    return answer_parameters(entry, oid.data(), oid.size());
}

CK_RV ec_point(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    ObjectRecord& record = query.record;
    if (CK_RV rv = fetch_public_key(record, FAMILY_EC); rv != CKR_OK)
        return rv;
    std::uint32_t n = record.cacheLength;
    std::uint8_t point[4 + EC_PUBLIC_KEY_CAPACITY];
    std::uint32_t at = 0;
    point[at++] = DER_OCTET_STRING;
    if (n + 1 >= 128)
        point[at++] = 0x81;
    point[at++] = static_cast<std::uint8_t>(n + 1);
    point[at++] = 0x04;
    std::memcpy(point + at, record.cache, n);
    return answer_bytes(entry, point, at + n);
}

// DSTU 4145: the curve's OID 1.2.804.2.1.1.1.1.3.1.1.2.c and the default DKE (the packed default
// S-box), and the compressed point as the device returned it.
CK_RV dstu_params(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    std::uint16_t curve = header_parameter(query.record.header);
    if (curve < CURVE_DSTU_233 || curve > CURVE_DSTU_431)
        return CKR_DEVICE_ERROR;
    std::uint8_t params[2 + DSTU_CURVE_OID_BYTES + 2 + gost28147_sbox_bytes] = {DER_SEQUENCE, sizeof params - 2};
    std::uint8_t oid[DSTU_CURVE_OID_BYTES];
    dstu_curve_oid(static_cast<CurveId>(curve), oid);
    std::memcpy(params + 2, oid, sizeof oid);
    params[2 + sizeof oid] = DER_OCTET_STRING;
    params[3 + sizeof oid] = gost28147_sbox_bytes;
    std::memcpy(params + 4 + sizeof oid, gost28147_default_sbox_packed.data(), gost28147_sbox_bytes);
    return answer_parameters(entry, params, sizeof params);
}

CK_RV dstu_point(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    ObjectRecord& record = query.record;
    if (CK_RV rv = fetch_public_key(record, FAMILY_DSTU4145); rv != CKR_OK)
        return rv;
    std::uint8_t point[2 + DSTU_PUBLIC_KEY_CAPACITY];
    point[0] = DER_OCTET_STRING;
    point[1] = static_cast<std::uint8_t>(record.cacheLength);
    std::memcpy(point + 2, record.cache, record.cacheLength);
    return answer_bytes(entry, point, 2 + record.cacheLength);
}

// RSAPublicKey ::= SEQUENCE { modulus INTEGER, publicExponent INTEGER }, ending exactly where the
// device's reply ends.
struct RsaPublicKey {
    std::span<const std::uint8_t> modulus;
    std::span<const std::uint8_t> exponent;
};

bool parse_rsa_public_key(const ObjectRecord& record, RsaPublicKey& key) noexcept
{
    const std::uint8_t* cursor = record.cache;
    const std::uint8_t* end = record.cache + record.cacheLength;
    std::size_t length = 0;
    if (read_tag(cursor, end, DER_SEQUENCE, length) != DEVICE_OK || cursor + length != end)
        return false;
    if (read_tag(cursor, end, DER_INTEGER, length) != DEVICE_OK)
        return false;
    key.modulus = {cursor, length};
    cursor += length;
    if (read_tag(cursor, end, DER_INTEGER, length) != DEVICE_OK || cursor + length != end)
        return false;
    key.exponent = {cursor, length};
    // An odd-length modulus with a leading zero carries the sign byte of a full-width number.
    if (key.modulus.size() % 2 == 1 && key.modulus[0] == 0)
        key.modulus = key.modulus.subspan(1);
    return true;
}

CK_RV rsa_public_key(ObjectRecord& record, RsaPublicKey& key) noexcept
{
    if (CK_RV rv = fetch_public_key(record, FAMILY_RSA); rv != CKR_OK)
        return rv;
    if (!parse_rsa_public_key(record, key))
        return public_key_failed(record);
    return CKR_OK;
}

CK_RV rsa_modulus(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    RsaPublicKey key;
    if (CK_RV rv = rsa_public_key(query.record, key); rv != CKR_OK)
        return rv;
    return answer_bytes(entry, key.modulus.data(), key.modulus.size());
}

CK_RV rsa_modulus_bits(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    RsaPublicKey key;
    if (CK_RV rv = rsa_public_key(query.record, key); rv != CKR_OK)
        return rv;
    return answer_ulong(entry, 8 * key.modulus.size());
}

CK_RV rsa_exponent(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    RsaPublicKey key;
    if (CK_RV rv = rsa_public_key(query.record, key); rv != CKR_OK)
        return rv;
    return answer_bytes(entry, key.exponent.data(), key.exponent.size());
}

// 1, the ID length, the ID, the device's 64-byte attestation of the key, and the device
// certificate that verifies it. A device that cannot attest gives an empty value.
CK_RV key_device_data(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    const ObjectRecord& record = query.record;
    std::uint8_t idLength = header_id_length(record.header);
    CK_ULONG length = 2 + idLength + KEY_ATTESTATION_BYTES + DEVICE_CERTIFICATE_BYTES;
    if (record.connection == nullptr) {
        entry.ulValueLen = 0;
        return CKR_OK;
    }
    if (entry.pValue == nullptr || entry.ulValueLen < length)
        return answer_bytes(entry, nullptr, length);
    auto* out = static_cast<std::uint8_t*>(entry.pValue);
    std::uint32_t replyLength = KEY_ATTESTATION_BYTES;
    if (get_key_attribute(*record.connection, record.deviceIndex, out + 2 + idLength, &replyLength) != DEVICE_OK ||
        replyLength != KEY_ATTESTATION_BYTES) {
        entry.ulValueLen = 0;
        return CKR_OK;
    }
    out[0] = 1;
    out[1] = idLength;
    std::memcpy(out + 2, record.header.id, idLength);
    std::memcpy(out + 2 + idLength + KEY_ATTESTATION_BYTES, record.connection->device_certificate,
                DEVICE_CERTIFICATE_BYTES);
    entry.ulValueLen = length;
    return CKR_OK;
}

constexpr AttributeRow private_key_rows[] = {
    {CKA_SENSITIVE, always_true},
    {CKA_SIGN, always_true},
    {CKA_SIGN_RECOVER, always_false},
    {CKA_EXTRACTABLE, always_false},
    {CKA_ALWAYS_AUTHENTICATE, always_false},
    {CKA_LOCAL, flag_local},
    {CKA_NEVER_EXTRACTABLE, never_extractable},
    {CKA_ALWAYS_SENSITIVE, never_extractable},
    {CKA_KEY_DEVICE_DATA, key_device_data},
};

constexpr AttributeRow curve_private_rows[] = {
    {CKA_VALUE, always_sensitive},
    {CKA_DERIVE, flag_derive},
};

constexpr AttributeRow rsa_private_rows[] = {
    {CKA_PRIVATE_EXPONENT, always_sensitive},
    {CKA_PRIME_1, always_sensitive},
    {CKA_PRIME_2, always_sensitive},
};

constexpr AttributeRow public_view_rows[] = {
    {CKA_VERIFY, always_true},
    {CKA_DERIVE, always_true},
    {CKA_VERIFY_RECOVER, always_false},
    {CKA_LOCAL, always_false},
};

constexpr AttributeRow ec_public_rows[] = {
    {CKA_ENCRYPT, always_false}, {CKA_DECRYPT, always_false}, {CKA_WRAP, always_false},
    {CKA_UNWRAP, always_false},  {CKA_EC_PARAMS, ec_params},   {CKA_EC_POINT, ec_point},
};

constexpr AttributeRow dstu_public_rows[] = {
    {CKA_ENCRYPT, always_false}, {CKA_DECRYPT, always_false}, {CKA_WRAP, always_false},
    {CKA_UNWRAP, always_false},  {CKA_EC_PARAMS, dstu_params}, {CKA_EC_POINT, dstu_point},
};

constexpr AttributeRow rsa_public_rows[] = {
    {CKA_MODULUS, rsa_modulus},
    {CKA_MODULUS_BITS, rsa_modulus_bits},
    {CKA_PUBLIC_EXPONENT, rsa_exponent},
};

struct FamilyTables {
    std::span<const AttributeRow> privateRows;
    std::span<const AttributeRow> publicRows;
};

FamilyTables family_tables(std::uint8_t kind) noexcept
{
    switch (key_family(kind)) {
    case FAMILY_EC:
        return {curve_private_rows, ec_public_rows};
    case FAMILY_DSTU4145:
        return {curve_private_rows, dstu_public_rows};
    case FAMILY_RSA:
        return {rsa_private_rows, rsa_public_rows};
    default:
        return {};
    }
}

}  // namespace

CK_RV answer_private_key(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    FamilyTables tables = family_tables(query.record.header.keyKind);
    CK_RV rv = CKR_OK;
    if (answer_from(private_key_rows, query, entry, rv) || answer_from(tables.privateRows, query, entry, rv) ||
        answer_from(tables.publicRows, query, entry, rv))
        return rv;
    return answer_type_invalid(entry);
}

CK_RV answer_public_view(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    FamilyTables tables = family_tables(query.record.header.keyKind);
    CK_RV rv = CKR_OK;
    if (answer_from(public_view_rows, query, entry, rv) || answer_from(tables.publicRows, query, entry, rv))
        return rv;
    return answer_type_invalid(entry);
}

}  // namespace vlrp11
