#include "crypto/gost28147.h"
#include "crypto/gost28147_sbox.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace vlrp11 {
namespace {

using test::from_hex;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* sequential_key =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

std::array<std::uint32_t, 8> key_words(const char* hex)
{
    const Bytes bytes = from_hex(hex);
    std::array<std::uint32_t, 8> key{};
    gost28147_load_key(bytes.data(), key.data());
    return key;
}

Gost28147Sbox lookup_from_packed(const char* hex)
{
    const Bytes packed = from_hex(hex);
    Gost28147Sbox lookup{};
    gost28147_unpack_sbox(packed.data(), lookup.data());
    return lookup;
}

TEST(Gost28147Sbox, DefaultInBothForms)
{
    EXPECT_EQ(Bytes(gost28147_default_sbox_packed.begin(), gost28147_default_sbox_packed.end()),
              from_hex("a9d6eb45f13c708280c4967b231f5eadf658eba4c037291d38d96bf025ca4e17"
                       "f8e9720dc615b43a28975f0bc1dea36438b564ea2c179fd0123e6db8fac57904"));
    EXPECT_EQ(Bytes(gost28147_default_sbox.begin(), gost28147_default_sbox.end()),
              from_hex("8a09cd469e6b74b52f3113fc57e0a8d23f86d5986ebbfa042c50c3a742e9117d"
                       "2f889e7957f200bdcc16d1e5ab34634a13283be566d4be8af2acc157799f0d40"));
}

TEST(Gost28147, LoadKeyReadsLittleEndianWords)
{
    const auto key = key_words(sequential_key);
    EXPECT_EQ(key[0], 0x03020100u);
    EXPECT_EQ(key[7], 0x1f1e1d1cu);
}

TEST(Gost28147, EcbVectorWithDefaultSbox)
{
    const auto key = key_words(sequential_key);
    const Bytes plain = from_hex("0001020304050607f1f2f3f4f5f6f7f8");
    const Bytes cipher = from_hex("e393a17df2b6de6f2086d8230c277432");
    Bytes out(plain.size());
    gost28147_ecb_encrypt(key.data(), plain.data(), plain.size(), out.data());
    EXPECT_EQ(out, cipher);
    gost28147_ecb_decrypt(key.data(), cipher.data(), cipher.size(), out.data());
    EXPECT_EQ(out, plain);

    Bytes block(plain.begin(), plain.begin() + 8);
    gost28147_encrypt_block(block.data(), key.data(), nullptr);
    EXPECT_EQ(block, Bytes(cipher.begin(), cipher.begin() + 8));
    gost28147_encrypt_block(block.data(), key.data(), gost28147_default_sbox.data());
    gost28147_decrypt_block(block.data(), key.data());
    gost28147_decrypt_block(block.data(), key.data());
    EXPECT_EQ(block, Bytes(plain.begin(), plain.begin() + 8));
}

TEST(Gost28147, BlockVectorWithCallerSbox)
{
    // The GOST R 34.11-94 test parameter S-box, given to the cipher in the lookup form.
    const Gost28147Sbox sbox = lookup_from_packed(
        "4a92d80e6b1c7f53eb4c6dfa23810759581da342efc7609b7da1089fe46cb253"
        "6c715fd84a9e03b24ba0721d36859cfedb413f590ae7682c1fd057a4923e6b8c");
    const auto key = key_words("546d203368656c326973652073736e62206167796967747473656865202c3d73");
    Bytes block(8, 0);
    gost28147_encrypt_block(block.data(), key.data(), sbox.data());
    EXPECT_EQ(block, from_hex("1b0bbc32cebcab42"));
}

TEST(Gost28147, EcbIgnoresTrailingPartialBlock)
{
    const auto key = key_words(sequential_key);
    const Bytes plain = from_hex("0001020304050607f1f2f3f4");
    for (auto run : {gost28147_ecb_encrypt, gost28147_ecb_decrypt}) {
        Bytes out(12, 0xEE);
        run(key.data(), plain.data(), 7, out.data());
        EXPECT_EQ(out, Bytes(12, 0xEE));
        run(key.data(), plain.data(), 12, out.data());
        EXPECT_NE(Bytes(out.begin(), out.begin() + 8), Bytes(8, 0xEE));
        EXPECT_EQ(Bytes(out.begin() + 8, out.end()), Bytes(4, 0xEE));
    }
}

TEST(Gost28147, DecryptRestoresAnyBlock)
{
    std::mt19937 rng(28147);
    for (int trial = 0; trial < 200; ++trial) {
        std::array<std::uint32_t, 8> key{};
        for (auto& word : key) {
            word = rng();
        }
        Bytes data(24);
        for (auto& byte : data) {
            byte = static_cast<std::uint8_t>(rng());
        }
        Bytes copy = data;
        gost28147_ecb_encrypt(key.data(), copy.data(), copy.size(), copy.data());
        EXPECT_NE(copy, data);
        gost28147_ecb_decrypt(key.data(), copy.data(), copy.size(), copy.data());
        ASSERT_EQ(copy, data) << "trial " << trial;
    }
}

struct CtrRun {
    Bytes counter = from_hex("f1f2f3f4f5f6f7f8");
    Bytes gamma = Bytes(8);
    std::int32_t position = -1;
};

TEST(Gost28147Ctr, VectorWithDefaultSbox)
{
    const auto key = key_words(sequential_key);
    const Bytes plain = from_hex(sequential_key);
    const Bytes cipher =
        from_hex("55b14c481cbd96f7edc1de150d0b34166be60aa622720181f625c0463a2066df");
    CtrRun run;
    Bytes out(plain.size());
    gost28147_ctr(key.data(), &run.position, run.counter.data(), run.gamma.data(), plain.data(),
                  plain.size(), out.data());
    EXPECT_EQ(out, cipher);
    EXPECT_EQ(run.position, 0);

    CtrRun again;
    gost28147_ctr(key.data(), nullptr, again.counter.data(), again.gamma.data(), cipher.data(),
                  cipher.size(), out.data());
    EXPECT_EQ(out, plain);
}

TEST(Gost28147Ctr, SplitCallsContinueTheStream)
{
    const auto key = key_words(sequential_key);
    Bytes plain(20);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        plain[i] = static_cast<std::uint8_t>(3 * i + 1);
    }
    CtrRun whole;
    Bytes expected(20);
    gost28147_ctr(key.data(), &whole.position, whole.counter.data(), whole.gamma.data(),
                  plain.data(), plain.size(), expected.data());

