#include "socket_io.h"

#include <arpa/inet.h>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vlrp11::sim {

namespace {

bool make_address(const Endpoint& endpoint, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(endpoint.port);
    return inet_pton(AF_INET, endpoint.address.c_str(), &out.sin_addr) == 1;
}

bool parse_port(std::string_view text, std::uint16_t& port) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size() || value == 0 || value > 65535) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool wait_connected(int socket, int timeout_ms) {
    pollfd entry{socket, POLLOUT, 0};
    int ready;
    do {
        ready = poll(&entry, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR);
    if (ready != 1) {
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

}  // namespace

std::optional<Endpoint> parse_endpoint(std::string_view text, std::uint16_t default_port) {
    Endpoint endpoint;
    auto colon = text.rfind(':');
    endpoint.address = std::string(text.substr(0, colon));
    if (colon == std::string_view::npos) {
        endpoint.port = default_port;
    } else if (!parse_port(text.substr(colon + 1), endpoint.port)) {
        return std::nullopt;
    }
    sockaddr_in check;
    if (endpoint.port == 0 || !make_address(endpoint, check)) {
        return std::nullopt;
    }
    return endpoint;
}

std::string to_string(const Endpoint& endpoint) {
    return endpoint.address + ":" + std::to_string(endpoint.port);
}

int connect_tcp(const Endpoint& endpoint, int timeout_ms) {
    sockaddr_in address;
    if (!make_address(endpoint, address)) {
        return -1;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return -1;
    }
    int result = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if ((result != 0 && errno != EINPROGRESS) || (result != 0 && !wait_connected(fd, timeout_ms))) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    set_nodelay(fd);
    return fd;
}

int listen_tcp(const Endpoint& endpoint, int backlog) {
    sockaddr_in address;
    if (!make_address(endpoint, address)) {
        return -1;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, backlog) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void set_nodelay(int socket) {
    int one = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void set_receive_timeout(int socket, int timeout_ms) {
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

bool send_all(int socket, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t sent = send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

bool receive_exact(int socket, std::span<std::uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t got = recv(socket, bytes.data(), bytes.size(), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(got));
    }
    return true;
}

void close_socket(int& socket) {
    if (socket >= 0) {
        close(socket);
        socket = -1;
    }
}

}  // namespace vlrp11::sim
