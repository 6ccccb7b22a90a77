#include "support/hex.h"

#include <gtest/gtest.h>

namespace vlrp11::test {

namespace {

int digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::vector<std::uint8_t> from_hex(std::string_view hex)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(hex.size() % 2, 0u) << hex;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = digit_value(hex[i]);
        const int low = digit_value(hex[i + 1]);
        EXPECT_TRUE(high >= 0 && low >= 0) << hex;
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

}  // namespace vlrp11::test
