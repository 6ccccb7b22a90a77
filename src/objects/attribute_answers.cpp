#include "objects/attribute_answers.h"

#include <cstring>

namespace vlrp11 {

CK_RV answer_bytes(CK_ATTRIBUTE& entry, const void* bytes, CK_ULONG length) noexcept
{
    if (entry.pValue == nullptr) {
        entry.ulValueLen = length;
        return CKR_OK;
    }
    if (entry.ulValueLen < length) {
        entry.ulValueLen = length;
        return CKR_BUFFER_TOO_SMALL;
    }
    if (length != 0)
        std::memcpy(entry.pValue, bytes, length);
    entry.ulValueLen = length;
    return CKR_OK;
}

CK_RV answer_bool(CK_ATTRIBUTE& entry, bool value) noexcept
{
    CK_BBOOL byte = value ? CK_TRUE : CK_FALSE;
    return answer_bytes(entry, &byte, sizeof byte);
}

CK_RV answer_ulong(CK_ATTRIBUTE& entry, CK_ULONG value) noexcept
{
    return answer_bytes(entry, &value, sizeof value);
}

CK_RV answer_type_invalid(CK_ATTRIBUTE& entry) noexcept
{
    entry.ulValueLen = CK_UNAVAILABLE_INFORMATION;
    return CKR_ATTRIBUTE_TYPE_INVALID;
}

CK_RV answer_sensitive(CK_ATTRIBUTE& entry) noexcept
{
    entry.ulValueLen = CK_UNAVAILABLE_INFORMATION;
    return CKR_ATTRIBUTE_SENSITIVE;
}

bool answer_from(std::span<const AttributeRow> rows, const AttributeQuery& query, CK_ATTRIBUTE& entry,
                 CK_RV& rv) noexcept
{
    for (const AttributeRow& row : rows) {
        if (row.type == entry.type) {
            rv = row.answer(query, entry);
            return true;
        }
    }
    return false;
}

CK_RV always_true(const AttributeQuery&, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, true);
}

CK_RV always_false(const AttributeQuery&, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, false);
}

CK_RV always_sensitive(const AttributeQuery&, CK_ATTRIBUTE& entry) noexcept
{
    return answer_sensitive(entry);
}

CK_RV flag_local(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    return answer_bool(entry, (query.record.header.flags & KEY_FLAG_LOCAL) != 0);
}

// Made on the device and never allowed out: CKA_NEVER_EXTRACTABLE and CKA_ALWAYS_SENSITIVE.
CK_RV never_extractable(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept
{
    std::uint8_t flags = query.record.header.flags;
    return answer_bool(entry, (flags & KEY_FLAG_LOCAL) != 0 && (flags & KEY_FLAG_EXTRACTABLE) == 0);
}

}  // namespace vlrp11
