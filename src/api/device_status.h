#pragma once

#include "device/status.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

struct ResolvedSession;

// Turns the nonzero status of a failed device command into a CK_RV: 48 and 60 become PIN errors,
// any other status but 2 and 3 is kept in the session's deviceError. Runs under the library lock.
// Preconditions: `session` came from resolveSession in this same call, and nothing has closed it
// since. A device that has gone (status 2 or 3) takes its slot with it: the slot is torn down,
// every session of it closed and its connection freed, so `session` and everything it points to is
// gone when this returns; the caller returns the result at once.
CK_RV mapDeviceStatus(const ResolvedSession& session, std::uint32_t status) noexcept;

}  // namespace vlrp11
