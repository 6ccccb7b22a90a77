#pragma once

#include "platform/pcsc.h"

namespace vlrp11 {

// The system's PC/SC library as a function table, or null when it cannot be loaded.
const PcscFunctions* system_pcsc() noexcept;

}  // namespace vlrp11
