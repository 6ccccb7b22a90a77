#pragma once

#include "api/slot_record.h"

#include <cstdint>

namespace vlrp11 {

// The library-wide state. The application calls the module from one thread at a time, so it is
// read and written without locks.
struct LibraryState {
    std::uint8_t initialised;  // 1 between a successful C_Initialize and C_Finalize
    SlotRecord slots[SLOT_COUNT];
};

LibraryState& library_state() noexcept;

}  // namespace vlrp11
