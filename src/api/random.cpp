// Random bytes, always from the device.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/session_record.h"
#include "device/status.h"
#include "objects/device_random.h"

#include <algorithm>

namespace vlrp11 {

CK_RV C_GenerateRandom(CK_SESSION_HANDLE hSession, CK_BYTE_PTR pRandomData, CK_ULONG ulRandomLen)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pRandomData == nullptr)
        return CKR_ARGUMENTS_BAD;
    for (CK_ULONG done = 0; done < ulRandomLen;) {
        const std::size_t count = std::min<std::size_t>(ulRandomLen - done, device_random_max);
        const std::uint32_t status = device_random(*resolved.connection, pRandomData + done, count);
        resolved.session->deviceError = status;
        if (status != DEVICE_OK)
            return CKR_DEVICE_ERROR;
        done += count;
    }
    return CKR_OK;
}

}  // namespace vlrp11
