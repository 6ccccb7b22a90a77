// get_attribute: the attributes every object has, then the table of its class. The key and
// certificate tables live in key_attributes.cpp and certificate_attributes.cpp.
#include "objects/attributes.h"

#include "objects/attribute_answers.h"
#include "objects/key_kinds.h"
#include "vlrp11/pkcs11_vendor.h"

namespace vlrp11 {
namespace {

CK_RV object_class(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_ulong(entry, query.publicView ? CKO_PUBLIC_KEY : query.record.objectClass);
}

CK_RV token(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, query.record.token != 0);
}

CK_RV is_private(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, query.record.isPrivate != 0);
}

CK_RV label(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    const ObjectHeader& header = query.record.header;
    return answer_bytes(entry, header.label, header_label_length(header));
}

CK_RV application(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    const ObjectHeader& header = query.record.header;
    return answer_bytes(entry, header.application, header_application_length(header));
}

CK_RV id(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    const ObjectHeader& header = query.record.header;
    return answer_bytes(entry, header.id, header_id_length(header));
}

CK_RV unique(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    char text[UNIQUE_ID_CHARS];
    unique_id(query.context, query.record, query.publicView, text);
    return answer_bytes(entry, text, sizeof text);
}

CK_RV key_type(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    CK_KEY_TYPE type;
    std::uint32_t objectClass = query.record.objectClass;
    if ((objectClass != CKO_PRIVATE_KEY && objectClass != CKO_SECRET_KEY) ||
        !key_type_of(query.record.header.keyKind, type))
        return answer_type_invalid(entry);
    return answer_ulong(entry, type);
}

constexpr AttributeRow common_rows[] = {
    {CKA_CLASS, object_class},
    {CKA_TOKEN, token},
    {CKA_PRIVATE, is_private},
    {CKA_LABEL, label},
    {CKA_APPLICATION, application},
    {CKA_OBJECT_ID, id},
    {CKA_ID, id},
    {CKA_UNIQUE_ID, unique},
    {CKA_MODIFIABLE, always_true},
    {CKA_COPYABLE, always_true},
    {CKA_DESTROYABLE, always_true},
    {CKA_KEY_TYPE, key_type},
};

CK_RV data_value(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bytes(entry, query.record.value, query.record.valueLength);
}

constexpr AttributeRow data_rows[] = {
    {CKA_VALUE, data_value},
};

// Only session keys made extractable ever show their bytes; device-held keys have none here.
CK_RV secret_value(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    const ObjectRecord& record = query.record;
    if (record.token != 0 || (record.header.flags & KEY_FLAG_EXTRACTABLE) == 0)
        return answer_sensitive(entry);
    return answer_bytes(entry, record.value, record.valueLength);
}

CK_RV no_check_value(const AttributeQuery&, CK_ATTRIBUTE& entry) noexcept
{
    static constexpr std::uint8_t unknown[3] = {0xFF, 0xFF, 0xFF};
    return answer_bytes(entry, unknown, sizeof unknown);
}

CK_RV extractable(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, (query.record.header.flags & KEY_FLAG_EXTRACTABLE) != 0);
}

// The key length in bytes, header byte 7. Left unanswered, a caller would read whatever its
// buffer held before as the length.
CK_RV secret_length(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_ulong(entry, query.record.header.secretKeyLength);
}

constexpr AttributeRow secret_key_rows[] = {
    {CKA_VALUE, secret_value},
    {CKA_CHECK_VALUE, no_check_value},
    {CKA_SENSITIVE, always_true},
    {CKA_ENCRYPT, always_true},
    {CKA_DECRYPT, always_true},
    {CKA_WRAP, always_true},
    {CKA_UNWRAP, always_true},
    {CKA_SIGN, always_true},
    {CKA_VERIFY, always_true},
    {CKA_EXTRACTABLE, extractable},
    {CKA_LOCAL, flag_local},
    {CKA_NEVER_EXTRACTABLE, never_extractable},
    {CKA_ALWAYS_SENSITIVE, never_extractable},
    {CKA_VALUE_LEN, secret_length},
    {CKA_VENDOR_VALUE_LEN, secret_length},
};

CK_RV answer_by_class(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    CK_RV rv = CKR_OK;
    switch (query.record.objectClass) {
    case CKO_DATA:
        if (answer_from(data_rows, query, entry, rv))
            return rv;
        break;
    case CKO_CERTIFICATE:
        return answer_certificate(query, entry);
    case CKO_PRIVATE_KEY:
        return query.publicView ? answer_public_view(query, entry) : answer_private_key(query, entry);
    case CKO_SECRET_KEY:
        if (answer_from(secret_key_rows, query, entry, rv))
            return rv;
        break;
    default:
        break;
    }
    return answer_type_invalid(entry);
}

}  // namespace

CK_RV get_attribute(const ObjectContext& context, CK_OBJECT_HANDLE handle, CK_ATTRIBUTE& entry) noexcept
{
    ObjectRecord* record = resolve_object_handle(context, handle);
    if (record == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    AttributeQuery query{context, *record, is_public_view(handle)};
    CK_RV rv = CKR_OK;
    if (answer_from(common_rows, query, entry, rv))
        return rv;
    return answer_by_class(query, entry);
}

}  // namespace vlrp11
