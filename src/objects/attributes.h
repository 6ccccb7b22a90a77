#pragma once

#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

namespace vlrp11 {

// Answers one template entry for the object a handle names. A length query (null pValue) sets
// the length; a short buffer sets it and answers CKR_BUFFER_TOO_SMALL; an attribute the object
// lacks or keeps secret sets it to CK_UNAVAILABLE_INFORMATION (CKR_ATTRIBUTE_TYPE_INVALID,
// CKR_ATTRIBUTE_SENSITIVE). Device keys' public parts are read from the device on first use
// and cached in the record.
CK_RV get_attribute(const ObjectContext& context, CK_OBJECT_HANDLE handle, CK_ATTRIBUTE& entry) noexcept;

// True when every entry of the template that carries a value equals what the object answers;
// an empty template matches everything. CKA_PRIVATE is not compared against a public view.
bool match_template(const ObjectContext& context, CK_OBJECT_HANDLE handle, const CK_ATTRIBUTE* entries,
                    CK_ULONG count) noexcept;

// CKA_UNIQUE_ID: 32 upper-case hexadecimal characters, fixed by the object's device position,
// ID and view (token objects) or its creation stamp (session objects).
constexpr CK_ULONG UNIQUE_ID_CHARS = 32;
void unique_id(const ObjectContext& context, const ObjectRecord& record, bool publicView,
               char (&out)[UNIQUE_ID_CHARS]) noexcept;

}  // namespace vlrp11
