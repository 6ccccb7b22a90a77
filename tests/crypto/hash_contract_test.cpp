#include <gtest/gtest.h>

#include <cstring>

#include "crypto/cpu_support.h"
#include "crypto/support/any_hash.h"
#include "platform/wipe.h"

// The init/update/final contract shared by every hash: any split of the message gives the
// same digest, a copied context forks the digest, SHA and SHA-3 contexts are ready again
// after final while Kupyna's are not.

namespace vlrp11::test {
namespace {

class HashContractTest : public testing::TestWithParam<std::tuple<ShaPath, DigestType>> {
protected:
    void SetUp() override
    {
        if (!sha_path_available(std::get<0>(GetParam()), type()))
            GTEST_SKIP() << "no instructions for this path on this processor";
        guard_.emplace(std::get<0>(GetParam()));
    }

    DigestType type() const { return std::get<1>(GetParam()); }

private:
    std::optional<ShaPathGuard> guard_;
};

TEST_P(HashContractTest, PiecesOfAnySizeGiveTheSameDigest)
{
    for (std::size_t length : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 129u, 300u, 1000u}) {
        const Bytes message = counting_bytes(length);
        const Bytes whole = digest_in_pieces(type(), message, 0);
        for (std::size_t piece : {1u, 7u, 63u, 64u})
            EXPECT_EQ(digest_in_pieces(type(), message, piece), whole) << "length " << length << ", pieces of " << piece;
    }
}

TEST_P(HashContractTest, EmptyUpdatesChangeNothing)
{
    const Bytes message = counting_bytes(100);
    AnyHash hash(type());
    hash.update({});
    hash.update(std::span(message).first(50));
    hash.update({});
    hash.update(std::span(message).subspan(50));
    EXPECT_EQ(hash.final(), digest_in_pieces(type(), message, 0));
}

TEST_P(HashContractTest, CopiedContextForksTheDigest)
{
    const Bytes message = counting_bytes(500);
    AnyHash hash(type());
    hash.update(std::span(message).first(201));
    AnyHash fork = hash;
    hash.update(std::span(message).subspan(201));
    fork.update(std::span(message).subspan(201, 99));
    EXPECT_EQ(hash.final(), digest_in_pieces(type(), message, 0));
    EXPECT_EQ(fork.final(), digest_in_pieces(type(), std::span(message).first(300), 0));
}

// SHA and SHA-3 return to their initial state after final; Kupyna must be initialised afresh.
TEST_P(HashContractTest, ContextAfterFinal)
{
    const Bytes first = counting_bytes(77);
    const Bytes second(130, 0x5a);
    AnyHash hash(type());
    hash.update(first);
    hash.final();
    const bool is_kupyna = type() == DigestType::kupyna256 || type() == DigestType::kupyna384 ||
                           type() == DigestType::kupyna512;
    if (is_kupyna)
        hash.init();
    hash.update(second);
    EXPECT_EQ(hash.final(), digest_in_pieces(type(), second, 0));
}

std::string contract_name(const testing::TestParamInfo<HashContractTest::ParamType>& info)
{
    return sha_path_name(std::get<0>(info.param)) + "_" + digest_name(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(AllHashes, HashContractTest,
                         testing::Combine(testing::ValuesIn(all_sha_paths), testing::ValuesIn(implemented_digest_types())),
                         contract_name);

TEST(DigestTypes, OutputLengths)
{
    const std::size_t expected[] = {0, 32, 32, 48, 64, 20, 28, 32, 48, 64, 28, 32, 48, 64, 0};
    for (std::uint32_t type = 0; type < std::size(expected); ++type)
        EXPECT_EQ(digest_output_length(static_cast<DigestType>(type)), expected[type]) << "type " << type;
    EXPECT_EQ(digest_output_length(static_cast<DigestType>(0xffffffff)), 0u);
}

template <typename Context>
bool all_zero_except(const Context& ctx, std::size_t skip_from)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&ctx);
    for (std::size_t i = 0; i < skip_from; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

TEST(Kupyna, FinalWipesTheStateButKeepsTheSizes)
{
    KupynaContext ctx;
    kupyna_init(ctx, 48);
    const Bytes message = counting_bytes(200);
    kupyna_update(ctx, message.data(), message.size());
    std::uint8_t out[48];
    kupyna_final(ctx, out);
    EXPECT_TRUE(all_zero_except(ctx, offsetof(KupynaContext, block_size)));
    EXPECT_EQ(ctx.block_size, 128u);
    EXPECT_EQ(ctx.output_size, 48u);
    EXPECT_EQ(ctx.index, 0u);
}

// The standard's examples of other output lengths: 48 bits on the 512-bit state, 304 bits on
// the 1024-bit state.
TEST(Kupyna, OtherOutputLengthsFollowTheStandard)
{
    struct Case {
        std::size_t output_size;
        std::size_t message_length;
        const char* digest;
    } cases[] = {
        {6, 64, "2f6631239875"},
        {38, 128, "0a8cada32b979635657f256b15d5fca4a174de029f0b1b4387c878fcc1c00e8705d783fd7ffe"},
    };
    for (const Case& c : cases) {
        KupynaContext ctx;
        kupyna_init(ctx, c.output_size);
        const Bytes message = counting_bytes(c.message_length);
        kupyna_update(ctx, message.data(), message.size());
        Bytes out(c.output_size);
        kupyna_final(ctx, out.data());
        EXPECT_EQ(to_hex(out), c.digest) << c.output_size << " bytes";
    }
}

// A capacity outside the four SHA-3 variants must not send the absorber past the lanes.
TEST(Sha3, UnknownCapacityIsHarmless)
{
    Sha3Context ctx;
    sha3_init(ctx, 30);
    EXPECT_EQ(ctx.capacity_words, 0u);
    const Bytes message = counting_bytes(1000);
    sha3_update(ctx, message.data(), message.size());
    std::uint8_t out[1] = {0xee};
    sha3_final(ctx, out);
    EXPECT_EQ(out[0], 0xee);
    EXPECT_TRUE(all_zero_except(ctx, sizeof ctx));
}

TEST(Sha1, OneShotMatchesTheContext)
{
    const Bytes message = counting_bytes(333);
    std::uint8_t out[20];
    sha1_digest(message.data(), message.size(), out);
    EXPECT_EQ(Bytes(out, out + 20), digest_in_pieces(DigestType::sha1, message, 0));
    std::uint8_t out256[32];
    sha256_digest(message.data(), message.size(), out256);
    EXPECT_EQ(Bytes(out256, out256 + 32), digest_in_pieces(DigestType::sha256, message, 0));
}

}  // namespace
}  // namespace vlrp11::test
