#pragma once

// A device whose object commands answer from tables the test fills, so that replies the
// simulator would never send (short chunks, orphans, odd directory entries) can be tried.
#include "device/device_connection.h"

#include <cstdint>
#include <map>
#include <vector>

namespace vlrp11::test {

struct FakeObjectDevice {
    std::vector<std::uint8_t> directory;                         // the reply to the listing
    std::map<std::uint8_t, std::vector<std::uint8_t>> replies;   // per index: read-object / key-info reply
    std::map<std::uint8_t, std::vector<std::uint8_t>> publicKeys;
    std::uint32_t failStatus = 0;                               // nonzero: every command answers it
    std::vector<std::uint8_t> commands;                          // codes sent, in order
    DeviceConnection connection{};

    FakeObjectDevice();
    ~FakeObjectDevice();

    // Appends directory entry bytes (state, head) for the next index.
    void entry(std::uint8_t state, std::uint8_t head);
    // The reply of the read-object command: chunk header announcing `announced` bytes, then `chunk`.
    void chunk(std::uint8_t index, std::uint16_t announced, const std::vector<std::uint8_t>& chunk);
};

// A 104-byte header with the u16 parameter and, when given, an ID.
std::vector<std::uint8_t> header_bytes(std::uint8_t kind, std::uint16_t parameter, std::uint8_t idLength = 0);

}  // namespace vlrp11::test