    CtrRun split;
    Bytes out(20);
    std::size_t done = 0;
    for (std::size_t piece : {7u, 1u, 12u}) {
        gost28147_ctr(key.data(), &split.position, split.counter.data(), split.gamma.data(),
                      plain.data() + done, piece, out.data() + done);
        done += piece;
    }
    EXPECT_EQ(out, expected);
    EXPECT_EQ(split.position, 4);
    EXPECT_EQ(split.counter, whole.counter);

    Bytes in_place = plain;
    CtrRun third;
    gost28147_ctr(key.data(), &third.position, third.counter.data(), third.gamma.data(),
                  in_place.data(), in_place.size(), in_place.data());
    EXPECT_EQ(in_place, expected);
}

TEST(Gost28147Ctr, PositionOutsideTheBlockStartsTheStream)
{
    const auto key = key_words(sequential_key);
    const Bytes plain(9, 0x5A);
    CtrRun started;
    Bytes expected(9);
    gost28147_ctr(key.data(), &started.position, started.counter.data(), started.gamma.data(),
                  plain.data(), plain.size(), expected.data());
    for (std::int32_t position : {8, 1000, -2}) {
        CtrRun run;
        run.position = position;
        Bytes out(9);
        gost28147_ctr(key.data(), &run.position, run.counter.data(), run.gamma.data(),
                      plain.data(), plain.size(), out.data());
        EXPECT_EQ(out, expected) << position;
        EXPECT_EQ(run.position, 1);
    }
}

TEST(Gost28147Ctr, CounterWordsAdvanceWithTheirModuli)
{
    struct Case {
        const char* before;  // N3 || N4 in block layout
        const char* after;
    };
    const Case cases[] = {
        {"0000000000000000", "0101010104010101"},
        {"fffffffffcfefefe", "0001010101000000"},  // N4 0xFEFEFEFC wraps to 1
        {"00000000fbfefefe", "01010101ffffffff"},  // 0xFEFEFEFB reaches 2^32 - 1
        {"00000000ffffffff", "0101010104010101"},  // 2^32 - 1 counts as 0
    };
    const auto key = key_words(sequential_key);
    for (const Case& c : cases) {
        Bytes counter = from_hex(c.before);
        Bytes gamma(8);
        std::int32_t position = 0;
        std::uint8_t byte = 0;
        gost28147_ctr(key.data(), &position, counter.data(), gamma.data(), &byte, 1, &byte);
        EXPECT_EQ(counter, from_hex(c.after)) << c.before;
        Bytes expected_gamma = counter;
        gost28147_encrypt_block(expected_gamma.data(), key.data(), nullptr);
        EXPECT_EQ(gamma, expected_gamma) << c.before;
        EXPECT_EQ(byte, gamma[0]);
    }
}

TEST(Gost28147Mac, VectorsWithDefaultSbox)
{
    struct Case {
        const char* data;
        const char* state;
    };
    const Case cases[] = {
        {sequential_key, "e9ab1a7fa4c4f1e3"},
        {"0000000000000000000000000000000000000000000000000000000000000000", "b57e5dc4e35baa17"},
    };
    const auto key = key_words(sequential_key);
    for (const Case& c : cases) {
        const Bytes data = from_hex(c.data);
        std::uint32_t state[2] = {0, 0};
        gost28147_mac32(state, data.data(), key.data());
        Bytes out(8);
        for (int i = 0; i < 8; ++i) {
            out[i] = static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
        }
        EXPECT_EQ(out, from_hex(c.state)) << c.data;
    }
}

}  // namespace
}  // namespace vlrp11
