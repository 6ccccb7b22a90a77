// The loopback link format, endpoints, and the transport faults' plans and delivery.
#include <gtest/gtest.h>

#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "ifd/reader_link.h"
#include "ifd/socket_io.h"
#include "server/transport_faults.h"

namespace vlrp11::sim {
namespace {

struct SocketPair {
    int ends[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0); }
    ~SocketPair() {
        close_socket(ends[0]);
        close_socket(ends[1]);
    }
};

TEST(ReaderLink, HeaderIsOperationThenLittleEndianLength) {
    std::vector<std::uint8_t> payload(0x01F3, 0xAB);
    auto bytes = link::encode(4, payload);
    ASSERT_EQ(bytes.size(), 5u + 0x01F3);
    EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 5)),
              (std::vector<std::uint8_t>{4, 0xF3, 0x01, 0, 0}));
    EXPECT_EQ(link::encode(1, {}), (std::vector<std::uint8_t>{1, 0, 0, 0, 0}));
}

TEST(ReaderLink, LengthsAboveTheExtendedApduLimitAreRefused) {
    const struct {
        std::array<std::uint8_t, 5> header;
        std::optional<std::uint32_t> length;
    } cases[] = {
        {{0, 0x0C, 0x00, 0x01, 0x00}, 65548},  // the largest extended APDU with framing
        {{0, 0x0D, 0x00, 0x01, 0x00}, std::nullopt},
        {{0, 0x00, 0x00, 0x00, 0x80}, std::nullopt},
        {{0, 0xFF, 0xFF, 0xFF, 0xFF}, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(link::payload_length(c.header), c.length);
    }
}

TEST(ReaderLink, MessagesCrossAStreamWhole) {
    SocketPair pair;
    std::vector<std::uint8_t> apdu(2064);
    for (std::size_t i = 0; i < apdu.size(); ++i) {
        apdu[i] = static_cast<std::uint8_t>(i);
    }
    ASSERT_TRUE(link::write_message(pair.ends[0], 4, apdu));
    ASSERT_TRUE(link::write_message(pair.ends[0], 2, {}));
    auto first = link::read_message(pair.ends[1]);
    auto second = link::read_message(pair.ends[1]);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->head, 4);
    EXPECT_EQ(first->payload, apdu);
    EXPECT_EQ(second->head, 2);
    EXPECT_TRUE(second->payload.empty());
}

TEST(ReaderLink, CutOrOversizedMessagesAreNotMessages) {
    {
        SocketPair pair;
        auto bytes = link::encode(4, std::vector<std::uint8_t>(10));
        ASSERT_TRUE(send_all(pair.ends[0], std::span(bytes).first(9)));
        close_socket(pair.ends[0]);
        EXPECT_FALSE(link::read_message(pair.ends[1]));
    }
    {
        SocketPair pair;
        std::vector<std::uint8_t> header{4, 0xFF, 0xFF, 0xFF, 0x7F};
        ASSERT_TRUE(send_all(pair.ends[0], header));
        EXPECT_FALSE(link::read_message(pair.ends[1]));
    }
}

TEST(Endpoints, DefaultPortOnlyWhereNoneIsGiven) {
    const struct {
        const char* text;
        std::uint16_t default_port;
        const char* expected;  // nullptr: refused
    } cases[] = {
        {"127.0.0.2", 5656, "127.0.0.2:5656"},
        {"127.0.0.2:7000", 5656, "127.0.0.2:7000"},
        {"127.0.0.1:0x9000", 0, "127.0.0.1:36864"},
        {"127.0.0.2", 0, nullptr},
        {"127.0.0.2:", 5656, nullptr},
        {"127.0.0.2:-1", 5656, nullptr},
        {"127.0.0.256:1", 0, nullptr},
        {"::1:5656", 0, nullptr},
    };
    for (const auto& c : cases) {
        auto endpoint = parse_endpoint(c.text, c.default_port);
        ASSERT_EQ(endpoint.has_value(), c.expected != nullptr) << c.text;
        if (endpoint) {
            EXPECT_EQ(to_string(*endpoint), c.expected);
        }
    }
}

TEST(TransportFaults, OneShotFaultsSpoilOneReplyAndLatencyStays) {
    TransportFaults faults;
    faults.set_latency(30);
    faults.truncate_next(5);
    faults.split_next(3);
    faults.drop_next();
    ReplyPlan first = faults.next_reply();
    EXPECT_EQ(first.latency_ms, 30);
    EXPECT_EQ(first.truncate_to, 5u);
    EXPECT_EQ(first.split_at, 3u);
    EXPECT_TRUE(first.drop);
    ReplyPlan second = faults.next_reply();
    EXPECT_EQ(second.latency_ms, 30);
    EXPECT_EQ(second.truncate_to, SIZE_MAX);
    EXPECT_EQ(second.split_at, 0u);
    EXPECT_FALSE(second.drop);
    faults.clear();
    EXPECT_EQ(faults.next_reply().latency_ms, 0);
}

TEST(TransportFaults, DropAfterAnswersThatManyFirst) {
    TransportFaults faults;
    faults.drop_after(2);
    EXPECT_FALSE(faults.next_reply().drop);
    EXPECT_FALSE(faults.next_reply().drop);
    EXPECT_TRUE(faults.next_reply().drop);
    EXPECT_FALSE(faults.next_reply().drop);
}

TEST(TransportFaults, TruncationCutsOnlyLongerReplies) {
    std::vector<std::uint8_t> reply{1, 2, 3, 4, 5, 6, 7};
    ReplyPlan plan;
    apply_truncation(reply, plan);
    EXPECT_EQ(reply.size(), 7u);
    plan.truncate_to = 9;
    apply_truncation(reply, plan);
    EXPECT_EQ(reply.size(), 7u);
    plan.truncate_to = 3;
    apply_truncation(reply, plan);
    EXPECT_EQ(reply, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(TransportFaults, SplitReplyReachesAOneReadPeerInTwoParts) {
    SocketPair pair;
    std::vector<std::uint8_t> reply(40, 0x5A);
    ReplyPlan plan;
    plan.split_at = 12;
    std::thread sender([&] { EXPECT_TRUE(deliver(pair.ends[0], reply, plan)); });
    std::array<std::uint8_t, 64> buffer;
    EXPECT_EQ(recv(pair.ends[1], buffer.data(), buffer.size(), 0), 12);
    EXPECT_EQ(recv(pair.ends[1], buffer.data(), buffer.size(), 0), 28);
    sender.join();
}

TEST(TransportFaults, LatencyDelaysTheReply) {
    SocketPair pair;
    ReplyPlan plan;
    plan.latency_ms = 60;
    auto start = std::chrono::steady_clock::now();
    std::vector<std::uint8_t> reply{1};
    ASSERT_TRUE(deliver(pair.ends[0], reply, plan));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));
}

}  // namespace
}  // namespace vlrp11::sim
