#include "core/crypto_gost28147.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <array>

namespace vlrp11::sim {
namespace {

using vlrp11::test::from_hex;

const auto kKey = from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");

Gost28147Key key() { return gost28147_key(std::span<const std::uint8_t, 32>(kKey.data(), 32)); }

TEST(Gost28147, EcbMatchesPublishedVectorBothWays) {
    auto plain = from_hex("0001020304050607f1f2f3f4f5f6f7f8");
    auto cipher = from_hex("e393a17df2b6de6f2086d8230c277432");
    std::vector<std::uint8_t> out(plain.size());
    ASSERT_TRUE(gost28147_ecb(key(), true, plain, out));
    EXPECT_EQ(out, cipher);
    ASSERT_TRUE(gost28147_ecb(key(), false, out, out));  // in place
    EXPECT_EQ(out, plain);
}

TEST(Gost28147, EcbRefusesPartialBlocks) {
    std::vector<std::uint8_t> in(12), out(12);
    EXPECT_FALSE(gost28147_ecb(key(), true, in, out));
    std::vector<std::uint8_t> shorter(8);
    EXPECT_FALSE(gost28147_ecb(key(), true, std::span(in).first(8), std::span(shorter).first(4)));
}

TEST(Gost28147, CounterModeMatchesVectorInAnySplit) {
    auto iv = from_hex("f1f2f3f4f5f6f7f8");
    auto plain = from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    auto expected = from_hex("55b14c481cbd96f7edc1de150d0b34166be60aa622720181f625c0463a2066df");
    for (std::size_t split : {0u, 1u, 5u, 8u, 13u, 32u}) {
        auto data = plain;
        auto state = gost28147_ctr_start(key(), std::span<const std::uint8_t, 8>(iv.data(), 8));
        gost28147_ctr(key(), state, std::span(data).first(split));
        gost28147_ctr(key(), state, std::span(data).subspan(split));
        EXPECT_EQ(data, expected) << "split at " << split;
    }
}

TEST(Gost28147, CounterWrapsModuloTwoToThe32MinusOne) {
    // With N4 = 0xFEFEFEFC the next value is 0x01010104 + N4 - (2^32 - 1) = 1: checked through the
    // keystream, which must equal the encryption of (N3 + C1, 1).
    auto k = key();
    Gost28147Ctr state{0, 0xFEFEFEFC, {}, 8};
    std::array<std::uint8_t, 8> data{};
    gost28147_ctr(k, state, data);
    std::array<std::uint8_t, 8> block = {0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00};
    std::array<std::uint8_t, 8> gamma{};
    gost28147_encrypt_block(k, block.data(), gamma.data());
    EXPECT_EQ(data, gamma);
    EXPECT_EQ(state.n4, 1u);
}

}  // namespace
}  // namespace vlrp11::sim
