#include "crypto/aes.h"
#include "device/device_connection.h"
#include "device/secure_channel.h"
#include "device/transport.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace vlrp11 {
namespace {

// A device status with no meaning of its own to the library: it passes through.
constexpr std::uint8_t unlisted = 0x6A;

using Bytes = std::vector<std::uint8_t>;

// The library's end of a connected socket pair is the connection; the test plays the device
// on the other end with a mirror of the channel state.
class TransportTcpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int fds[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        connection.kind = DEVICE_NETWORK_HSM;
        connection.handle = static_cast<std::uint64_t>(fds[0]);
        connection.login_state = LOGGED_OUT;
        connection.transport = transmit_tcp;
        reset_channel_key(connection);
        mirror = connection;
        peer = fds[1];
    }
    void TearDown() override
    {
        close(static_cast<int>(connection.handle));
        if (peer >= 0)
            close(peer);
    }

    void log_in()
    {
        std::uint8_t key[16];
        for (int i = 0; i < 16; ++i)
            key[i] = static_cast<std::uint8_t>(3 * i);
        for (DeviceConnection* c : {&connection, &mirror}) {
            set_channel_key(*c, key);
            std::memset(c->counter, 0xA5, 16);
            c->keystream_pos = 0;
            c->login_state = LOGGED_IN_USER;
        }
    }

    // The device reads a request of the given length and keeps its keystream in step.
    Bytes read_request(std::size_t n)
    {
        Bytes frame(n);
        std::size_t got = 0;
        while (got < n) {
            ssize_t r = recv(peer, frame.data() + got, n - got, 0);
            if (r <= 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        if (mirror.login_state != LOGGED_OUT)
            channel_crypt(mirror, frame.data(), n - 6, frame.data());
        return frame;
    }

    Bytes reply_frame(std::uint8_t status, const Bytes& data)
    {
        Bytes frame{status};
        frame.insert(frame.end(), data.begin(), data.end());
        std::uint8_t mac[6];
        channel_mac(mirror, frame.data(), frame.size(), mac);
        if (mirror.login_state != LOGGED_OUT && !data.empty())
            channel_crypt(mirror, frame.data() + 1, data.size(), frame.data() + 1);
        frame.insert(frame.end(), mac, mac + 6);
        return frame;
    }

    void send_bytes(const Bytes& bytes) { ASSERT_EQ(send(peer, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size())); }

    DeviceConnection connection{};
    DeviceConnection mirror{};
    int peer = -1;
};

TEST_F(TransportTcpTest, FrameLayoutBeforeLogin)
{
    Bytes request = {1, 2, 3};
    Bytes data = {9, 8, 7, 6};
    send_bytes(reply_frame(0, data));  // the socket holds the reply until it is read
    Bytes reply(16);
    std::uint32_t length = 16;
    EXPECT_EQ(transmit_tcp(&connection, 48, request.data(), 3, reply.data(), &length), DEVICE_OK);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 4), data);

    Bytes frame = read_request(10);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{48, 1, 2, 3}));
    std::uint8_t mac[6];
    channel_mac(mirror, frame.data(), 4, mac);
    EXPECT_EQ(Bytes(frame.begin() + 4, frame.end()), Bytes(mac, mac + 6));
}

TEST_F(TransportTcpTest, CodeAndDataEncryptedAfterLoginStatusClear)
{
    log_in();
    std::thread device([&] {
        Bytes frame = read_request(1 + 2 + 6);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 3), (Bytes{84, 0x10, 0x20}));
        Bytes reply = reply_frame(unlisted, {1, 2, 3, 4, 5});
        EXPECT_EQ(reply[0], unlisted);
        send_bytes(reply);
    });
    Bytes request = {0x10, 0x20};
    Bytes reply(8);
    std::uint32_t length = 8;
    EXPECT_EQ(transmit_tcp(&connection, 84, request.data(), 2, reply.data(), &length), unlisted);
    device.join();
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 5), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(connection.keystream_pos, mirror.keystream_pos);
    EXPECT_EQ(0, std::memcmp(connection.counter, mirror.counter, 16));
}

