// The MAC and the keystream checked against OpenSSL's own CBC and CTR modes.

#include <openssl/evp.h>

#include <numeric>

#include "core/pin.h"
#include "sim_test_support.h"

namespace vlrp11::sim::test {
namespace {

std::array<std::uint8_t, 16> test_key()
{
    std::array<std::uint8_t, 16> key;
    std::iota(key.begin(), key.end(), std::uint8_t{0x40});
    return key;
}

Bytes openssl_cipher(const EVP_CIPHER* cipher, const std::array<std::uint8_t, 16>& key,
                     const std::array<std::uint8_t, 16>& iv, const Bytes& data)
{
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    Bytes out(data.size() + 16);
    int length = 0;
    int final_length = 0;
    EVP_EncryptInit_ex(context, cipher, nullptr, key.data(), iv.data());
    EVP_CIPHER_CTX_set_padding(context, 0);
    EVP_EncryptUpdate(context, out.data(), &length, data.data(), static_cast<int>(data.size()));
    EVP_EncryptFinal_ex(context, out.data() + length, &final_length);
    EVP_CIPHER_CTX_free(context);
    out.resize(static_cast<std::size_t>(length + final_length));
    return out;
}

class MacLength : public ::testing::TestWithParam<std::size_t> {};

TEST_P(MacLength, IsTheFirstSixBytesOfTheLastZeroPaddedCbcBlock)
{
    Bytes data(GetParam());
    std::iota(data.begin(), data.end(), std::uint8_t{1});
    ChannelKeys keys;
    keys.key = test_key();
    Bytes padded = data;
    padded.resize((data.size() + 15) / 16 * 16, 0);
    Bytes cbc = openssl_cipher(EVP_aes_128_cbc(), keys.key, {}, padded);
    std::array<std::uint8_t, 6> expected{};
    if (!cbc.empty()) {
        std::copy_n(cbc.end() - 16, 6, expected.begin());
    }
    EXPECT_EQ(channel_mac(keys, data), expected);
}

INSTANTIATE_TEST_SUITE_P(Lengths, MacLength, ::testing::Values(0, 1, 5, 15, 16, 17, 31, 32, 33, 255, 2055));

TEST(ChannelMac, SixteenBytesDifferFromSeventeenWithAZeroByte)
{
    // No length block: only the padding decides, so a trailing zero byte adds a block.
    ChannelKeys keys;
    Bytes sixteen(16, 0xA5);
    Bytes seventeen = sixteen;
    seventeen.push_back(0);
    EXPECT_NE(channel_mac(keys, sixteen), channel_mac(keys, seventeen));
    Bytes fifteen(15, 0xA5);
    Bytes fifteen_and_zero = fifteen;
    fifteen_and_zero.push_back(0);
    EXPECT_EQ(channel_mac(keys, fifteen), channel_mac(keys, fifteen_and_zero));
}

TEST(ChannelCrypt, RunsOnAcrossCallsLikeOneCounterModeStream)
{
    ChannelKeys keys;
    keys.key = test_key();
    std::iota(keys.counter.begin(), keys.counter.end(), std::uint8_t{0x90});
    Bytes plain(100);
    std::iota(plain.begin(), plain.end(), std::uint8_t{7});
    Bytes expected = openssl_cipher(EVP_aes_128_ctr(), keys.key, keys.counter, plain);

    Bytes pieces = plain;
    std::size_t cuts[] = {0, 3, 16, 17, 40, 100};
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
        channel_crypt(keys, std::span(pieces).subspan(cuts[i], cuts[i + 1] - cuts[i]));
    }
    EXPECT_EQ(pieces, expected);
    EXPECT_EQ(keys.keystream_pos, 100u % 16);
}

TEST(ChannelCrypt, CounterWrapsAt2To128)
{
    ChannelKeys keys;
    keys.counter.fill(0xFF);
    Bytes data(17, 0);
    channel_crypt(keys, data);
    EXPECT_EQ(keys.counter, (std::array<std::uint8_t, 16>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(DerivePin, MatchesTheTenThousandFoldSha512)
{
    // Computed independently: D0 = SHA-512("1234"), 9999 further rounds; A = D[0..16), B = D[32..48).
    PinRecord pin = derive_pin("1234");
    EXPECT_EQ(pin.a, (std::array<std::uint8_t, 16>{0xb4, 0xb3, 0xcc, 0x32, 0xf8, 0xab, 0xdc, 0xac, 0x7b,
                                                    0xc3, 0xd4, 0x73, 0xdd, 0x74, 0x92, 0xed}));
    EXPECT_EQ(pin.b, (std::array<std::uint8_t, 16>{0x33, 0xc5, 0x5d, 0xc2, 0x1a, 0x74, 0x91, 0x7e, 0x45,
                                                    0x3e, 0x34, 0x80, 0xfd, 0x68, 0xb5, 0x83}));
    std::string with_nul("1234", 5);
    EXPECT_NE(derive_pin(with_nul).a, pin.a);
}

}  // namespace
}  // namespace vlrp11::sim::test
