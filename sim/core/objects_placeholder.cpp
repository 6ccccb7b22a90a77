// Stands in for the object code until it lands: a partition without objects and no object
// commands. The object code replaces this file (and defines ObjectStore in its own header).

#include "core/command.h"

namespace vlrp11::sim {

struct ObjectStore {};

std::shared_ptr<ObjectStore> make_object_store(const DeviceSpec&)
{
    return std::make_shared<ObjectStore>();
}

std::vector<std::uint8_t> save_object_store(const ObjectStore&)
{
    return {};
}

bool load_object_store(ObjectStore&, std::span<const std::uint8_t> saved)
{
    return saved.empty();
}

std::span<const CommandEntry> object_commands()
{
    return {};
}

}  // namespace vlrp11::sim
