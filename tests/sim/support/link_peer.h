// Test helper for the loopback link: a scripted card on the simulator's side of the link.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "server/socket_server.h"

namespace vlrp11::sim::testing {

// Listens on 127.0.0.1 (a free port) and answers link requests: the ATR to power-up and reset,
// the reply function's R-APDU to transmit (an echo with 90 00 by default).
class ScriptedCard {
public:
    using Reply = std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t>)>;

    ScriptedCard();
    ~ScriptedCard();
    int port() const { return server_.port(); }

    std::vector<std::uint8_t> atr{0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W', 'D',
                                  '1',  '2',  '3',  '4',  '5',  '6', '7', '8', '9', 0x74};
    Reply reply;
    // The next request is read and the connection closed without an answer.
    std::atomic<bool> hang_up_next{false};
    std::atomic<int> connections{0};

private:
    void serve(int socket);
    SocketServer server_;
};

}  // namespace vlrp11::sim::testing
