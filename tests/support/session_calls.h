#pragma once

#include "vlrp11/pkcs11.h"

#include <vector>

namespace vlrp11::testing {

// Calls an application makes in an open session through the function table.

// The objects matching the template (every object for none), at most 128.
std::vector<CK_OBJECT_HANDLE> find_objects(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session,
                                           CK_ATTRIBUTE* match = nullptr, CK_ULONG count = 0);

// Signs a 32-byte hash with ECDSA and the first EC private key the session finds: the result of
// C_Sign (the search and the sign set-up send nothing to the device).
CK_RV ecdsa_sign(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session);

}  // namespace vlrp11::testing
