#include "core/crypto_dstu4145.h"
#include "support_objects.h"

#include <gtest/gtest.h>

namespace vlrp11::sim {
namespace {

using test::concat;
using test::key_header;
using test::ObjectBench;

std::vector<std::uint8_t> listing_of(ObjectBench& bench) {
    std::vector<std::uint8_t> listing;
    bench.run(18, {}, listing);
    return listing;
}

// A partition with a two-chunk private file, a public file, an AES key and two key pairs.
void fill(ObjectBench& bench, std::vector<std::uint8_t>& dstu_point) {
    std::vector<std::uint8_t> big(2040, 0x42);
    ASSERT_EQ(bench.run(74, concat({{63, 0x83, 63, 0xF8, 0x07}, big})), status::ok);
    ASSERT_EQ(bench.run(74, {62, 0x83, 63, 2, 0, 7, 8}), status::ok);
    ASSERT_EQ(bench.run(74, {61, 0xCC, 61, 1, 0, 9}), status::ok);
    ASSERT_EQ(bench.run(68, concat({{0}, key_header(11, 0, 0xFFFF, 16), std::vector<std::uint8_t>(16, 3)})), status::ok);
    ASSERT_EQ(bench.run(66, concat({{1}, key_header(1, 0, 8)})), status::ok);
    ASSERT_EQ(bench.run(66, concat({{2}, key_header(3, 0x04, 34)}), dstu_point), status::ok);
}

TEST(ObjectPersistence, SavedPartitionComesBackWithFilesAndWorkingKeys) {
    ObjectBench bench;
    std::vector<std::uint8_t> dstu_point;
    fill(bench, dstu_point);
    std::vector<std::uint8_t> saved = save_object_store(bench.store());

    ObjectBench restored;
    ASSERT_TRUE(load_object_store(restored.store(), saved));
    EXPECT_EQ(listing_of(restored), listing_of(bench));
    for (std::uint8_t index : {63, 62, 61}) {
        std::vector<std::uint8_t> before, after;
        bench.run(50, {index}, before);
        restored.run(50, {index}, after);
        EXPECT_EQ(after, before) << int{index};
    }
    std::vector<std::uint8_t> cipher_before, cipher_after, point_after, signature;
    std::vector<std::uint8_t> block(16, 0x77);
    bench.run(112, concat({{0, 1}, block}), cipher_before);
    ASSERT_EQ(restored.run(112, concat({{0, 1}, block}), cipher_after), status::ok);
    EXPECT_EQ(cipher_after, cipher_before);
    ASSERT_EQ(restored.run(82, {2}, point_after), status::ok);
    EXPECT_EQ(point_after, dstu_point);
    std::vector<std::uint8_t> hash(32, 1);
    ASSERT_EQ(restored.run(84, concat({{2, 32}, hash}), signature), status::ok);
    const BinaryCurve& curve = *dstu_curve(34);
    EXPECT_TRUE(dstu_verify(curve, dstu_decompress(curve, dstu_point).get(), hash, signature));
    EXPECT_EQ(save_object_store(restored.store()), saved);
}

TEST(ObjectPersistence, KeyStillBeingMadeIsNotSaved) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(66, concat({{5}, key_header(8, 0, 1024)})), status::pending);
    ObjectBench restored;
    ASSERT_TRUE(load_object_store(restored.store(), save_object_store(bench.store())));
    EXPECT_EQ(restored.run(80, {5}), status::not_found);
}

TEST(ObjectPersistence, NothingSavedLoadsAnEmptyPartition) {
    ObjectBench bench(16);
    ASSERT_TRUE(load_object_store(bench.store(), {}));
    EXPECT_EQ(listing_of(bench).size(), 64u);
}

struct DamageCase {
    const char* name;
    std::vector<std::uint8_t> saved;
};

class DamagedSave : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedSave, IsRefusedAndLeavesThePartitionAlone) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(74, {10, 0x8C, 10, 1, 0, 5}), status::ok);
    auto before = listing_of(bench);
    EXPECT_FALSE(load_object_store(bench.store(), GetParam().saved));
    EXPECT_EQ(listing_of(bench), before);
}

std::vector<std::uint8_t> saved(std::initializer_list<std::vector<std::uint8_t>> entries, std::uint8_t capacity = 64) {
    std::vector<std::uint8_t> magic = {'V', 'S', 'O', '1', capacity};
    std::vector<std::uint8_t> out = concat({magic});
    for (const auto& entry : entries) out = concat({out, entry});
    return out;
}

std::vector<std::uint8_t> entry(std::uint8_t index, std::uint8_t state, std::uint8_t head, std::size_t length) {
    std::vector<std::uint8_t> fields = {index, state, head, static_cast<std::uint8_t>(length),
                                        static_cast<std::uint8_t>(length >> 8), 0, 0};
    return concat({fields, std::vector<std::uint8_t>(length, 0x33)});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedSave,
    ::testing::Values(DamageCase{"WrongMagic", {'V', 'S', 'O', '2', 64}},
                      DamageCase{"OnlyMagic", {'V', 'S', 'O', '1'}},
                      DamageCase{"CapacityOver64", saved({}, 65)},
                      DamageCase{"TruncatedEntryHeader", saved({{3, 0x8C, 3}})},
                      DamageCase{"TruncatedData", [] { auto s = saved({entry(3, 0x8C, 3, 10)}); s.pop_back(); return s; }()},
                      DamageCase{"IndexBeyondCapacity", saved({entry(20, 0x8C, 20, 1)}, 16)},
                      DamageCase{"SameIndexTwice", saved({entry(3, 0x8C, 3, 1), entry(3, 0x8C, 3, 1)})},
                      DamageCase{"FreeState", saved({entry(3, 0xFF, 3, 1)})},
                      DamageCase{"ChunkOver2040", saved({entry(3, 0x8C, 3, 2041)})},
                      DamageCase{"EmptyChunk", saved({entry(3, 0x8C, 3, 0)})},
                      DamageCase{"HeadBelowChunk", saved({entry(3, 0x8C, 2, 1)})},
                      DamageCase{"KeyWithoutMaterial", saved({entry(3, 0x33, 0xFF, 104)})},
                      DamageCase{"KeyWithHead", saved({entry(3, 0x33, 3, 120)})}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vlrp11::sim
