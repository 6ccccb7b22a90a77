#pragma once

#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

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
constexpr std::uint32_t OBJECT_CHUNK_BYTES = 2040;

// The object-cache refresh. While nobody or the security officer is logged in, the private token
// objects are dropped from the table. Then, when a user is logged in (private entries) or with
// the public pass on a token (public entries), the device's directory is read and every object
// not yet in the table is loaded: keys as their header, data objects and certificates whole.
// HSM objects are visible only after login. CKR_DEVICE_ERROR when the directory cannot be read;
// an object that fails to load is left out and the others still load.
CK_RV refresh_token_objects(DeviceConnection& connection, ObjectTable& tokenObjects, bool publicPass) noexcept;

}  // namespace vlrp11
