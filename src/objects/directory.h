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

}  // namespace vlrp11
