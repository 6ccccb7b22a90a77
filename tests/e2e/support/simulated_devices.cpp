#include "support/simulated_devices.h"

#include "device/device_commands.h"
#include "device/secure_channel.h"
#include "device/transport.h"
#include "platform/pcsc.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace vlrp11::testing {

sim::DeviceSpec spec_for(sim::DeviceKind kind, std::uint32_t serial)
{
    sim::DeviceSpec spec = sim::default_spec(kind);
    spec.serial = serial;
    spec.so_pin = SO_PIN;
    spec.user_pin = USER_PIN;
    return spec;
}

SimulatedDevice::SimulatedDevice(sim::DeviceSpec spec)
{
    std::random_device random;
    stateDir = std::filesystem::temp_directory_path() / ("vlrp11-e2e-" + std::to_string(random()));
    std::string error;
    device = sim::Device::create(stateDir, spec, error);
    EXPECT_NE(device, nullptr) << error;
}

SimulatedDevice::~SimulatedDevice()
{
    device.reset();
    std::error_code ignored;
    std::filesystem::remove_all(stateDir, ignored);
}

namespace {

sim::Device* card = nullptr;

PcscResult transmit(PcscCard, const std::uint8_t* command, std::uint32_t command_length, std::uint8_t* response,
                    std::uint32_t* response_length)
{
    std::vector<std::uint8_t> answer = card->transmit({command, command_length});
    if (answer.size() > *response_length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(response, answer.data(), answer.size());
    *response_length = static_cast<std::uint32_t>(answer.size());
    return PCSC_SUCCESS;
}

PcscResult get_attrib(PcscCard, std::uint32_t attribute, std::uint8_t* value, std::uint32_t* length)
{
    std::vector<std::uint8_t> atr = card->atr();
    if (attribute != PCSC_ATTR_ATR_STRING || atr.size() > *length)
        return 0x80100008;
    std::memcpy(value, atr.data(), atr.size());
    *length = static_cast<std::uint32_t>(atr.size());
    return PCSC_SUCCESS;
}

PcscResult disconnect(PcscCard, std::uint32_t)
{
    return PCSC_SUCCESS;
}

PcscFunctions table()
{
    PcscFunctions functions{};
    functions.transmit = transmit;
    functions.get_attrib = get_attrib;
    functions.disconnect = disconnect;
    return functions;
}

const PcscFunctions functions = table();

void serve(sim::Device& device, int fd)
{
    std::unique_ptr<sim::TcpSession> session = device.open_tcp_session();
    std::vector<std::uint8_t> buffer(4096);
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        int ready = poll(&entry, 1, session->pending() ? 500 : -1);
        std::vector<std::uint8_t> reply;
        if (ready == 0) {
            reply = session->flush();
        } else {
            ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
            if (got <= 0)
                return;
            reply = session->receive({buffer.data(), static_cast<std::size_t>(got)});
        }
        if (!reply.empty() && send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0)
            return;
        if (session->closed())
            return;
    }
}

}  // namespace

SimulatedCard::SimulatedCard(sim::Device& device)
{
    card = &device;
    bind_pcsc(&functions);
}

SimulatedCard::~SimulatedCard()
{
    bind_pcsc(nullptr);
    card = nullptr;
}

SimulatedNetworkLink::SimulatedNetworkLink(sim::Device& device)
{
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    libraryEnd_ = fds[0];
    libraryDuplicate_ = dup(fds[0]);
    deviceEnd_ = fds[1];
    server_ = std::thread(serve, std::ref(device), deviceEnd_);
}

SimulatedNetworkLink::~SimulatedNetworkLink()
{
    shutdown(libraryEnd_, SHUT_RDWR);
    server_.join();
    close(deviceEnd_);
    close(libraryEnd_);
}

DeviceConnection* connect_simulated(std::int32_t kind, std::uint64_t handle, std::int32_t instance)
{
    auto* connection = static_cast<DeviceConnection*>(std::calloc(1, sizeof(DeviceConnection)));
    connection->kind = kind;
    connection->instance = instance;
    connection->handle = handle;
    connection->login_state = LOGGED_OUT;
    reset_channel_key(*connection);
    if (drbg_instantiate(connection->random) != 0) {
        std::free(connection);
        return nullptr;
    }
    if (kind == DEVICE_NETWORK_HSM) {
        connection->transport = transmit_tcp;
    } else {
        connection->transport = transmit_apdu;
        connection->atr_length = sizeof connection->atr;
        pcsc()->get_attrib(handle, PCSC_ATTR_ATR_STRING, connection->atr, &connection->atr_length);
        static const std::uint8_t pattern[] = {0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W'};
        if (connection->atr_length == 20 && std::memcmp(connection->atr, pattern, sizeof pattern) == 0)
            connection->atr_digit = connection->atr[12] - '0';
    }
    if (wait_device_info(*connection) != 0) {
        std::free(connection);
        return nullptr;
    }
    return connection;
}

}  // namespace vlrp11::testing
