#include "server/transport_faults.h"

#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>

#include "ifd/socket_io.h"

namespace vlrp11::sim {

namespace {

void pause_ms(int ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

}  // namespace

void TransportFaults::set_latency(int ms) {
    std::lock_guard lock(mutex_);
    pending_.latency_ms = ms;
}

void TransportFaults::truncate_next(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    pending_.truncate_to = bytes;
}

void TransportFaults::split_next(std::size_t at) {
    std::lock_guard lock(mutex_);
    pending_.split_at = at;
}

void TransportFaults::trickle_next() {
    std::lock_guard lock(mutex_);
    pending_.trickle = true;
}

void TransportFaults::drop_next() {
    drop_after(0);
}

void TransportFaults::drop_after(unsigned answered) {
    std::lock_guard lock(mutex_);
    pending_.drop = true;
    drop_countdown_ = answered;
}

void TransportFaults::clear() {
    std::lock_guard lock(mutex_);
    pending_ = ReplyPlan{};
    drop_countdown_ = 0;
}

ReplyPlan TransportFaults::next_reply() {
    std::lock_guard lock(mutex_);
    if (pending_.drop && drop_countdown_ > 0) {
        --drop_countdown_;
        ReplyPlan plan;
        plan.latency_ms = pending_.latency_ms;
        return plan;
    }
    ReplyPlan plan = pending_;
    pending_ = ReplyPlan{};
    pending_.latency_ms = plan.latency_ms;
    return plan;
}

bool deliver(int socket, std::span<const std::uint8_t> wire, const ReplyPlan& plan) {
    pause_ms(plan.latency_ms);
    if (plan.trickle) {
        // Without this the kernel would gather the bytes while it waits for the peer's ACK.
        int on = 1;
        setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        for (std::size_t i = 0; i < wire.size(); ++i) {
            if (!send_all(socket, wire.subspan(i, 1))) {
                return false;
            }
            pause_ms(trickle_pause_ms);
        }
        return true;
    }
    if (plan.split_at == 0 || plan.split_at >= wire.size()) {
        return send_all(socket, wire);
    }
    if (!send_all(socket, wire.first(plan.split_at))) {
        return false;
    }
    pause_ms(split_pause_ms);
    return send_all(socket, wire.subspan(plan.split_at));
}

void apply_truncation(std::vector<std::uint8_t>& reply, const ReplyPlan& plan) {
    if (plan.truncate_to < reply.size()) {
        reply.resize(plan.truncate_to);
    }
}

}  // namespace vlrp11::sim
