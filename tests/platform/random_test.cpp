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
    ASSERT_EQ(system_random(a.data(), a.size()), 0u);
    ASSERT_EQ(system_random(b.data(), b.size()), 0u);
    EXPECT_NE(a, b);
    EXPECT_NE(a, (std::array<std::uint8_t, 64>{}));
}

TEST(SystemRandom, ZeroLengthSucceeds)
{
    EXPECT_EQ(system_random(nullptr, 0), 0u);
}

}  // namespace
}  // namespace vlrp11
