#include "device/ctr_drbg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vlrp11 {
namespace {

struct CountingSource {
    int calls = 0;
    std::uint32_t failWith = 0;
};
CountingSource source_state;

std::uint32_t counting_source(std::uint64_t context, std::uint8_t* buffer, std::size_t length)
{
    ++source_state.calls;
    if (source_state.failWith)
        return source_state.failWith;
    std::memset(buffer, static_cast<int>(context + source_state.calls), length);
    return 0;
}

TEST(CtrDrbg, ReseedsAfterOneThousandRequests)
{
    source_state = {};
    CtrDrbg drbg{};
    ASSERT_EQ(drbg_instantiate_from(drbg, counting_source, 5), DEVICE_OK);
    EXPECT_EQ(source_state.calls, 1);
    std::uint8_t out[32];
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(drbg_generate(drbg, out, 256), DEVICE_OK);
    EXPECT_EQ(source_state.calls, 1);
    EXPECT_EQ(drbg.reseed_counter, 1001u);

    std::uint8_t before[32];
    std::memcpy(before, out, 32);
    ASSERT_EQ(drbg_generate(drbg, out, 256), DEVICE_OK);
    EXPECT_EQ(source_state.calls, 2);
    EXPECT_EQ(drbg.reseed_counter, 2u);
    EXPECT_NE(0, std::memcmp(before, out, 32));

    // A failing source fails the request that needs it, with the source's status.
    for (int i = 0; i < 999; ++i)
        ASSERT_EQ(drbg_generate(drbg, out, 256), DEVICE_OK);
    source_state.failWith = RANDOM_FAILED;
    EXPECT_EQ(drbg_generate(drbg, out, 256), RANDOM_FAILED);
}

TEST(CtrDrbg, LengthRulesAndSpareBits)
{
    source_state = {};
    CtrDrbg drbg{};
    ASSERT_EQ(drbg_instantiate_from(drbg, counting_source, 0), DEVICE_OK);
    std::vector<std::uint8_t> big(65537);
    EXPECT_EQ(drbg_generate(drbg, big.data(), 8 * 65537), DRBG_REQUEST_TOO_LONG);
    EXPECT_EQ(drbg_generate(drbg, big.data(), 8 * 65536), DEVICE_OK);
    for (int trial = 0; trial < 64; ++trial) {
        std::uint8_t out[2] = {0xFF, 0xFF};
        ASSERT_EQ(drbg_generate(drbg, out, 11), DEVICE_OK);
        EXPECT_EQ(out[1] & 0xF8, 0);
    }
    source_state.failWith = RANDOM_FAILED;
    CtrDrbg failing{};
    EXPECT_EQ(drbg_instantiate_from(failing, counting_source, 0), 190u);
}

TEST(CtrDrbg, SystemSeededGeneratorsDiffer)
{
    CtrDrbg a{}, b{};
    ASSERT_EQ(drbg_instantiate(a), DEVICE_OK);
    ASSERT_EQ(drbg_instantiate(b), DEVICE_OK);
    std::uint8_t x[32], y[32];
    ASSERT_EQ(drbg_generate(a, x, 256), DEVICE_OK);
    ASSERT_EQ(drbg_generate(b, y, 256), DEVICE_OK);
    EXPECT_NE(0, std::memcmp(x, y, 32));
}

}  // namespace
}  // namespace vlrp11
