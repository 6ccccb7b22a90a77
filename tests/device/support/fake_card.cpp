#include "support/fake_card.h"

#include "device/secure_channel.h"
#include "device/transport.h"
#include "platform/pcsc.h"

#include <cstring>

namespace vlrp11::testing {
namespace {

FakeCard* current = nullptr;

PcscResult transmit(PcscCard, const std::uint8_t* command, std::uint32_t command_length, std::uint8_t* response,
                    std::uint32_t* response_length)
{
    current->sent.emplace_back(command, command + command_length);
    if (current->failTransmit)
        return 0x80100016;
    std::vector<std::uint8_t> answer = current->respond(current->sent.back());
    if (answer.size() > *response_length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(response, answer.data(), answer.size());
    *response_length = static_cast<std::uint32_t>(answer.size());
    return PCSC_SUCCESS;
}

PcscFunctions table()
{
    PcscFunctions functions{};
    functions.transmit = transmit;
    return functions;
}

const PcscFunctions functions = table();

}  // namespace

FakeCard::FakeCard(Responder responder) : respond(std::move(responder))
{
    current = this;
    bind_pcsc(&functions);
}

FakeCard::~FakeCard()
{
    bind_pcsc(nullptr);
    current = nullptr;
}

DeviceConnection make_pcsc_connection(DeviceKind kind)
{
    DeviceConnection connection{};
    connection.kind = kind;
    connection.handle = 1;
    connection.login_state = LOGGED_OUT;
    connection.transport = transmit_apdu;
    reset_channel_key(connection);
    return connection;
}

std::vector<std::uint8_t> device_response(DeviceConnection& device, std::span<const std::uint8_t> data,
                                          std::uint8_t status)
{
    std::vector<std::uint8_t> response(CHANNEL_MAC_LENGTH);
    response.insert(response.end(), data.begin(), data.end());
    response.push_back(0x90);
    response.push_back(status);
    channel_mac(device, response.data() + CHANNEL_MAC_LENGTH, response.size() - CHANNEL_MAC_LENGTH, response.data());
    if (device.login_state != LOGGED_OUT && !data.empty())
        channel_crypt(device, response.data() + CHANNEL_MAC_LENGTH, data.size(), response.data() + CHANNEL_MAC_LENGTH);
    return response;
}

}  // namespace vlrp11::testing
