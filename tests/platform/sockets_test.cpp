#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vlrp11 {
namespace {

TEST(ParseIpv4, DottedAddressesOnly)
{
    struct Case {
        const char* text;
        bool accepted;
        std::uint8_t bytes[4];
    };
    const Case cases[] = {
        {"127.0.0.1", true, {127, 0, 0, 1}},
        {"10.20.30.40", true, {10, 20, 30, 40}},
        {"255.255.255.254", true, {255, 255, 255, 254}},
        {"255.255.255.255", false, {}},  // inet_addr's failure value
        {"1.2.3.256", false, {}},
        {"localhost", false, {}},
        {"", false, {}},
        {nullptr, false, {}},
    };
    for (const Case& c : cases) {
        std::uint32_t address = 0;
        ASSERT_EQ(parse_ipv4(c.text, &address), c.accepted) << (c.text ? c.text : "null");
        if (c.accepted) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(&address);  // network byte order
            EXPECT_EQ(bytes[0], c.bytes[0]) << c.text;
            EXPECT_EQ(bytes[3], c.bytes[3]) << c.text;
        }
    }
}

}  // namespace
}  // namespace vlrp11
