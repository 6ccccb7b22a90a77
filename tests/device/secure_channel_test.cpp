#include "support/fake_card.h"

#include "crypto/aes.h"
#include "device/secure_channel.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace vlrp11::testing {
namespace {

using Block = std::array<std::uint8_t, 16>;

Block aes(const Block& key, Block in)
{
    AesKey schedule;
    aes_set_key(schedule, key.data(), 128);
    aes_encrypt_block(schedule, in.data(), in.data());
    return in;
}

Block all_ff()
{
    Block key;
    key.fill(0xFF);
    return key;
}

TEST(ChannelMac, CbcMacWithZeroFillAndNoLengthBlock)
{
    DeviceConnection connection = make_pcsc_connection();
    std::uint8_t data[33];
    for (std::size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    std::uint8_t mac[6];

    channel_mac(connection, data, 0, mac);
    EXPECT_EQ(std::vector<std::uint8_t>(mac, mac + 6), std::vector<std::uint8_t>(6, 0));

    // 16 bytes: one block encryption.
    Block first{};
    std::memcpy(first.data(), data, 16);
    Block expected = aes(all_ff(), first);
    channel_mac(connection, data, 16, mac);
    EXPECT_EQ(0, std::memcmp(mac, expected.data(), 6));

    // 17 bytes: a second, zero-filled block.
    Block second = expected;
    second[0] ^= data[16];
    Block expected17 = aes(all_ff(), second);
    channel_mac(connection, data, 17, mac);
    EXPECT_EQ(0, std::memcmp(mac, expected17.data(), 6));

    // 5 bytes: one zero-filled block.
    Block partial{};
    std::memcpy(partial.data(), data, 5);
    Block expected5 = aes(all_ff(), partial);
    channel_mac(connection, data, 5, mac);
    EXPECT_EQ(0, std::memcmp(mac, expected5.data(), 6));
}

TEST(ChannelCrypt, KeystreamCarriesOverCallsAndWrapsTheCounter)
{
    DeviceConnection connection = make_pcsc_connection();
    Block key{};
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<std::uint8_t>(0xA0 + i);
    set_channel_key(connection, key.data());
    Block counter;
    counter.fill(0xFF);
    counter[0] = 0x12;
    std::memcpy(connection.counter, counter.data(), 16);

    // Expected keystream: E(counter), E(counter + 1) with the carry through 15 bytes.
    Block next{};
    next[0] = 0x13;
    Block k0 = aes(key, counter);
    Block k1 = aes(key, next);
    std::vector<std::uint8_t> keystream(32);
    std::memcpy(keystream.data(), k0.data(), 16);
    std::memcpy(keystream.data() + 16, k1.data(), 16);

    // 5 + 20 + 7 bytes in three calls equal one call of 32.
    std::vector<std::uint8_t> zeros(32, 0), out(32);
    channel_crypt(connection, zeros.data(), 5, out.data());
    channel_crypt(connection, zeros.data(), 20, out.data() + 5);
    EXPECT_EQ(connection.keystream_pos, 9u);
    channel_crypt(connection, zeros.data(), 7, out.data() + 25);
    EXPECT_EQ(out, keystream);
    EXPECT_EQ(connection.keystream_pos, 0u);
    Block after{};
    after[0] = 0x13;
    after[15] = 0x01;
    EXPECT_EQ(0, std::memcmp(connection.counter, after.data(), 16));

    // Decryption is the same operation from the same place.
    DeviceConnection mirror = make_pcsc_connection();
    set_channel_key(mirror, key.data());
    std::memcpy(mirror.counter, counter.data(), 16);
    std::vector<std::uint8_t> plain(32, 0x5A), cipher(32), back(32);
    channel_crypt(mirror, plain.data(), 32, cipher.data());
    std::memcpy(mirror.counter, counter.data(), 16);
    channel_crypt(mirror, cipher.data(), 32, back.data());
    EXPECT_EQ(back, plain);
}

TEST(ChannelMac, ComparisonSeesEveryByte)
{
    const std::uint8_t a[6] = {1, 2, 3, 4, 5, 6};
    for (int i = 0; i < 6; ++i) {
        std::uint8_t b[6];
        std::memcpy(b, a, 6);
        EXPECT_TRUE(macs_equal(a, b));
        b[i] ^= 0x80;
        EXPECT_FALSE(macs_equal(a, b)) << i;
    }
}

}  // namespace
}  // namespace vlrp11::testing
