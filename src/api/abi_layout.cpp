// The PKCS#11 structures must have exactly the layout applications compiled against the
// platform's conventions expect: packed with 32-bit CK_ULONG on 64-bit Windows, natural
// alignment with 64-bit CK_ULONG on Linux.
#include "vlrp11/pkcs11.h"

#include <cstddef>

namespace vlrp11 {

static_assert(sizeof(void*) == 8);
static_assert(sizeof(CK_VERSION) == 2);
static_assert(sizeof(CK_DATE) == 8);

#if defined(_WIN32)
static_assert(sizeof(CK_ULONG) == 4);
static_assert(sizeof(CK_INFO) == 72);
static_assert(offsetof(CK_INFO, flags) == 34);
static_assert(sizeof(CK_SLOT_INFO) == 104);
static_assert(sizeof(CK_TOKEN_INFO) == 160);
static_assert(sizeof(CK_SESSION_INFO) == 16);
static_assert(sizeof(CK_ATTRIBUTE) == 16);
static_assert(offsetof(CK_ATTRIBUTE, pValue) == 4);
static_assert(sizeof(CK_MECHANISM) == 16);
static_assert(sizeof(CK_MECHANISM_INFO) == 12);
static_assert(sizeof(CK_ECDH1_DERIVE_PARAMS) == 28);
static_assert(sizeof(CK_C_INITIALIZE_ARGS) == 44);
static_assert(sizeof(CK_FUNCTION_LIST) == 2 + 68 * 8);
#else
static_assert(sizeof(CK_ULONG) == 8);
static_assert(sizeof(CK_INFO) == 88);
static_assert(sizeof(CK_SLOT_INFO) == 112);
static_assert(sizeof(CK_TOKEN_INFO) == 208);
static_assert(sizeof(CK_SESSION_INFO) == 32);
static_assert(sizeof(CK_ATTRIBUTE) == 24);
static_assert(sizeof(CK_MECHANISM) == 24);
static_assert(sizeof(CK_MECHANISM_INFO) == 24);
static_assert(sizeof(CK_ECDH1_DERIVE_PARAMS) == 40);
static_assert(sizeof(CK_FUNCTION_LIST) == 8 + 68 * 8);
#endif

}  // namespace vlrp11
