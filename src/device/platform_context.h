#pragma once

#include "platform/pcsc.h"

#include <cstdint>

namespace vlrp11 {

// Process-wide platform resources. Neither is released by C_Finalize: the PC/SC context lives
// until the slot refresh finds it invalid, and the sockets library stays started.
struct PlatformContext {
    PcscContext pcscContext;  // 0 = none
    std::uint32_t socketsStarted;
};

PlatformContext& platform_context() noexcept;

// Establishes a PC/SC context with user scope if there is none, and starts the sockets library
// if it has not been started. Failures leave the context at 0 or the flag clear, silently: PC/SC
// devices or network HSMs are then simply not found.
void ensure_platform() noexcept;

}  // namespace vlrp11
