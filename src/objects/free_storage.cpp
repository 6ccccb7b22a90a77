#include "objects/free_storage.h"

#include "device/status.h"
#include "objects/object_record.h"

namespace vlrp11 {

std::uint32_t free_storage_bytes(DeviceConnection& connection) noexcept
{
    DirectoryEntry directory[DIRECTORY_ENTRY_COUNT];
    unsigned count = 0;
    if (read_directory(connection, directory, count) != DEVICE_OK)
        return 0;
    std::uint32_t free_entries = 0;
    for (unsigned i = 0; i < count; ++i)
        free_entries += entry_free(directory[i]);
    return free_entries > 0 ? free_entries * STORAGE_ENTRY_BYTES - OBJECT_HEADER_BYTES : 0;
}

}  // namespace vlrp11
