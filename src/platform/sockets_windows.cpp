#include "platform/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace vlrp11 {
namespace {

SOCKET native(SocketHandle socket)
{
    return static_cast<SOCKET>(socket);
}

}  // namespace

bool sockets_startup() noexcept
{
    WSADATA data{};
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

bool parse_ipv4(const char* text, std::uint32_t* address) noexcept
{
    if (text == nullptr)
        return false;
    unsigned long parsed = inet_addr(text);
    if (parsed == INADDR_NONE)
        return false;
    *address = parsed;
    return true;
}

SocketHandle tcp_connect(std::uint32_t address, std::uint16_t port) noexcept
{
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET_HANDLE;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        closesocket(s);
        return INVALID_SOCKET_HANDLE;
    }
    return static_cast<SocketHandle>(s);
}

bool socket_send_all(SocketHandle socket, const std::uint8_t* data, std::size_t length) noexcept
{
    while (length > 0) {
        int chunk = length > 0x40000000 ? 0x40000000 : static_cast<int>(length);
        int sent = ::send(native(socket), reinterpret_cast<const char*>(data), chunk, 0);
        if (sent <= 0)
            return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

long socket_receive(SocketHandle socket, std::uint8_t* buffer, std::size_t capacity) noexcept
{
    int chunk = capacity > 0x40000000 ? 0x40000000 : static_cast<int>(capacity);
    int got = ::recv(native(socket), reinterpret_cast<char*>(buffer), chunk, 0);
    return got == SOCKET_ERROR ? -1 : got;
}

bool socket_wait_readable(SocketHandle socket, std::uint32_t timeout_ms) noexcept
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(native(socket), &readable);
    timeval timeout{static_cast<long>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000};
    return ::select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

bool socket_alive(SocketHandle socket) noexcept
{
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
        error != 0)
        return false;
    // A peer that closed the connection in order leaves no error, only the end of the stream;
    // the peek waits for nothing, since the socket is readable when it runs.
    if (!socket_wait_readable(socket, 0))
        return true;
    char next = 0;
    return ::recv(native(socket), &next, 1, MSG_PEEK) > 0;
}

void socket_shut_down(SocketHandle socket) noexcept
{
    ::shutdown(native(socket), SD_BOTH);
}

void socket_close(SocketHandle socket) noexcept
{
    if (socket != INVALID_SOCKET_HANDLE)
        closesocket(native(socket));
}

}  // namespace vlrp11
