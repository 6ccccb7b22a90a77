#pragma once

#include "vlrp11/pkcs11.h"

namespace vlrp11 {

// What C_CloseSession does once the handle resolved: frees the session with its objects; when it
// was the slot's last and someone is logged in, logs the device out and reloads the token
// objects (the private ones go), returning that reload's result. Runs under the library lock.
CK_RV close_session(unsigned slotIndex, unsigned sessionIndex) noexcept;

}  // namespace vlrp11
