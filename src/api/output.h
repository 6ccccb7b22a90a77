#pragma once

#include "vlrp11/pkcs11.h"

#include <algorithm>

namespace vlrp11 {

// The output rule of every call that hands out a list: a null list asks for the count (stored,
// CKR_OK); a list shorter than the count gives CKR_BUFFER_TOO_SMALL and leaves *pulCount as the
// caller passed it; otherwise the count is stored and the items copied. pulCount is not null.
template <typename T>
CK_RV copy_list_out(const T* items, CK_ULONG count, T* list, CK_ULONG_PTR pulCount) noexcept
{
    if (list == nullptr) {
        *pulCount = count;
        return CKR_OK;
    }
    if (*pulCount < count)
        return CKR_BUFFER_TOO_SMALL;
    *pulCount = count;
    std::copy(items, items + count, list);
    return CKR_OK;
}

// The same rule for calls that produce their bytes only after it: true when the call is
// answered here with rv (the length stored for a null out, CKR_BUFFER_TOO_SMALL for a short
// buffer); false when out has room, with the length stored and rv CKR_OK. pulLength is not null.
inline bool length_answered(const void* out, CK_ULONG length, CK_ULONG_PTR pulLength, CK_RV& rv) noexcept
{
    rv = CKR_OK;
    if (out != nullptr && *pulLength < length) {
        rv = CKR_BUFFER_TOO_SMALL;
        return true;
    }
    *pulLength = length;
    return out == nullptr;
}

}  // namespace vlrp11
