#include "virtual_reader.h"

#include <algorithm>
#include <poll.h>
#include <sys/socket.h>

#include "reader_link.h"

namespace vlrp11::sim {

namespace {

// A refused loopback connection fails at once; the time-out only matters for a simulator that
// is alive but stuck, and pcscd's polling thread must not hang on it.
constexpr int connect_timeout_ms = 200;
// Longer than any latency a test injects, short enough that a hung simulator frees pcscd.
constexpr int reply_timeout_ms = 30000;

bool peer_closed(int socket) {
    pollfd entry{socket, POLLIN, 0};
    if (poll(&entry, 1, 0) <= 0) {
        return false;
    }
    // The simulator never speaks unasked: readable means end of stream or an error.
    std::uint8_t byte;
    return recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

}  // namespace

VirtualReader::VirtualReader(Endpoint simulator) : simulator_(std::move(simulator)) {}

VirtualReader::~VirtualReader() { close_socket(socket_); }

bool VirtualReader::present() {
    std::lock_guard lock(mutex_);
    if (socket_ >= 0 && !peer_closed(socket_)) {
        return true;
    }
    if (socket_ >= 0) {
        drop();
    }
    if (removal_pending_) {
        removal_pending_ = false;
        return false;
    }
    socket_ = connect_tcp(simulator_, connect_timeout_ms);
    if (socket_ >= 0) {
        set_receive_timeout(socket_, reply_timeout_ms);
    }
    return socket_ >= 0;
}

VirtualReader::Result VirtualReader::power_up(bool warm, std::vector<std::uint8_t>& atr) {
    std::lock_guard lock(mutex_);
    auto op = warm ? link::Op::reset : link::Op::power_up;
    Result result = exchange(static_cast<std::uint8_t>(op), {}, atr_);
    atr = result == Result::ok ? atr_ : std::vector<std::uint8_t>{};
    if (result != Result::ok) {
        atr_.clear();
    }
    return result;
}

VirtualReader::Result VirtualReader::power_down() {
    std::lock_guard lock(mutex_);
    std::vector<std::uint8_t> ignored;
    atr_.clear();
    return exchange(static_cast<std::uint8_t>(link::Op::power_down), {}, ignored);
}

VirtualReader::Result VirtualReader::transmit(std::span<const std::uint8_t> command,
                                              std::span<std::uint8_t> response,
                                              std::size_t& response_length) {
    std::lock_guard lock(mutex_);
    response_length = 0;
    std::vector<std::uint8_t> reply;
    Result result = exchange(static_cast<std::uint8_t>(link::Op::transmit), command, reply);
    if (result != Result::ok) {
        return result;
    }
    if (reply.size() > response.size()) {
        return Result::too_small;
    }
    std::copy(reply.begin(), reply.end(), response.begin());
    response_length = reply.size();
    return Result::ok;
}

std::vector<std::uint8_t> VirtualReader::atr() {
    std::lock_guard lock(mutex_);
    return atr_;
}

VirtualReader::Result VirtualReader::exchange(std::uint8_t op,
                                              std::span<const std::uint8_t> request,
                                              std::vector<std::uint8_t>& reply) {
    if (socket_ < 0) {
        return Result::absent;
    }
    std::optional<link::Message> answer;
    if (link::write_message(socket_, op, request)) {
        answer = link::read_message(socket_);
    }
    if (!answer) {
        // A half-finished exchange leaves the stream out of step: only a new link recovers.
        drop();
        return Result::failed;
    }
    if (answer->head != link::reply_done) {
        return Result::failed;
    }
    reply = std::move(answer->payload);
    return Result::ok;
}

void VirtualReader::drop() {
    close_socket(socket_);
    removal_pending_ = true;
    atr_.clear();
}

}  // namespace vlrp11::sim
