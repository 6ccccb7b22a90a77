#pragma once

#include "objects/object_record.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

// Readers for the templates of the key calls. Every entry reaches them screened
// (screen_template): present, and of its type's size.

// A boolean that must hold `required`: CKR_TEMPLATE_INCONSISTENT when it holds the other value.
CK_RV require_bool(const CK_ATTRIBUTE& attribute, bool required) noexcept;

// A class that must be `required`: CKR_TEMPLATE_INCONSISTENT when it names another.
CK_RV require_class(const CK_ATTRIBUTE& attribute, CK_OBJECT_CLASS required) noexcept;

// A boolean that sets a key flag of the header when true (CK_TRUE); false leaves it clear.
CK_RV apply_key_flag(const CK_ATTRIBUTE& attribute, std::uint8_t flag, ObjectHeader& header) noexcept;

// Copies the first 32 bytes at most of a label, application or ID into its header field and
// length byte; CKR_ATTRIBUTE_VALUE_INVALID for a null value with a length.
CK_RV copy_header_text(const CK_ATTRIBUTE& attribute, std::uint8_t (&field)[HEADER_TEXT_BYTES],
                       std::uint8_t& length) noexcept;

// Whether a template can be walked: its entries are there whenever it has any.
inline bool template_readable(const CK_ATTRIBUTE* pTemplate, CK_ULONG count) noexcept
{
    return pTemplate != nullptr || count == 0;
}

}  // namespace vlrp11
