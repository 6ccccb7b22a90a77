// GOST 28147-89 key wrap: round trips, and any changed byte of a wrapped key refused. The format
// itself is checked against the simulator's own GOST 28147-89 in the end-to-end suite.
#include "objects/key_wrap.h"
#include "device/status.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace vlrp11 {
namespace {

using Key = std::array<std::uint8_t, 32>;
using Wrapped = std::array<std::uint8_t, gost_wrapped_key_bytes>;

template <std::size_t N>
std::array<std::uint8_t, N> random_array(std::mt19937& rng)
{
    std::array<std::uint8_t, N> bytes;
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return bytes;
}

TEST(KeyWrap, RoundTripsAndRefusesEveryChangedByte)
{
    std::mt19937 rng(15);
    for (int round = 0; round < 8; ++round) {
        const Key kek = random_array<32>(rng);
        const Key key = random_array<32>(rng);
        const auto ukm = random_array<gost_wrap_ukm_bytes>(rng);
        Wrapped wrapped;
        gost_key_wrap(kek.data(), ukm.data(), key.data(), wrapped.data());
        Key back{};
        ASSERT_EQ(gost_key_unwrap(kek.data(), wrapped.data(), back.data()), 0u);
        EXPECT_EQ(back, key);

        for (std::size_t at : {std::size_t{0}, std::size_t{7}, std::size_t{20}, gost_wrapped_key_bytes - 1}) {
            Wrapped spoiled = wrapped;
            spoiled[at] ^= static_cast<std::uint8_t>(1 + rng() % 255);
            back.fill(0xAA);
            EXPECT_EQ(gost_key_unwrap(kek.data(), spoiled.data(), back.data()), WRAPPED_KEY_INVALID) << at;
            EXPECT_EQ(back, Key{}) << "a refused key leaves nothing behind";
        }
        Key other_kek = kek;
        other_kek[31] ^= 0x80;
        EXPECT_EQ(gost_key_unwrap(other_kek.data(), wrapped.data(), back.data()), WRAPPED_KEY_INVALID);
    }
}

TEST(KeyWrap, EachRandomValueGivesAnotherWrapping)
{
    const Key kek{1, 2, 3}, key{9, 8, 7};
    const std::array<std::uint8_t, 8> first{}, second{0, 0, 0, 0, 0, 0, 0, 1};
    Wrapped a, b;
    gost_key_wrap(kek.data(), first.data(), key.data(), a.data());
    gost_key_wrap(kek.data(), second.data(), key.data(), b.data());
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace vlrp11
