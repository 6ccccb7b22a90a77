#include "api/key_template.h"

#include "api/template_screen.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {
namespace {

// The byte as the caller wrote it: only CK_TRUE and CK_FALSE are the values these readers accept.
CK_BBOOL bbool_of(const CK_ATTRIBUTE& attribute) noexcept
{
    return *static_cast<const CK_BBOOL*>(attribute.pValue);
}

}  // namespace

CK_RV require_bool(const CK_ATTRIBUTE& attribute, bool required) noexcept
{
    const CK_BBOOL value = bbool_of(attribute);
    const bool matches = required ? value == CK_TRUE : value == CK_FALSE;
    return matches ? CKR_OK : CKR_TEMPLATE_INCONSISTENT;
}

CK_RV require_class(const CK_ATTRIBUTE& attribute, CK_OBJECT_CLASS required) noexcept
{
    return entry_ulong(attribute) == required ? CKR_OK : CKR_TEMPLATE_INCONSISTENT;
}

CK_RV apply_key_flag(const CK_ATTRIBUTE& attribute, std::uint8_t flag, ObjectHeader& header) noexcept
{
    if (bbool_of(attribute) == CK_TRUE)
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
