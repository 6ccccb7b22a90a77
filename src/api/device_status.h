#pragma once

#include "vlrp11/pkcs11.h"

#include <cstdint>

namespace vlrp11 {

// Device statuses the front end tells apart.
constexpr std::uint32_t DEVICE_GONE = 2;
constexpr std::uint32_t CONNECTION_LOST = 3;
constexpr std::uint32_t PIN_WRONG = 48;
constexpr std::uint32_t PIN_BLOCKED = 60;

// Turns the nonzero status of a failed device command into a CK_RV. A device that has gone
// (status 2 or 3) takes its slot with it: the slot is torn down and every session closed. The
// caller has resolved the session handle already.
CK_RV mapDeviceStatus(CK_SESSION_HANDLE hSession, std::uint32_t status) noexcept;

}  // namespace vlrp11
