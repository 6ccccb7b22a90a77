#include "platform/sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vlrp11 {
namespace {

int fd_of(SocketHandle socket)
{
    return static_cast<int>(socket);
}

}  // namespace

bool sockets_startup() noexcept
{
    return true;
}

bool parse_ipv4(const char* text, std::uint32_t* address) noexcept
{
    in_addr parsed{};
    if (text == nullptr || inet_aton(text, &parsed) == 0)
        return false;
    // inet_addr cannot tell 255.255.255.255 from its failure value and so refuses it; so does
    // this reader, on every platform.
    if (parsed.s_addr == INADDR_NONE)
        return false;
    *address = parsed.s_addr;
    return true;
}

SocketHandle tcp_connect(std::uint32_t address, std::uint16_t port) noexcept
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return INVALID_SOCKET_HANDLE;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return INVALID_SOCKET_HANDLE;
    }
    return static_cast<SocketHandle>(fd);
}

bool socket_send_all(SocketHandle socket, const std::uint8_t* data, std::size_t length) noexcept
{
    while (length > 0) {
        ssize_t sent = ::send(fd_of(socket), data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

long socket_receive(SocketHandle socket, std::uint8_t* buffer, std::size_t capacity) noexcept
{
    ssize_t got;
    do {
        got = ::recv(fd_of(socket), buffer, capacity, 0);
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool socket_wait_readable(SocketHandle socket, std::uint32_t timeout_ms) noexcept
{
    pollfd entry{fd_of(socket), POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&entry, 1, static_cast<int>(timeout_ms));
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

bool socket_alive(SocketHandle socket) noexcept
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_of(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return false;
    // A peer that closed the connection in order leaves no error, only the end of the stream.
    std::uint8_t next = 0;
    ssize_t peeked = ::recv(fd_of(socket), &next, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked > 0 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

void socket_shut_down(SocketHandle socket) noexcept
{
    ::shutdown(fd_of(socket), SHUT_RDWR);
}

void socket_close(SocketHandle socket) noexcept
{
    if (socket != INVALID_SOCKET_HANDLE)
        ::close(fd_of(socket));
}

}  // namespace vlrp11
