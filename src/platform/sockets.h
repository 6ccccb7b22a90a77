#pragma once

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// A TCP socket of the platform, widened to 64 bits; INVALID_SOCKET_HANDLE means none.
using SocketHandle = std::uint64_t;
constexpr SocketHandle INVALID_SOCKET_HANDLE = ~SocketHandle{0};

// Starts the sockets library (Winsock version 1.1 on Windows; nothing to do elsewhere).
// Returns true on success.
bool sockets_startup() noexcept;

// Parses dotted IPv4 text as inet_addr does (no name resolution) into the address in network
// byte order. Returns false for anything that is not an address, and for 255.255.255.255, which
// inet_addr cannot tell from its failure value.
bool parse_ipv4(const char* text, std::uint32_t* address) noexcept;

// A blocking TCP connection to address:port (address in network byte order) with the system's
// default time-out, or INVALID_SOCKET_HANDLE.
SocketHandle tcp_connect(std::uint32_t address, std::uint16_t port) noexcept;

// Sends all bytes; false when the connection fails.
bool socket_send_all(SocketHandle socket, const std::uint8_t* data, std::size_t length) noexcept;

// Receives at most capacity bytes: the count, 0 when the peer closed, -1 on error.
long socket_receive(SocketHandle socket, std::uint8_t* buffer, std::size_t capacity) noexcept;

// Waits until the socket has bytes to read (or is closed): true, or false after timeout_ms.
bool socket_wait_readable(SocketHandle socket, std::uint32_t timeout_ms) noexcept;

// Whether the socket is healthy: its pending-error option can be read and is 0, and the peer has
// not closed the connection. Never waits.
bool socket_alive(SocketHandle socket) noexcept;

// Ends both directions without closing the handle: the peer sees the end of the stream, and
// socket_alive answers false from then on, so that whoever owns the handle lets it go.
void socket_shut_down(SocketHandle socket) noexcept;

void socket_close(SocketHandle socket) noexcept;

}  // namespace vlrp11
