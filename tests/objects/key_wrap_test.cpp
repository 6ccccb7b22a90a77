// GOST 28147-89 key wrap: round trips, and any changed byte of a wrapped key refused. The format
// itself is checked against the simulator's own GOST 28147-89 in the end-to-end suite.
#include "device/status.h"
#include "objects/key_wrap.h"
#include "objects/object_record.h"
#include "vlrp11/pkcs11.h"

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

TEST(KeyWrap, WhichKeysTakePart)
{
    std::uint8_t value[64] = {};
    auto key = [&](std::uint32_t object_class, std::uint8_t kind, bool token, std::uint32_t length) {
        ObjectRecord record{};
        record.objectClass = object_class;
        record.header.keyKind = kind;
        record.token = token ? 1 : 0;
        record.value = length != 0 ? value : nullptr;
        record.valueLength = length;
        return record;
    };
    struct Case {
        const char* name;
        ObjectRecord record;
        bool wrapping, wrapped;
    } cases[] = {
        {"GOST session key", key(CKO_SECRET_KEY, 15, false, 32), true, true},
        {"AES-256 session key", key(CKO_SECRET_KEY, 11, false, 32), false, true},
        {"AES-128 session key", key(CKO_SECRET_KEY, 11, false, 16), false, false},
        {"64-byte Kalyna key", key(CKO_SECRET_KEY, 14, false, 64), false, false},
        {"token key without host value", key(CKO_SECRET_KEY, 15, true, 0), false, false},
        {"data object of 32 bytes", key(CKO_DATA, 15, false, 32), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gost_wrapping_key_fits(c.record), c.wrapping) << c.name;
        EXPECT_EQ(gost_wrapped_key_fits(c.record), c.wrapped) << c.name;
    }
}

}  // namespace
}  // namespace vlrp11
