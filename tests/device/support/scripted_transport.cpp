#include "support/scripted_transport.h"

#include "device/secure_channel.h"
#include "device/transport_reply.h"

namespace vlrp11::testing {
namespace {

Script* script = nullptr;

std::uint32_t scripted_transport(DeviceConnection*, std::uint8_t code, const std::uint8_t* request,
                                 std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length)
{
    script->sent.push_back({code, Bytes(request, request + request_length)});
    Answer answer{DEVICE_OK, {}};
    if (!script->answers.empty()) {
        answer = script->answers.front();
        script->answers.pop_front();
    }
    return deliver_reply(static_cast<std::uint8_t>(answer.status), answer.reply.data(),
                         static_cast<std::uint32_t>(answer.reply.size()), reply, reply_length);
}

}  // namespace

std::vector<std::uint8_t> Script::codes() const
{
    std::vector<std::uint8_t> out;
    for (const Sent& command : sent)
        out.push_back(command.code);
    return out;
}

void ScriptedDeviceTest::SetUp()
{
    script = &record;
}

void ScriptedDeviceTest::TearDown()
{
    script = nullptr;
}

DeviceConnection ScriptedDeviceTest::connection(DeviceKind kind, std::uint8_t version)
{
    DeviceConnection c{};
    c.kind = kind;
    c.login_state = LOGGED_OUT;
    c.atr_digit = 1;
    c.device_info[DEVICE_INFO_VERSION] = version;
    c.transport = scripted_transport;
    reset_channel_key(c);
    return c;
}

}  // namespace vlrp11::testing
