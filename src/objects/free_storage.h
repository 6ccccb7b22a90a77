#pragma once

#include "objects/directory.h"

#include <cstdint>

namespace vlrp11 {

struct DeviceConnection;

// Room left on the device for object data, from its directory listing: the free entries times
// the entry size, less one object header; 0 when no entry is free or the listing fails. Sends
// one device command on the connection.
std::uint32_t free_storage_bytes(DeviceConnection& connection) noexcept;

}  // namespace vlrp11
