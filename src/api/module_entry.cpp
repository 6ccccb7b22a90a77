#include "api/entry_points.h"
#include "api/library_lock.h"
#include "api/library_state.h"
#include "api/slot_teardown.h"
#include "api/text_fields.h"
#include "device/platform_context.h"
#include "platform/wipe.h"

namespace vlrp11 {

// The argument is not examined: whatever locking the caller offers (its own mutex functions,
// CKF_OS_LOCKING_OK or nothing), the module serialises its calls with its own mutex.
CK_RV C_Initialize(CK_VOID_PTR)
{
    LibraryLock lock;
    LibraryState& library = library_state();
    if (library.initialised)
        return CKR_CRYPTOKI_ALREADY_INITIALIZED;
    secure_wipe(library.slots);
    library.slotsRefreshed = 0;
    ensure_platform();
    library.initialised = 1;
    return CKR_OK;
}

CK_RV C_Finalize(CK_VOID_PTR pReserved)
{
    LibraryLock lock;
    if (pReserved != nullptr)
        return CKR_ARGUMENTS_BAD;
    LibraryState& library = library_state();
    if (!library.initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    library.initialised = 0;
    ++library.finalisations;
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        if (library.slots[i].connection != nullptr)
            teardown_slot(i);
    }
    return CKR_OK;
}

CK_RV C_GetInfo(CK_INFO_PTR pInfo)
{
    if (pInfo == nullptr)
        return CKR_ARGUMENTS_BAD;
    pInfo->cryptokiVersion = {2, 40};
    copy_padded(pInfo->manufacturerID, "KESTRELWORKSHOP LLC");
    pInfo->flags = 0;
    copy_padded(pInfo->libraryDescription, "VELLARO & MORVA PKCS#11 library");
    pInfo->libraryVersion = {1, 7};
    return CKR_OK;
}

}  // namespace vlrp11
