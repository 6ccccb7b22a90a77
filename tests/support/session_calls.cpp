#include "support/session_calls.h"

#include <gtest/gtest.h>

namespace vlrp11::testing {

std::vector<CK_OBJECT_HANDLE> find_objects(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session, CK_ATTRIBUTE* match,
                                           CK_ULONG count)
{
    EXPECT_EQ(p11->C_FindObjectsInit(session, match, count), CKR_OK);
    std::vector<CK_OBJECT_HANDLE> found(128);
    CK_ULONG n = 0;
    EXPECT_EQ(p11->C_FindObjects(session, found.data(), 128, &n), CKR_OK);
    EXPECT_EQ(p11->C_FindObjectsFinal(session), CKR_OK);
    found.resize(n);
    return found;
}

CK_RV ecdsa_sign(CK_FUNCTION_LIST_PTR p11, CK_SESSION_HANDLE session)
{
    CK_OBJECT_CLASS privateClass = CKO_PRIVATE_KEY;
    CK_KEY_TYPE ec = CKK_EC;
    CK_ATTRIBUTE match[] = {{CKA_CLASS, &privateClass, sizeof privateClass}, {CKA_KEY_TYPE, &ec, sizeof ec}};
    std::vector<CK_OBJECT_HANDLE> keys = find_objects(p11, session, match, 2);
    if (keys.empty()) {
        ADD_FAILURE() << "no EC private key";
        return CKR_KEY_HANDLE_INVALID;
    }
    CK_MECHANISM mechanism{CKM_ECDSA, nullptr, 0};
    if (CK_RV rv = p11->C_SignInit(session, &mechanism, keys[0]); rv != CKR_OK)
        return rv;
    CK_BYTE hash[32] = {1, 2, 3};
    CK_BYTE signature[64];
    CK_ULONG length = sizeof signature;
    return p11->C_Sign(session, hash, sizeof hash, signature, &length);
}

}  // namespace vlrp11::testing
