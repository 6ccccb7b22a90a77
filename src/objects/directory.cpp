#include "objects/directory.h"

#include "device/key_commands.h"
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

std::uint32_t read_directory(DeviceConnection& connection, Directory& directory) noexcept
{
    directory.count = 0;
    return read_directory(connection, directory.entries, directory.count);
}

std::uint32_t delete_file(DeviceConnection& connection, const Directory& directory, std::uint8_t head) noexcept
{
    for (unsigned j = directory.count; j-- > 0;) {
        const DirectoryEntry& entry = directory.entries[j];
        if (j == head || entry_free(entry) || entry.head != head)
            continue;
        if (std::uint32_t status = delete_object(connection, static_cast<std::uint8_t>(j)); status != DEVICE_OK)
            return status;
    }
    if (head >= directory.count)
        return DEVICE_OK;
    const DirectoryEntry& entry = directory.entries[head];
    if (entry_free(entry) || (entry.head != head && entry.head != NO_HEAD_INDEX))
        return DEVICE_OK;
    return delete_object(connection, head);
}

}  // namespace vlrp11
