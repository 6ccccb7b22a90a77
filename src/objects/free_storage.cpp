#include "objects/free_storage.h"

#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/status.h"

#include <algorithm>

namespace vlrp11 {
namespace {

// The listing has 4 bytes per directory entry; the low nibble 0xF of the first marks a free one.
constexpr std::uint32_t listing_entry_bytes = 4;
constexpr std::uint32_t directory_entries = 64;
constexpr std::uint8_t free_state = 0x0F;
constexpr std::uint32_t listing_capacity = 512;
// Every object keeps a 104-byte header in front of its data.
constexpr std::uint32_t object_header_bytes = 104;

}  // namespace

std::uint32_t free_storage_bytes(DeviceConnection& connection) noexcept
{
    std::uint8_t listing[listing_capacity];
    std::uint32_t length = sizeof listing;
    if (connection.transport(&connection, CMD_LIST_OBJECTS, nullptr, 0, listing, &length) != DEVICE_OK)
        return 0;
    std::uint32_t entries = std::min(length / listing_entry_bytes, directory_entries);
    std::uint32_t free_entries = 0;
    for (std::uint32_t i = 0; i < entries; ++i)
        free_entries += (listing[i * listing_entry_bytes] & 0x0F) == free_state;
    return free_entries > 0 ? free_entries * STORAGE_ENTRY_BYTES - object_header_bytes : 0;
}

}  // namespace vlrp11
