#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace vlrp11::test {

// Decodes a hex string (no separators); an odd length or a non-hex digit fails the test.
std::vector<std::uint8_t> from_hex(std::string_view hex);

}  // namespace vlrp11::test