TEST_F(TransportTcpTest, SplitReplyIsReassembled)
{
    log_in();
    std::thread device([&] {
        read_request(1 + 6);
        Bytes reply = reply_frame(0, Bytes(300, 0x3C));
        send_bytes(Bytes(reply.begin(), reply.begin() + 100));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        send_bytes(Bytes(reply.begin() + 100, reply.end()));
    });
    Bytes reply(400);
    std::uint32_t length = 400;
    EXPECT_EQ(transmit_tcp(&connection, 48, nullptr, 0, reply.data(), &length), DEVICE_OK);
    device.join();
    EXPECT_EQ(length, 300u);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 300), Bytes(300, 0x3C));
    EXPECT_EQ(connection.keystream_pos, mirror.keystream_pos);
}

TEST_F(TransportTcpTest, ADamagedReplyWhileLoggedInKeepsTheKeystreamsInStep)
{
    log_in();
    Bytes reply(8);
    std::uint32_t length = 8;
    for (std::size_t data : {0, 5, 16, 40}) {
        std::thread device([&] {
            read_request(1 + 6);
            Bytes damaged = reply_frame(DEVICE_OK, Bytes(data, 0x5A));
            damaged.back() ^= 0x01;
            send_bytes(damaged);
        });
        length = 64;
        reply.resize(64);
        EXPECT_EQ(transmit_tcp(&connection, 48, nullptr, 0, reply.data(), &length), TRANSPORT_BAD_MAC) << data;
        device.join();
        EXPECT_EQ(connection.keystream_pos, mirror.keystream_pos) << data;
        EXPECT_EQ(0, std::memcmp(connection.counter, mirror.counter, 16)) << data;
    }
    // And the next command goes through.
    std::thread device([&] {
        read_request(1 + 6);
        send_bytes(reply_frame(DEVICE_OK, {1, 2, 3}));
    });
    EXPECT_EQ(transmit_tcp(&connection, 48, nullptr, 0, reply.data(), &length), DEVICE_OK);
    device.join();
    EXPECT_EQ(length, 3u);
}

TEST_F(TransportTcpTest, ARequestThatCannotBeSentFailsAtOnce)
{
    // Even a reply that happens to be waiting is not taken for the answer.
    send_bytes(reply_frame(DEVICE_OK, {}));
    ASSERT_EQ(shutdown(static_cast<int>(connection.handle), SHUT_WR), 0);
    EXPECT_EQ(transmit_tcp(&connection, 16, nullptr, 0, nullptr, nullptr), TRANSPORT_FAILED);
}

TEST_F(TransportTcpTest, LargestRequestGoesOut)
{
    Bytes request(MAX_REQUEST_LENGTH, 0x21);
    std::thread device([&] {
        Bytes frame = read_request(1 + MAX_REQUEST_LENGTH + 6);
        EXPECT_EQ(Bytes(frame.begin() + 1, frame.end() - 6), request);
        send_bytes(reply_frame(DEVICE_OK, {}));
    });
    EXPECT_EQ(transmit_tcp(&connection, 74, request.data(), MAX_REQUEST_LENGTH, nullptr, nullptr), DEVICE_OK);
    device.join();
}

TEST_F(TransportTcpTest, FailuresAndRefusals)
{
    Bytes reply(4, 0xEE);
    std::uint32_t length = 4;

    // A damaged MAC: 42 after the wait for more bytes, nothing copied.
    Bytes damaged = reply_frame(0, {1, 2});
    damaged.back() ^= 0x01;
    send_bytes(damaged);
    EXPECT_EQ(transmit_tcp(&connection, 16, nullptr, 0, reply.data(), &length), TRANSPORT_BAD_MAC);
    EXPECT_EQ(reply, Bytes(4, 0xEE));

    // More data than the caller can take: refused, nothing copied.
    read_request(7);
    send_bytes(reply_frame(0, Bytes(5, 1)));
    EXPECT_EQ(transmit_tcp(&connection, 16, nullptr, 0, reply.data(), &length), TRANSPORT_LENGTH);
    EXPECT_EQ(reply, Bytes(4, 0xEE));

    // A request that is too long goes nowhere.
    Bytes big(2050);
    EXPECT_EQ(transmit_tcp(&connection, 16, big.data(), 2050, nullptr, nullptr), TRANSPORT_LENGTH);

    // Six bytes and a closed connection: the exchange failed.
    send_bytes(Bytes(6, 0));
    close(peer);
    peer = -1;
    EXPECT_EQ(transmit_tcp(&connection, 16, nullptr, 0, nullptr, nullptr), TRANSPORT_FAILED);
}

}  // namespace
}  // namespace vlrp11
