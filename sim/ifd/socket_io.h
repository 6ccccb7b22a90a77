// Blocking loopback socket helpers shared by the reader driver and the simulator. Every socket
// made here has TCP_NODELAY set: an APDU exchange is one small write each way, and Nagle's
// algorithm against delayed acknowledgements would add tens of milliseconds to each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vlrp11::sim {

struct Endpoint {
    std::string address;  // dotted IPv4 text
    std::uint16_t port = 0;
};

// "127.0.0.1:36864" (port in decimal or 0x hex); a missing ":port" takes default_port, and 0
// there means a port is required.
std::optional<Endpoint> parse_endpoint(std::string_view text, std::uint16_t default_port = 0);
std::string to_string(const Endpoint& endpoint);

// Connects with the given time-out; -1 on failure (refused at once when nobody listens).
int connect_tcp(const Endpoint& endpoint, int timeout_ms);

// Listening socket bound to the endpoint with SO_REUSEADDR; -1 on failure.
int listen_tcp(const Endpoint& endpoint, int backlog = 64);

void set_nodelay(int socket);
// Receive time-out for blocking reads; 0 waits for ever.
void set_receive_timeout(int socket, int timeout_ms);

// Whole-buffer transfers that retry after EINTR and short counts; false on error or end of stream.
bool send_all(int socket, std::span<const std::uint8_t> bytes);
bool receive_exact(int socket, std::span<std::uint8_t> bytes);

void close_socket(int& socket);

}  // namespace vlrp11::sim
