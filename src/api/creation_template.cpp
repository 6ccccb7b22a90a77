#include "api/creation_template.h"

#include "api/template_screen.h"
#include "objects/key_kinds.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {
namespace {

constexpr CK_ULONG VALUE_MAX_BYTES = 0xFFFE;
constexpr std::uint8_t CATEGORY_LAST = 3;

// Copies at most 32 bytes of a text into a header field and sets its length.
void copy_text(const CK_ATTRIBUTE& entry, std::uint8_t (&field)[HEADER_TEXT_BYTES], std::uint8_t& length) noexcept
{
    length = static_cast<std::uint8_t>(std::min<CK_ULONG>(entry.ulValueLen, HEADER_TEXT_BYTES));
    if (length != 0)
        std::memcpy(field, entry.pValue, length);
}

bool creatable_class(CK_ULONG objectClass) noexcept
{
    return objectClass == CKO_DATA || objectClass == CKO_CERTIFICATE || objectClass == CKO_SECRET_KEY;
}

// Key material and key-pair parameters never come in through a creation template.
bool refused_type(CK_ATTRIBUTE_TYPE type) noexcept
{
    return (type >= CKA_MODULUS && type <= CKA_COEFFICIENT) || type == CKA_EC_PARAMS || type == CKA_EC_POINT;
}

// Attributes that may only confirm what every created object is.
bool must_be_true(CK_ATTRIBUTE_TYPE type) noexcept
{
    return (type >= CKA_SENSITIVE && type <= CKA_SIGN) || type == CKA_VERIFY || type == CKA_DESTROYABLE;
}

CK_RV apply_entry(const CK_ATTRIBUTE& entry, CreationDescriptor& descriptor) noexcept
{
    ObjectHeader& header = descriptor.header;
    switch (entry.type) {
    case CKA_CLASS:
        if (!creatable_class(entry_ulong(entry)))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        descriptor.objectClass = static_cast<std::uint32_t>(entry_ulong(entry));
        return CKR_OK;
    case CKA_TOKEN:
        descriptor.token = entry_bool(entry);
        return CKR_OK;
    case CKA_PRIVATE:
        descriptor.isPrivate = entry_bool(entry);
        return CKR_OK;
    case CKA_LABEL:
        copy_text(entry, header.label, header.labelLength);
        return CKR_OK;
    case CKA_APPLICATION:
        copy_text(entry, header.application, header.applicationLength);
        return CKR_OK;
    case CKA_ID:
        copy_text(entry, header.id, header.idLength);
        return CKR_OK;
    case CKA_VALUE:
        if (entry.ulValueLen > VALUE_MAX_BYTES)
            return CKR_ATTRIBUTE_VALUE_INVALID;
        descriptor.value = static_cast<const std::uint8_t*>(entry.pValue);
        descriptor.valueLength = static_cast<std::uint32_t>(entry.ulValueLen);
        header.length[0] = static_cast<std::uint8_t>(entry.ulValueLen);
        header.length[1] = static_cast<std::uint8_t>(entry.ulValueLen >> 8);
        return CKR_OK;
    case CKA_CERTIFICATE_TYPE:
        return entry_ulong(entry) == CKC_X_509 ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID;
    case CKA_CERTIFICATE_CATEGORY: {
        // The first byte of the value replaces the whole flags byte.
        std::uint8_t category = *static_cast<const std::uint8_t*>(entry.pValue);
        if (category > CATEGORY_LAST)
            return CKR_ATTRIBUTE_VALUE_INVALID;
        header.flags = category;
        return CKR_OK;
    }
    case CKA_KEY_TYPE:
        return secret_key_kind(entry_ulong(entry), header.keyKind) ? CKR_OK : CKR_ATTRIBUTE_VALUE_INVALID;
    case CKA_EXTRACTABLE:
        if (*static_cast<const CK_BBOOL*>(entry.pValue) == 1)
            header.flags |= KEY_FLAG_EXTRACTABLE;
        return CKR_OK;
    default:
        if (refused_type(entry.type))
            return CKR_ATTRIBUTE_TYPE_INVALID;
        if (must_be_true(entry.type) && !entry_bool(entry))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        return CKR_OK;
    }
}

}  // namespace

CK_RV read_creation_template(const CK_ATTRIBUTE* entries, CK_ULONG count, CreationDescriptor& descriptor) noexcept
{
    descriptor = CreationDescriptor{};
    descriptor.objectClass = CLASS_ABSENT;
    if (CK_RV rv = screen_template(entries, count); rv != CKR_OK)
        return rv;
    for (CK_ULONG i = 0; i < count; ++i)
        if (CK_RV rv = apply_entry(entries[i], descriptor); rv != CKR_OK)
            return rv;
    return CKR_OK;
}

}  // namespace vlrp11
