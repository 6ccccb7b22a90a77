#include "support/fake_object_device.h"

#include "device/command_codes.h"
#include "device/status.h"

#include <cstring>

namespace vlrp11::test {
namespace {

FakeObjectDevice* active = nullptr;

// What the device answers for an empty directory entry.
constexpr std::uint32_t ENTRY_EMPTY = 18;

std::uint32_t answer(const std::vector<std::uint8_t>& bytes, std::uint8_t* reply, std::uint32_t* length)
{
    if (bytes.size() > *length)
        return TRANSPORT_LENGTH;
    std::memcpy(reply, bytes.data(), bytes.size());
    *length = static_cast<std::uint32_t>(bytes.size());
    return 0;
}

std::uint32_t transport(DeviceConnection*, std::uint8_t code, const std::uint8_t* request, std::uint32_t,
                        std::uint8_t* reply, std::uint32_t* length)
{
    FakeObjectDevice& device = *active;
    device.commands.push_back(code);
    if (device.failStatus != 0)
        return device.failStatus;
    if (code == CMD_LIST_OBJECTS)
        return answer(device.directory, reply, length);
    auto& table = code == CMD_READ_PUBLIC_KEY ? device.publicKeys : device.replies;
    auto found = table.find(request[0]);
    return found == table.end() ? ENTRY_EMPTY : answer(found->second, reply, length);
}

}  // namespace

FakeObjectDevice::FakeObjectDevice()
{
    active = this;
    connection.kind = DEVICE_TOKEN;
    connection.login_state = LOGGED_IN_USER;
    connection.transport = transport;
}

FakeObjectDevice::~FakeObjectDevice()
{
    active = nullptr;
}

void FakeObjectDevice::entry(std::uint8_t state, std::uint8_t head)
{
    directory.insert(directory.end(), {state, head, 0, 0});
}

void FakeObjectDevice::chunk(std::uint8_t index, std::uint16_t announced, const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> reply = {0, 0, static_cast<std::uint8_t>(announced), static_cast<std::uint8_t>(announced >> 8)};
    reply.insert(reply.end(), bytes.begin(), bytes.end());
    replies[index] = reply;
}

std::vector<std::uint8_t> header_bytes(std::uint8_t kind, std::uint16_t parameter, std::uint8_t idLength)
{
    std::vector<std::uint8_t> header(104);
    header[0] = kind;
    header[2] = static_cast<std::uint8_t>(parameter);
    header[3] = static_cast<std::uint8_t>(parameter >> 8);
    header[4] = idLength;
    return header;
}

}  // namespace vlrp11::test
