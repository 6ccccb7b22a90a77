#pragma once

namespace vlrp11 {

struct SlotRecord;

// Both run under the library lock.

// Closes one open session of the slot: frees its session objects, wipes and frees the record
// and clears its entry. Does nothing for an empty entry.
void close_session_record(SlotRecord& slot, unsigned sessionIndex) noexcept;

// Closes every session of the slot, closes its connection, frees its token objects and leaves
// an all-zero record, so a later device may take the same slot ID.
void teardown_slot(unsigned slotIndex) noexcept;

}  // namespace vlrp11
