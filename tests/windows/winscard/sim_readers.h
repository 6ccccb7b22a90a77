// The readers of the test-only winscard.dll: each one is a simulated PC/SC device reached
// directly over the simulator's loopback reader link, as the pcscd driver reaches it on Linux.
//
// VLRP11_WINSCARD_READERS lists them as "<reader name>=<address>:<port>" separated by ';'.
// Without it the token and the HSM that scripts/sim-up.sh starts are listed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <winsock2.h>

namespace vlrp11::sim {

struct ReaderConfig {
    std::string name;
    std::string address;  // dotted IPv4 text
    std::uint16_t port = 0;
};

extern const char* const default_readers;

// Nothing when an entry lacks its '=', address or port.
std::optional<std::vector<ReaderConfig>> parse_reader_list(std::string_view text);

// One reader: the link to its simulator while a card is "inserted". A card is present from the
// first connect that reaches the simulator until the link fails; the generation counts the cards
// seen, so that handles to a removed card stay dead even after a new one appears.
struct SimReader {
    ReaderConfig config;
    SOCKET link = INVALID_SOCKET;
    std::vector<std::uint8_t> atr;
    unsigned generation = 0;

    // Connects and powers the card up when no link stands; false when the simulator is absent.
    bool insert();
    // One link exchange; the link is dropped (card removed) when it fails.
    std::optional<std::vector<std::uint8_t>> exchange(std::uint8_t op, std::span<const std::uint8_t> payload);
    void remove();
};

}  // namespace vlrp11::sim
