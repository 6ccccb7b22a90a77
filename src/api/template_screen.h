#pragma once

#include "vlrp11/pkcs11.h"

namespace vlrp11 {

// The check every template reader makes of an entry before it reads the value: a null pValue
// with a nonzero length, or a boolean (one byte) or CK_ULONG attribute of another length, is
// CKR_ATTRIBUTE_VALUE_INVALID. CKR_OK for anything else, whatever the attribute's meaning.
CK_RV screen_entry(const CK_ATTRIBUTE& entry) noexcept;

// screen_entry over every entry of a template, before any of them is read; the template must be
// readable (non-null whenever count is nonzero).
CK_RV screen_template(const CK_ATTRIBUTE* entries, CK_ULONG count) noexcept;

// Values of entries that passed screen_entry; the entry must be of the size its type asks for.
bool entry_bool(const CK_ATTRIBUTE& entry) noexcept;
CK_ULONG entry_ulong(const CK_ATTRIBUTE& entry) noexcept;

}  // namespace vlrp11
