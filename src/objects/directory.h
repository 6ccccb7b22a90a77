#pragma once

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// One 4-byte entry of the device's object directory.
struct DirectoryEntry {
    std::uint8_t state;  // low nibble: 0xF free, 0xC public, else private; high nibble: 0x8 data, 0xC certificate, 0x3 key
    std::uint8_t head;   // index of the head entry of the file this chunk belongs to; 0xFF none
    std::uint8_t unused[2];
};
static_assert(sizeof(DirectoryEntry) == 4);

constexpr unsigned DIRECTORY_ENTRY_COUNT = 64;
// Bytes one storage entry holds: a chunk of an object file.
constexpr std::uint32_t STORAGE_ENTRY_BYTES = 2040;

inline bool entry_free(const DirectoryEntry& entry) noexcept
{
    return (entry.state & 0x0F) == 0x0F;
}

inline bool entry_public(const DirectoryEntry& entry) noexcept
{
    return (entry.state & 0x0F) == 0x0C;
}

inline bool entry_is_key(const DirectoryEntry& entry) noexcept
{
    return (entry.state >> 4) == 0x3;
}

inline bool entry_is_certificate(const DirectoryEntry& entry) noexcept
{
    return (entry.state >> 4) == 0xC;
}

// Lists the directory (one device command). A reply below 256 bytes holds length / 4 entries,
// a longer one all 64. Returns the device status; count and entries are set on success only.
std::uint32_t read_directory(DeviceConnection& connection, DirectoryEntry (&entries)[DIRECTORY_ENTRY_COUNT],
                             unsigned& count) noexcept;

constexpr std::uint8_t NO_HEAD_INDEX = 0xFF;

// A snapshot of the directory: the entries the listing named, at most 64.
struct Directory {
    DirectoryEntry entries[DIRECTORY_ENTRY_COUNT];
    unsigned count;
};

// read_directory into a snapshot, which is empty unless the status is DEVICE_OK.
std::uint32_t read_directory(DeviceConnection& connection, Directory& directory) noexcept;

// Takes the file whose head is at `head` off the device, as far as the snapshot shows it: first
// every chunk in use whose byte 1 names the head, from the highest index down, then the head
// itself when it is in use as a head (byte 1 the head or none). A file therefore never loses
// its head while chunks of it remain. Stops at the first delete that fails and returns its
// status; DEVICE_OK when everything went (or nothing was left).
std::uint32_t delete_file(DeviceConnection& connection, const Directory& directory, std::uint8_t head) noexcept;

}  // namespace vlrp11
