#include "crypto/gost28147_sbox.h"
#include "crypto/gost34311.h"
#include "support/hex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vlrp11 {
namespace {

using namespace std::string_view_literals;
using test::from_hex;
using Bytes = std::vector<std::uint8_t>;

// The GOST R 34.11-94 test parameter S-box, for the published vectors made with it.
const Gost28147Sbox test_param_sbox = [] {
    const Bytes packed = from_hex(
        "4a92d80e6b1c7f53eb4c6dfa23810759581da342efc7609b7da1089fe46cb253"
        "6c715fd84a9e03b24ba0721d36859cfedb413f590ae7682c1fd057a4923e6b8c");
    Gost28147Sbox lookup{};
    gost28147_unpack_sbox(packed.data(), lookup.data());
    return lookup;
}();

struct Vector {
    const std::uint8_t* sbox;  // null: the default S-box
    std::string_view text;     // the message, or the byte to repeat when repeat > 0
    std::size_t repeat;
    const char* digest;

    Bytes message() const
    {
        if (repeat > 0) {
            return Bytes(repeat, static_cast<std::uint8_t>(text[0]));
        }
        return Bytes(text.begin(), text.end());
    }
};

const Vector vectors[] = {
    {nullptr, "12345678901234567890123456789011", 0,
     "7686f3f4b113aadc97bca9ea054f41821f0676c5c28ffb987e41797a568e1ed4"},
    {nullptr,
     "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f"
     "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f"sv,
     0, "811cb06a8ee423182d9cc9d281f783908f4cfbaf47a68be8415d3499674a3063"},
    {nullptr, "123123", 0, "34d4da2c04e9c1ceb933282069c864617d94ed7cc5c0a9840c0c1a99629df637"},
    {nullptr,
     "IGNORE THIS FILE. This file does nothing, contains no useful data, and might go away in "
     "future releases.  Do not depend on this file or its contents.",
     0, "e9312d13d0e0d39aa4a00c77dcfb661883dd0ed8218af48a146168fc60f014dc"},
    {nullptr, "", 0, "da37bdf41145e39e34111775b40646e8059c2e969c1460bb98abccb26f0f76a5"},
    {nullptr, "a", 0, "1bb97866a6d5a7697959e9936e4c119ee5faed0fb2422c44ee8d785193b1afd6"},
    {nullptr, "abc", 0, "a34a53504d8ba070cb73a583146167a0a3c226d793440d9cea24465fe02251f2"},
    {nullptr, "message digest", 0,
     "ab68a193346fd3e8d00865701ac06d591d18d57052470c51df7d71e0aaeb352a"},
    {nullptr, "This is message, length=32 bytes", 0,
     "317e4f627075d4897ef41380bcb8d48926d29ddafa5816da556543905d2237a9"},
    {nullptr, "Suppose the original message has length = 50 bytes", 0,
     "3087537a2bb2b9e986fddcc5ed136fd94ac29b9b5ad13f204a66fc631704f3ab"},
    {nullptr, "U", 128, "6f7252e18fdce30eb0c1fe824e05e70015f7c62d9bd80e2d18c3f61a3a0ea349"},
    {test_param_sbox.data(), "This is message, length=32 bytes", 0,
     "b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa"},
    {test_param_sbox.data(), "Suppose the original message has length = 50 bytes", 0,
     "471aba57a60a770d3a76130635c1fbea4ef14de51f78b4ae57dd893b62f55208"},
    {test_param_sbox.data(), "", 0,
     "ce85b99cc46752fffee35cab9a7b0278abb4c2d2055cff685af4912c49490f8d"},
    {test_param_sbox.data(), "a", 0,
     "d42c539e367c66e9c88a801f6649349c21871b4344c6a573f849fdce62f314dd"},
    {test_param_sbox.data(), "abc", 0,
     "f3134348c44fb1b2a277729e2285ebb5cb5e0f29c975bc753b70497c06a4d51d"},
    {test_param_sbox.data(), "message digest", 0,
     "ad4434ecb18f2c99b60cbe59ec3d2469582b65273f48de72db2fde16a4889a4d"},
    {test_param_sbox.data(), "The quick brown fox jumps over the lazy dog", 0,
     "77b7fa410c9ac58a25f49bca7d0468c9296529315eaca76bd1a10f376d1f4294"},
    {test_param_sbox.data(), "U", 128,
     "53a3a3ed25180cef0c1d85a074273e551c25660a87062a52d926a9e8fe5733a4"},
    {test_param_sbox.data(), "a", 1000000,
     "5c00ccc2734cdd3332d3d4749576e3c1a7dbaf0e7ea74e9fa602413c90a129fa"},
};

Bytes hash_in_pieces(const std::uint8_t* sbox, const Bytes& message, std::size_t piece)
{
    Gost34311Context ctx;
    gost34311_init(ctx);
    ctx.sbox = sbox;
    for (std::size_t done = 0; done < message.size(); done += piece) {
        gost34311_update(ctx, message.data() + done, std::min(piece, message.size() - done));
    }
    Bytes out(gost34311_digest_bytes);
    gost34311_final(ctx, out.data());
    return out;
}

class Gost34311Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Gost34311Vectors, WholeAndInPieces)
{
    const Vector& v = GetParam();
    const Bytes message = v.message();
    const Bytes expected = from_hex(v.digest);
    EXPECT_EQ(hash_in_pieces(v.sbox, message, message.size() + 1), expected);
    if (message.size() <= 1000) {
        for (std::size_t piece : {1u, 7u, 31u, 32u, 33u, 64u}) {
            EXPECT_EQ(hash_in_pieces(v.sbox, message, piece), expected) << "pieces of " << piece;
        }
    }
    if (v.sbox == nullptr) {
        Bytes out(gost34311_digest_bytes);
        gost34311_digest(message.data(), message.size(), out.data());
        EXPECT_EQ(out, expected);
    }
}

