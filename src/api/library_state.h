#pragma once

#include "api/slot_record.h"

#include <cstdint>

namespace vlrp11 {

// The library-wide state, read and written under the library lock (api/library_lock.h).
struct LibraryState {
    std::uint8_t initialised;  // 1 between a successful C_Initialize and C_Finalize
    // Counts C_Finalize calls, so a thread that let go of the lock can tell that the library was
    // finalised meanwhile, even when it has been initialised again since.
    std::uint32_t finalisations;
    // 1 once a slot refresh has run since C_Initialize.
    std::uint8_t slotsRefreshed;
    SlotRecord slots[SLOT_COUNT];
};

LibraryState& library_state() noexcept;

}  // namespace vlrp11
