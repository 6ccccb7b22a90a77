#include "api/slot_refresh.h"

#include "api/library_state.h"
#include "api/slot_teardown.h"
#include "device/config_file.h"
#include "device/connect.h"
#include "device/device_connection.h"
#include "device/discovery.h"
#include "device/platform_context.h"

#include <cstring>
#include <utility>

namespace vlrp11 {
namespace {

constexpr int hsm_partitions = 4;
// The serial and model numbers at the start of device_info tell two devices apart.
constexpr std::size_t device_identity_bytes = 8;

// A device name as a slot keeps it: at most 127 characters, zero-filled to the field's 128
// bytes. Names are compared in this form, so a reader name of 128 characters or more still
// matches the slot it was stored in.
struct StoredName {
    char text[sizeof SlotRecord::deviceName];
};

StoredName stored_name(const char* name)
{
    StoredName stored{};
    std::size_t length = 0;
    while (length < sizeof stored.text - 1 && name[length] != '\0')
        ++length;
    std::memcpy(stored.text, name, length);
    return stored;
}

bool same_name(const SlotRecord& slot, const StoredName& name)
{
    return std::memcmp(slot.deviceName, name.text, sizeof name.text) == 0;
}

// Whether a slot already holds the device behind a new connection to the named reader.
bool holds_device(const StoredName& name, const DeviceConnection& connection)
{
    for (const SlotRecord& slot : library_state().slots) {
        if (slot.connection != nullptr && same_name(slot, name) &&
            std::memcmp(slot.connection->device_info, connection.device_info, device_identity_bytes) == 0)
            return true;
    }
    return false;
}

bool holds_partition(const StoredName& address, std::int32_t partition)
{
    for (const SlotRecord& slot : library_state().slots) {
        if (slot.connection != nullptr && slot.connection->instance == partition && same_name(slot, address))
            return true;
    }
    return false;
}

SlotRecord* lowest_free_slot()
{
    for (SlotRecord& slot : library_state().slots) {
        if (slot.connection == nullptr)
            return &slot;
    }
    return nullptr;
}

void place(SlotRecord& slot, const StoredName& name, ConnectionPtr connection)
{
    std::memcpy(slot.deviceName, name.text, sizeof name.text);
    slot.connection = connection.release();
    slot.eventPending = 1;
}

void replace_pcsc_context()
{
    release_pcsc_context();
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        const DeviceConnection* connection = library_state().slots[i].connection;
        if (connection != nullptr && connection->kind != DEVICE_NETWORK_HSM)
            teardown_slot(i);
    }
    ensure_platform();
}

void drop_dead_connections()
{
    for (unsigned i = 0; i < SLOT_COUNT; ++i) {
        const DeviceConnection* connection = library_state().slots[i].connection;
        if (connection != nullptr && !connection_alive(*connection))
            teardown_slot(i);
    }
}

enum Placement {
    PLACEMENT_DONE,
    PLACEMENT_TABLE_FULL,
    PLACEMENT_SERVICE_GONE,
};

// The first connection to the n-th reader of a kind, unless a slot holds its device already.
// PLACEMENT_DONE with a null connection: no such reader (`more` false) or nothing new there.
Placement connect_new_device(unsigned n, DeviceKind kind, char (&name)[READER_NAME_CAPACITY], bool& more,
                             ConnectionPtr& connection)
{
    connection.reset();
    PcscOutcome found = find_reader(n, kind, name);
    more = found == PCSC_FOUND;
    if (!more)
        return found == PCSC_SERVICE_GONE ? PLACEMENT_SERVICE_GONE : PLACEMENT_DONE;
    if (connect_reader(name, kind, 0, connection) == PCSC_SERVICE_GONE)
        return PLACEMENT_SERVICE_GONE;
    if (connection && holds_device(stored_name(name), *connection))
        connection.reset();
    return PLACEMENT_DONE;
}

Placement place_tokens()
{
    char name[READER_NAME_CAPACITY];
    bool more = true;
    for (unsigned n = 0; more; ++n) {
        ConnectionPtr connection;
        if (connect_new_device(n, DEVICE_TOKEN, name, more, connection) == PLACEMENT_SERVICE_GONE)
            return PLACEMENT_SERVICE_GONE;
        if (!connection)
            continue;
        SlotRecord* slot = lowest_free_slot();
        if (slot == nullptr)
            return PLACEMENT_TABLE_FULL;
        place(*slot, stored_name(name), std::move(connection));
    }
    return PLACEMENT_DONE;
}

// Partition 0 is served by the connection discovery made; every further partition gets a card
// handle of its own to the same reader. A partition that cannot be connected leaves its slot
// to the next one.
Placement place_partitions(const char* name, ConnectionPtr first)
{
    StoredName stored = stored_name(name);
    for (int partition = 0; partition < hsm_partitions; ++partition) {
        SlotRecord* slot = lowest_free_slot();
        if (slot == nullptr)
            return PLACEMENT_TABLE_FULL;
        ConnectionPtr connection = std::move(first);
        if (partition > 0 && connect_reader(name, DEVICE_PCSC_HSM, partition, connection) == PCSC_SERVICE_GONE)
            return PLACEMENT_SERVICE_GONE;
        if (connection)
            place(*slot, stored, std::move(connection));
    }
    return PLACEMENT_DONE;
}

Placement place_pcsc_hsms()
{
    char name[READER_NAME_CAPACITY];
    bool more = true;
    for (unsigned n = 0; more; ++n) {
        ConnectionPtr connection;
        if (connect_new_device(n, DEVICE_PCSC_HSM, name, more, connection) == PLACEMENT_SERVICE_GONE)
            return PLACEMENT_SERVICE_GONE;
        if (!connection)
            continue;
        Placement placed = place_partitions(name, std::move(connection));
        if (placed != PLACEMENT_DONE)
            return placed;
    }
    return PLACEMENT_DONE;
}

// A full table after the tokens still lets the HSM step run: it finds no room either, but
// closes what it connected.
Placement place_pcsc_devices()
{
    if (place_tokens() == PLACEMENT_SERVICE_GONE)
        return PLACEMENT_SERVICE_GONE;
    return place_pcsc_hsms();
}

// Network HSM slots are only ever added here; the liveness check removes dead ones.
void place_network_hsms()
{
    for (const NetworkHsmEntry& entry : read_network_hsm_list()) {
        StoredName address = stored_name(entry.address.c_str());
        auto partition = static_cast<std::int32_t>(entry.partition);
        if (holds_partition(address, partition))
            continue;
        SlotRecord* slot = lowest_free_slot();
        if (slot == nullptr)
            return;
        if (ConnectionPtr connection = connect_network(entry.address.c_str(), partition))
            place(*slot, address, std::move(connection));
    }
}

}  // namespace

void refresh_slots() noexcept
{
    if (!pcsc_context_valid())
        replace_pcsc_context();
    drop_dead_connections();
    if (place_pcsc_devices() == PLACEMENT_SERVICE_GONE) {
        replace_pcsc_context();
        place_pcsc_devices();
    }
    place_network_hsms();
    library_state().slotsRefreshed = 1;
}

}  // namespace vlrp11
