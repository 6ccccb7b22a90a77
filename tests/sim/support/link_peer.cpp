#include "sim/support/link_peer.h"

#include "ifd/reader_link.h"
#include "ifd/socket_io.h"

namespace vlrp11::sim::testing {

ScriptedCard::ScriptedCard() {
    reply = [](std::span<const std::uint8_t> apdu) {
        std::vector<std::uint8_t> answer(apdu.begin(), apdu.end());
        answer.push_back(0x90);
        answer.push_back(0x00);
        return answer;
    };
    server_.start(listen_tcp({"127.0.0.1", 0}), [this](int socket) { serve(socket); });
}

ScriptedCard::~ScriptedCard() { server_.stop(); }

void ScriptedCard::serve(int socket) {
    ++connections;
    for (;;) {
        auto request = link::read_message(socket);
        if (!request || hang_up_next.exchange(false)) {
            return;
        }
        std::vector<std::uint8_t> payload;
        switch (static_cast<link::Op>(request->head)) {
        case link::Op::power_up:
        case link::Op::reset: payload = atr; break;
        case link::Op::power_down: break;
        case link::Op::transmit: payload = reply(request->payload); break;
        }
        if (!link::write_message(socket, link::reply_done, payload)) {
            return;
        }
    }
}

}  // namespace vlrp11::sim::testing
