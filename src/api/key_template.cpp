#include "api/key_template.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {

CK_RV read_bool(const CK_ATTRIBUTE& attribute, CK_BBOOL& value) noexcept
{
    if (attribute.pValue == nullptr || attribute.ulValueLen != sizeof(CK_BBOOL))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    value = *static_cast<const CK_BBOOL*>(attribute.pValue);
    return CKR_OK;
}

CK_RV read_ulong(const CK_ATTRIBUTE& attribute, CK_ULONG& value) noexcept
{
    if (attribute.pValue == nullptr || attribute.ulValueLen != sizeof(CK_ULONG))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    std::memcpy(&value, attribute.pValue, sizeof value);  // the caller's buffer may be unaligned
    return CKR_OK;
}

CK_RV require_bool(const CK_ATTRIBUTE& attribute, bool required) noexcept
{
    CK_BBOOL value = 0;
    if (CK_RV rv = read_bool(attribute, value); rv != CKR_OK)
        return rv;
    const bool matches = required ? value == CK_TRUE : value == CK_FALSE;
    return matches ? CKR_OK : CKR_TEMPLATE_INCONSISTENT;
}

CK_RV require_class(const CK_ATTRIBUTE& attribute, CK_OBJECT_CLASS required) noexcept
{
    CK_ULONG value = 0;
    if (CK_RV rv = read_ulong(attribute, value); rv != CKR_OK)
        return rv;
    return value == required ? CKR_OK : CKR_TEMPLATE_INCONSISTENT;
}

CK_RV apply_key_flag(const CK_ATTRIBUTE& attribute, std::uint8_t flag, ObjectHeader& header) noexcept
{
    CK_BBOOL value = 0;
    if (CK_RV rv = read_bool(attribute, value); rv != CKR_OK)
        return rv;
    if (value == CK_TRUE)
        header.flags |= flag;
    return CKR_OK;
}

CK_RV copy_header_text(const CK_ATTRIBUTE& attribute, std::uint8_t (&field)[HEADER_TEXT_BYTES],
                       std::uint8_t& length) noexcept
{
    if (attribute.pValue == nullptr && attribute.ulValueLen != 0)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    length = static_cast<std::uint8_t>(std::min<CK_ULONG>(attribute.ulValueLen, HEADER_TEXT_BYTES));
    if (length != 0)
        std::memcpy(field, attribute.pValue, length);
    return CKR_OK;
}

}  // namespace vlrp11
