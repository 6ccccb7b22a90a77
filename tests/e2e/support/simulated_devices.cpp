#include "support/simulated_devices.h"

#include "platform/pcsc.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>

namespace vlrp11::testing {

sim::DeviceProfile profile_for(sim::DeviceKind kind, std::uint32_t serial)
{
    sim::DeviceProfile profile = sim::default_profile(kind);
    profile.serial = serial;
    profile.so_pin = SO_PIN;
    profile.user_pin = USER_PIN;
    return profile;
}

SimulatedDevice::SimulatedDevice(sim::DeviceProfile profile)
{
    std::random_device random;
    stateDir = std::filesystem::temp_directory_path() / ("vlrp11-e2e-" + std::to_string(random()));
    std::string error;
    device = sim::Device::create(stateDir, profile, error);
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
        return PCSC_E_INSUFFICIENT_BUFFER;
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

// One TCP connection: bytes in, replies out; a quiet peer with bytes held gets them answered
// as one frame, as the device does.
void serve(sim::Device& device, int fd)
{
    std::unique_ptr<sim::TcpSession> session = device.open_tcp_session();
    std::vector<std::uint8_t> buffer(4096);
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        int ready = poll(&entry, 1, session->pending() ? 250 : -1);
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

SimulatedNetworkHsm::SimulatedNetworkHsm(sim::Device& device) : device_(device)
{
    std::random_device random;
    for (int attempt = 0; attempt < 50 && listener_ < 0; ++attempt) {
        address_ = "127.0.1." + std::to_string(10 + random() % 240);
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(5656);
        inet_pton(AF_INET, address_.c_str(), &local.sin_addr);
        if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 && listen(fd, 8) == 0)
            listener_ = fd;
        else
            close(fd);
    }
    EXPECT_GE(listener_, 0) << "no free loopback address for port 5656";
    acceptor_ = std::thread([this] { accept_loop(); });
}

void SimulatedNetworkHsm::accept_loop()
{
    while (!stopping_) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0)
            continue;
        int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0)
            continue;
        std::lock_guard lock(mutex_);
        sockets_.push_back(fd);
        servers_.emplace_back(serve, std::ref(device_), fd);
    }
}

SimulatedNetworkHsm::~SimulatedNetworkHsm()
{
    stopping_ = true;
    acceptor_.join();
    for (int fd : sockets_)
        shutdown(fd, SHUT_RDWR);
    for (std::thread& server : servers_)
        server.join();
    for (int fd : sockets_)
        close(fd);
    if (listener_ >= 0)
        close(listener_);
}

}  // namespace vlrp11::testing
