// Hexadecimal test data for the simulator tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vlrp11::sim::test {

inline std::vector<std::uint8_t> hex(std::string_view text) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(digit(text[i]) << 4 | digit(text[i + 1])));
    return out;
}

}  // namespace vlrp11::sim::test
