#include "api/template_screen.h"

#include "vlrp11/pkcs11_vendor.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr CK_ATTRIBUTE_TYPE boolean_types[] = {
    CKA_TOKEN, CKA_PRIVATE, CKA_TRUSTED, CKA_SENSITIVE, CKA_ENCRYPT, CKA_DECRYPT, CKA_WRAP, CKA_UNWRAP,
    CKA_SIGN, CKA_SIGN_RECOVER, CKA_VERIFY, CKA_VERIFY_RECOVER, CKA_DERIVE, CKA_EXTRACTABLE, CKA_LOCAL,
    CKA_NEVER_EXTRACTABLE, CKA_ALWAYS_SENSITIVE, CKA_MODIFIABLE, CKA_COPYABLE, CKA_DESTROYABLE,
    CKA_ALWAYS_AUTHENTICATE, CKA_WRAP_WITH_TRUSTED,
};

constexpr CK_ATTRIBUTE_TYPE ulong_types[] = {
    CKA_CLASS, CKA_CERTIFICATE_TYPE, CKA_CERTIFICATE_CATEGORY, CKA_KEY_TYPE, CKA_MODULUS_BITS, CKA_VALUE_LEN,
};

template <std::size_t N>
bool listed(const CK_ATTRIBUTE_TYPE (&types)[N], CK_ATTRIBUTE_TYPE type) noexcept
{
    for (CK_ATTRIBUTE_TYPE listedType : types)
        if (listedType == type)
            return true;
    return false;
}

}  // namespace

CK_RV screen_entry(const CK_ATTRIBUTE& entry) noexcept
{
    if (entry.pValue == nullptr && entry.ulValueLen != 0)
        return CKR_ATTRIBUTE_VALUE_INVALID;
    if (listed(boolean_types, entry.type) && entry.ulValueLen != sizeof(CK_BBOOL))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    if (listed(ulong_types, entry.type) && entry.ulValueLen != sizeof(CK_ULONG))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    return CKR_OK;
}

CK_RV screen_template(const CK_ATTRIBUTE* entries, CK_ULONG count) noexcept
{
    for (CK_ULONG i = 0; i < count; ++i)
        if (CK_RV rv = screen_entry(entries[i]); rv != CKR_OK)
            return rv;
    return CKR_OK;
}

bool entry_bool(const CK_ATTRIBUTE& entry) noexcept
{
    return *static_cast<const CK_BBOOL*>(entry.pValue) != 0;
}

CK_ULONG entry_ulong(const CK_ATTRIBUTE& entry) noexcept
{
    CK_ULONG value = 0;
    std::memcpy(&value, entry.pValue, sizeof value);
    return value;
}

}  // namespace vlrp11
