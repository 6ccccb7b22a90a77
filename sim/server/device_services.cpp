#include <array>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

#include "ifd/reader_link.h"
#include "server/hosted_device.h"

namespace vlrp11::sim {

namespace {

// The answer to one link request, before any fault spoils it.
link::Message answer(HostedDevice& host, const link::Message& request) {
    switch (static_cast<link::Op>(request.head)) {
    case link::Op::power_up:
    case link::Op::reset:
        // A card loses its channels and logins when its power is cycled.
        host.device->reset();
        return {link::reply_done, host.device->atr()};
    case link::Op::power_down:
        host.device->reset();
        return {link::reply_done, {}};
    case link::Op::transmit: {
        link::Message reply{link::reply_done, host.device->transmit(request.payload)};
        host.traffic.commands += 1;
        host.traffic.request_bytes += request.payload.size();
        host.traffic.reply_bytes += reply.payload.size();
        return reply;
    }
    }
    return {link::reply_refused, {}};
}

// TCP frames are at most 2056 bytes; a read of this size takes any request in one piece.
constexpr std::size_t network_read_size = 4096;
// Request frames carry no length. Bytes that do not make a whole frame are answered as one
// (damaged) frame once the client has been quiet this long.
constexpr int network_quiet_ms = 250;

// Waits for bytes from the client: true when some may be read, false when the client has been
// quiet for network_quiet_ms while the session holds a partial frame.
bool wait_readable(int socket, bool holding_bytes) {
    pollfd entry{socket, POLLIN, 0};
    int ready;
    do {
        ready = poll(&entry, 1, holding_bytes ? network_quiet_ms : -1);
    } while (ready < 0 && errno == EINTR);
    return ready != 0;
}

// Sends one reply frame as the faults plan it; false when the connection must end.
bool send_network_reply(HostedDevice& host, int socket, std::vector<std::uint8_t> reply) {
    ReplyPlan plan = host.faults.next_reply();
    if (plan.drop) {
        return false;
    }
    apply_truncation(reply, plan);
    // The client takes a reply from a single receive: it goes out in one write.
    return deliver(socket, reply, plan);
}

}  // namespace

const char* kind_name(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::token: return "token";
    case DeviceKind::pcsc_hsm: return "hsm";
    case DeviceKind::network_hsm: return "network";
    }
    return "unknown";
}

void serve_reader_link(HostedDevice& host, int socket) {
    for (;;) {
        auto request = link::read_message(socket);
        if (!request) {
            return;
        }
        link::Message reply = answer(host, *request);
        ReplyPlan plan = host.faults.next_reply();
        if (plan.drop) {
            return;
        }
        apply_truncation(reply.payload, plan);
        if (!deliver(socket, link::encode(reply.head, reply.payload), plan)) {
            return;
        }
    }
}

void serve_network_client(HostedDevice& host, int socket) {
    auto session = host.device->open_tcp_session();
    std::array<std::uint8_t, network_read_size> buffer;
    while (!session->closed()) {
        std::vector<std::uint8_t> reply;
        if (wait_readable(socket, session->pending())) {
            ssize_t got = recv(socket, buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                return;
            }
            host.traffic.request_bytes += static_cast<std::size_t>(got);
            reply = session->receive(std::span(buffer).first(static_cast<std::size_t>(got)));
        } else {
            reply = session->flush();
        }
        if (!reply.empty()) {
            host.traffic.commands += 1;
            host.traffic.reply_bytes += reply.size();
        }
        if (!reply.empty() && !send_network_reply(host, socket, std::move(reply))) {
            return;
        }
    }
}

}  // namespace vlrp11::sim
