#include "support/session_fixture.h"

#include "api/handles.h"
#include "api/library_state.h"
#include "device/command_codes.h"
#include "device/device_connection.h"
#include "objects/object_record.h"

#include <algorithm>

namespace vlrp11::testing {
namespace {

std::uint32_t scripted_transport(DeviceConnection*, std::uint8_t code, const std::uint8_t* request,
                                 std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    FakeDeviceScript& script = fake_device();
    const std::uint32_t capacity = reply_length != nullptr ? *reply_length : 0;
    script.sent.push_back({code, Bytes(request, request + request_length), capacity});
    if (script.status != 0 || reply_length == nullptr)
        return script.status;
    Bytes data = script.reply;
    if (code == CMD_GET_RANDOM)
        data.assign(static_cast<std::size_t>(std::max(0, int(request[0]) + script.randomExtra)), 0xA5);
    *reply_length = static_cast<std::uint32_t>(data.size());
    if (data.size() > capacity)
        return TRANSPORT_LENGTH;
    std::copy(data.begin(), data.end(), reply);
    return 0;
}

}  // namespace

FakeDeviceScript& fake_device()
{
    static FakeDeviceScript script;
    return script;
}

void SessionTest::SetUp()
{
    ModuleTest::SetUp();
    fake_device() = FakeDeviceScript{};
    slot = place_fake_device(0, DEVICE_TOKEN);
    library_state().slots[0].connection->transport = scripted_transport;
    session = open_fake_session(slot, 0);
}

SessionRecord& SessionTest::record()
{
    return *library_state().slots[0].sessions[0];
}

CK_OBJECT_HANDLE SessionTest::session_key(unsigned index, std::uint32_t objectClass, std::uint8_t kind,
                                          const Bytes& value, std::uint8_t flags)
{
    ObjectRecord* key = add_session_object(session, index, objectClass);
    key->isPrivate = 1;
    key->header.keyKind = kind;
    key->header.flags = flags;
    set_object_value(*key, value.data(), static_cast<std::uint32_t>(value.size()));
    return 0x8000 + index + 1;
}

CK_OBJECT_HANDLE SessionTest::token_key(unsigned index, std::uint32_t objectClass, std::uint8_t kind,
                                        std::uint8_t deviceIndex, std::uint8_t flags)
{
    ObjectRecord* key = add_token_object(slot, index, objectClass);
    key->connection = library_state().slots[0].connection;
    key->token = 1;
    key->isPrivate = 1;
    key->header.keyKind = kind;
    key->header.flags = flags;
    key->deviceIndex = deviceIndex;
    return index + 1;
}

}  // namespace vlrp11::testing
