#pragma once

#include "objects/object_table.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;
struct SessionRecord;

constexpr unsigned SLOT_COUNT = 64;
constexpr unsigned SESSIONS_PER_SLOT = 16;

// One slot of the slot table; an all-zero record is an empty slot. Slot ID = index + 1.
struct SlotRecord {
    // Reader name, or the address text of a network HSM; at most 127 characters, NUL-terminated.
    char deviceName[128];
    // Non-null exactly when the slot holds a device.
    DeviceConnection* connection;
    // Set when discovery places a device here; cleared when C_WaitForSlotEvent reports it.
    std::uint8_t eventPending;
    // The slot's cache of token objects: entry i answers object handle i + 1.
    ObjectTable tokenObjects;
    // Entry j answers session handles whose second byte is j + 1.
    SessionRecord* sessions[SESSIONS_PER_SLOT];
};

}  // namespace vlrp11
