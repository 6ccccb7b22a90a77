// A network HSM served over TCP in process: command 16 with its MAC checked, many clients at
// once, the transport faults as a client that reads once sees them, and the core faults set
// through control requests.
#include <gtest/gtest.h>

#include <chrono>
#include <sys/socket.h>
#include <thread>

#include "core/command.h"
#include "support/sim_client.h"
#include "sim/support/hosted_fixture.h"

namespace vlrp11::sim {
namespace {

constexpr std::uint8_t cmd_get_device_info = 16;
// Status byte, 32 bytes of device information, MAC.
constexpr std::size_t info_reply_size = 39;

class NetworkClient {
public:
    explicit NetworkClient(const Endpoint& endpoint) : socket_(connect_tcp(endpoint, 1000)) {
        EXPECT_GE(socket_, 0);
        set_receive_timeout(socket_, 3000);
    }
    ~NetworkClient() { close_socket(socket_); }

    // One request frame out, one receive in, as the module does it.
    std::vector<std::uint8_t> exchange(std::uint8_t code) {
        EXPECT_TRUE(send_all(socket_, channel.build_tcp_frame(code, {})));
        return receive_once();
    }
    std::vector<std::uint8_t> receive_once() {
        std::vector<std::uint8_t> reply(2056);
        ssize_t got = recv(socket_, reply.data(), reply.size(), 0);
        reply.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return reply;
    }
    ClientReply device_info() { return channel.parse_tcp_reply(exchange(cmd_get_device_info)); }

    ClientChannel channel;

private:
    int socket_;
};

std::uint32_t serial_of(const ClientReply& reply) {
    return reply.data[0] | reply.data[1] << 8 | reply.data[2] << 16 | std::uint32_t(reply.data[3]) << 24;
}

TEST(NetworkHsmServer, AnswersDeviceInformationWithAValidMac) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3001);
    NetworkClient client(served.endpoint());
    auto reply = client.device_info();
    ASSERT_EQ(reply.status, status::ok);
    ASSERT_EQ(reply.data.size(), 32u);
    EXPECT_EQ(serial_of(reply), 3001u);
    // Code and MAC went in, the reply frame came out.
    EXPECT_EQ(served.control("traffic dev3001"), "ok 1 7 " + std::to_string(info_reply_size));
}

TEST(NetworkHsmServer, ServesManyConnectionsAtOnce) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3002);
    constexpr int clients = 12;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&] {
            NetworkClient client(served.endpoint());
            for (int round = 0; round < 20; ++round) {
                auto reply = client.device_info();
                good += reply.status == status::ok && serial_of(reply) == 3002u;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(good, clients * 20);
}

TEST(NetworkHsmServer, TransportFaultsSpoilOneReplyAsTheClientSeesIt) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3003);
    const struct {
        const char* request;
        std::size_t received;  // bytes in the client's single receive
        int status;            // what the client makes of them
    } cases[] = {
        {"truncate dev3003 5", 5, vlrp11::TRANSPORT_FAILED},
        {"truncate dev3003 20", 20, vlrp11::TRANSPORT_BAD_MAC},
        {"split dev3003 10", 10, vlrp11::TRANSPORT_BAD_MAC},
        {"latency dev3003 0", info_reply_size, status::ok},
    };
    NetworkClient client(served.endpoint());
    for (const auto& c : cases) {
        ASSERT_EQ(served.control(c.request), "ok");
        auto raw = client.exchange(cmd_get_device_info);
        EXPECT_EQ(raw.size(), c.received) << c.request;
        EXPECT_EQ(client.channel.parse_tcp_reply(raw).status, c.status) << c.request;
        if (raw.size() == 10) {
            EXPECT_EQ(client.receive_once().size(), info_reply_size - 10) << "the rest follows";
        }
        EXPECT_EQ(client.device_info().status, status::ok) << "after " << c.request;
    }
}

TEST(NetworkHsmServer, DropClosesTheConnectionInsteadOfAnswering) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3004);
    ASSERT_EQ(served.control("drop dev3004"), "ok");
    NetworkClient dropped(served.endpoint());
    EXPECT_TRUE(dropped.exchange(cmd_get_device_info).empty());
    NetworkClient next(served.endpoint());
    EXPECT_EQ(next.device_info().status, status::ok);
}

TEST(NetworkHsmServer, LatencyDelaysEveryReplyUntilCleared) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3005);
    NetworkClient client(served.endpoint());
    ASSERT_EQ(served.control("latency dev3005 250"), "ok");
    for (int i = 0; i < 2; ++i) {
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.device_info().status, status::ok);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    }
    ASSERT_EQ(served.control("clear dev3005"), "ok");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.device_info().status, status::ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
}

TEST(NetworkHsmServer, CoreFaultsArriveThroughControlRequests) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3006);
    NetworkClient client(served.endpoint());
    ASSERT_EQ(served.control("busy dev3006 2 16"), "ok");
    EXPECT_EQ(client.device_info().status, status::busy);
    EXPECT_EQ(client.device_info().status, status::busy);
    EXPECT_EQ(client.device_info().status, status::ok);
    ASSERT_EQ(served.control("status dev3006 48"), "ok");
    EXPECT_EQ(client.device_info().status, status::wrong_pin);
    ASSERT_EQ(served.control("corrupt-mac dev3006"), "ok");
    EXPECT_EQ(client.device_info().status, vlrp11::TRANSPORT_BAD_MAC);
    ASSERT_EQ(served.control("busy dev3006 5 18"), "ok");
    EXPECT_EQ(client.device_info().status, status::ok) << "armed for another command";
    ASSERT_EQ(served.control("clear dev3006"), "ok");
    EXPECT_EQ(client.channel.parse_tcp_reply(client.exchange(18)).status, status::ok) << "cleared";
}

TEST(ControlRequests, MalformedRequestsAreRefusedWithAReason) {
    testing::ServedDevice served(DeviceKind::network_hsm, 3007);
    const struct {
        const char* request;
        const char* answer_start;
    } cases[] = {
        {"list", "ok dev3007 network 127.0.0.1:"},
        {"  busy   dev3007  1  ", "ok"},
        {"corrupt-mac dev3007 16", "ok"},
        {"", "error unknown request"},
        {"reboot dev3007", "error unknown request"},
        {"busy", "error usage: busy <device> <number> [<number>]"},
        {"busy dev3007", "error usage"},
        {"busy dev3007 1 16 3", "error usage"},
        {"busy dev3007 x", "error usage"},
        {"busy dev3007 -1", "error usage"},
        {"busy dev3007 1 256", "error usage"},
        {"status dev3007 256", "error usage"},
        {"drop dev3007 1 2", "error usage: drop <device> [<number>]"},
        {"latency dev3007 1000001", "error usage"},
        {"drop nosuch", "error no device nosuch"},
        {"traffic nosuch", "error no device nosuch"},
        {"traffic dev3007 1", "error unknown request"},
    };
    for (const auto& c : cases) {
        std::string answer = served.control(c.request);
        EXPECT_TRUE(answer.starts_with(c.answer_start)) << c.request << " -> " << answer;
    }
}

}  // namespace
}  // namespace vlrp11::sim