TEST_P(Gost34311Vectors, ContextCopiedMidMessage)
{
    const Vector& v = GetParam();
    const Bytes message = v.message();
    if (message.size() > 1000) {
        GTEST_SKIP();
    }
    Gost34311Context ctx;
    gost34311_init(ctx);
    ctx.sbox = v.sbox;
    const std::size_t half = message.size() / 2;
    gost34311_update(ctx, message.data(), half);
    Gost34311Context copy = ctx;
    gost34311_update(copy, message.data() + half, message.size() - half);
    Bytes out(gost34311_digest_bytes);
    gost34311_final(copy, out.data());
    EXPECT_EQ(out, from_hex(v.digest));
}

INSTANTIATE_TEST_SUITE_P(Published, Gost34311Vectors, ::testing::ValuesIn(vectors));

TEST(Gost34311, FinalLeavesContextReadyWithItsSbox)
{
    Gost34311Context ctx;
    gost34311_init(ctx);
    ctx.sbox = test_param_sbox.data();
    Bytes out(gost34311_digest_bytes);
    gost34311_update(ctx, reinterpret_cast<const std::uint8_t*>("abc"), 3);
    gost34311_final(ctx, out.data());

    EXPECT_EQ(ctx.sbox, test_param_sbox.data());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&ctx);
    EXPECT_EQ(Bytes(bytes, bytes + 168), Bytes(168, 0));

    gost34311_update(ctx, reinterpret_cast<const std::uint8_t*>("a"), 1);
    gost34311_final(ctx, out.data());
    EXPECT_EQ(out, from_hex("d42c539e367c66e9c88a801f6649349c21871b4344c6a573f849fdce62f314dd"));
}

TEST(Gost34311, InitSelectsTheDefaultSbox)
{
    Gost34311Context ctx;
    ctx.sbox = test_param_sbox.data();
    gost34311_init(ctx);
    EXPECT_EQ(ctx.sbox, nullptr);
}

TEST(Gost34311, TrailingZerosChangeTheDigest)
{
    // Both give the same padded blocks and control sum; only the length tells them apart.
    Bytes message(33, 0x42);
    Bytes padded = message;
    padded.resize(64, 0);
    Bytes a(32);
    Bytes b(32);
    gost34311_digest(message.data(), message.size(), a.data());
    gost34311_digest(padded.data(), padded.size(), b.data());
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace vlrp11
