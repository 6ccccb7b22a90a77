// PINs never travel: everything that crosses the reader link or the TCP connection during
// login, PIN change and PIN setting is searched for the PINs and for the values derived from them.
#include "support/simulated_devices.h"
#include "support/simulated_readers.h"
#include "support/openssl_pin.h"
#include "support/temp_dir.h"

#include "api/function_table.h"
#include "ifd/socket_io.h"
#include "server/socket_server.h"

#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <vector>

namespace vlrp11::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Relays TCP connections from its own loopback address (port 5656) to a network HSM and keeps
// every byte that passes, both ways.
class RecordingRelay {
public:
    explicit RecordingRelay(const std::string& target) : target_(target)
    {
        std::random_device random;
        int listener = -1;
        for (int attempt = 0; attempt < 50 && listener < 0; ++attempt) {
            address_ = "127.0.2." + std::to_string(10 + random() % 240);
            listener = sim::listen_tcp({address_, 5656});
        }
        EXPECT_GE(listener, 0);
        if (listener >= 0)
            server_.start(listener, [this](int client) { relay(client); });
    }

    const std::string& address() const { return address_; }

    Bytes traffic()
    {
        std::lock_guard lock(mutex_);
        return traffic_;
    }

private:
    void relay(int client)
    {
        int device = sim::connect_tcp({target_, 5656}, 1000);
        if (device < 0)
            return;
        pollfd ends[2] = {{client, POLLIN, 0}, {device, POLLIN, 0}};
        std::uint8_t buffer[4096];
        for (bool open = true; open;) {
            if (poll(ends, 2, 5000) <= 0)
                break;
            for (int i = 0; i < 2 && open; ++i) {
                if ((ends[i].revents & (POLLIN | POLLHUP)) == 0)
                    continue;
                ssize_t got = recv(ends[i].fd, buffer, sizeof buffer, 0);
                open = got > 0 && send(ends[1 - i].fd, buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL) == got;
                if (open) {
                    std::lock_guard lock(mutex_);
                    traffic_.insert(traffic_.end(), buffer, buffer + got);
                }
            }
        }
        sim::close_socket(device);
    }

    std::string target_;
    std::string address_;
    std::mutex mutex_;
    Bytes traffic_;
    sim::SocketServer server_;
};

Bytes bytes_of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// A and B of a PIN, as the device's PIN commands carry them.
std::vector<Bytes> derived_halves(const std::string& pin)
{
    std::uint8_t d[SHA512_DIGEST_LENGTH];
    openssl_pin_digest(reinterpret_cast<const std::uint8_t*>(pin.data()), pin.size(), d);
    return {Bytes(d, d + 16), Bytes(d + 32, d + 48)};
}

bool contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

class PinOnTheWire : public ::testing::TestWithParam<sim::DeviceKind> {};

TEST_P(PinOnTheWire, NeitherPinsNorTheirDerivedValuesAppear)
{
    SimulatedDevice simulated(profile_for(GetParam(), 5151));
    ASSERT_NE(simulated.device, nullptr);
    SimulatedReaders readers;
    std::unique_ptr<SimulatedNetworkHsm> hsm;
    std::unique_ptr<RecordingRelay> relay;
    TempDir dir("vlrp11-wire");
    if (GetParam() == sim::DeviceKind::network_hsm) {
        hsm = std::make_unique<SimulatedNetworkHsm>(simulated.host);
        relay = std::make_unique<RecordingRelay>(hsm->address());
        configure_network_hsm(dir.path(), relay->address());
    } else {
        readers.add_reader("KESTRELWORKSHOP VELLARO token 00 00", simulated.device);
    }
    const std::string new_pin = "fresh-pin-42";
    const std::string set_pin = "set-by-officer";
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    CK_SESSION_HANDLE session = 0;
    ASSERT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session), CKR_OK);
    auto pin = [](const std::string& text) { return reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(text.c_str())); };
    ASSERT_EQ(p11->C_Login(session, CKU_USER, pin(USER_PIN), std::strlen(USER_PIN)), CKR_OK);
    ASSERT_EQ(p11->C_SetPIN(session, nullptr, 0, pin(new_pin), new_pin.size()), CKR_OK);
    ASSERT_EQ(p11->C_Logout(session), CKR_OK);
    ASSERT_EQ(p11->C_Login(session, CKU_SO, pin(SO_PIN), std::strlen(SO_PIN)), CKR_OK);
    ASSERT_EQ(p11->C_InitPIN(session, pin(set_pin), set_pin.size()), CKR_OK);
    ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    ::unsetenv("VLRP11_MORVA_HSM_CONFIG");

    Bytes traffic = relay ? relay->traffic() : readers.traffic();
    ASSERT_GT(traffic.size(), 500u);
    for (const std::string& secret : {std::string(USER_PIN), std::string(SO_PIN), new_pin, set_pin}) {
        EXPECT_FALSE(contains(traffic, bytes_of(secret))) << secret;
        for (const Bytes& half : derived_halves(secret))
            EXPECT_FALSE(contains(traffic, half)) << secret << " (derived)";
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, PinOnTheWire,
                         ::testing::Values(sim::DeviceKind::token, sim::DeviceKind::network_hsm), kind_test_name);

}  // namespace
}  // namespace vlrp11::testing
