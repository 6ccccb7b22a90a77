#include "objects/directory.h"

#include "device/object_commands.h"
#include "device/status.h"

#include <cstring>

namespace vlrp11 {

std::uint32_t read_directory(DeviceConnection& connection, DirectoryEntry (&entries)[DIRECTORY_ENTRY_COUNT],
                             unsigned& count) noexcept
{
    std::uint8_t reply[DIRECTORY_REPLY_CAPACITY];
    std::uint32_t length = sizeof reply;
    std::uint32_t status = list_objects(connection, reply, &length);
    if (status != DEVICE_OK)
        return status;
    count = length < 256 ? length / sizeof(DirectoryEntry) : DIRECTORY_ENTRY_COUNT;
    std::memcpy(entries, reply, count * sizeof(DirectoryEntry));
    return DEVICE_OK;
}

}  // namespace vlrp11
