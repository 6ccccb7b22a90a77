#include "platform/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace vlrp11 {
namespace {

TEST(SystemRandom, FillsBufferWithFreshBytes)
{
    std::array<std::uint8_t, 64> a{};
    std::array<std::uint8_t, 64> b{};
    ASSERT_TRUE(system_random(a.data(), a.size()));
    ASSERT_TRUE(system_random(b.data(), b.size()));
    EXPECT_NE(a, b);
    EXPECT_NE(a, (std::array<std::uint8_t, 64>{}));
}

TEST(SystemRandom, ZeroLengthSucceeds)
{
    EXPECT_TRUE(system_random(nullptr, 0));
}

}  // namespace
}  // namespace vlrp11
