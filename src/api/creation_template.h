#pragma once

#include "objects/object_create.h"
#include "vlrp11/pkcs11.h"

namespace vlrp11 {

// Reads C_CreateObject's template, entries in order, into a creation descriptor that starts
// zero-filled with the class absent: class, token and private flags, the texts (cut to 32
// bytes), the value and its length, certificate type and category, the key type as a kind,
// the extractable bit. The first entry that is refused decides: CKR_ATTRIBUTE_VALUE_INVALID
// (screen_entry, or a value the object cannot have) or CKR_ATTRIBUTE_TYPE_INVALID (key
// material the library never takes from outside). Other attributes are ignored.
CK_RV read_creation_template(const CK_ATTRIBUTE* entries, CK_ULONG count, CreationDescriptor& descriptor) noexcept;

}  // namespace vlrp11
