#include "core/object_handlers.h"
#include "support_objects.h"

#include <gtest/gtest.h>

namespace vlrp11::sim {
namespace {

using test::concat;
using test::ObjectBench;

constexpr std::uint8_t kList = 18, kRead = 50, kDelete = 72, kWrite = 74, kWriteKey = 68;

std::vector<std::uint8_t> pattern(std::size_t length, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

std::vector<std::uint8_t> write_request(std::uint8_t index, std::uint8_t state, std::uint8_t head,
                                        const std::vector<std::uint8_t>& chunk) {
    auto length = static_cast<std::uint16_t>(chunk.size());
    return concat({{index, state, head, static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)},
                   chunk});
}

// Writes header ‖ value the way the library does: from the head down, at most 2040 bytes each.
void write_file(ObjectBench& bench, std::uint8_t head, std::uint8_t state, const std::vector<std::uint8_t>& file) {
    std::size_t done = 0;
    for (int index = head; done < file.size(); --index) {
        std::size_t length = std::min<std::size_t>(2040, file.size() - done);
        std::vector<std::uint8_t> chunk(file.begin() + done, file.begin() + done + length);
        ASSERT_EQ(bench.run(kWrite, write_request(static_cast<std::uint8_t>(index), state, head, chunk)), status::ok);
        done += length;
    }
}

std::vector<std::uint8_t> read_file(ObjectBench& bench, std::uint8_t head) {
    std::vector<std::uint8_t> listing, file, reply;
    EXPECT_EQ(bench.run(kList, {}, listing), status::ok);
    for (int index = head; index >= 0; --index) {
        if (listing[4 * index + 1] != head) continue;
        EXPECT_EQ(bench.run(kRead, {static_cast<std::uint8_t>(index)}, reply), status::ok);
        std::size_t length = reply[2] | reply[3] << 8;
        EXPECT_EQ(reply.size(), 4 + length);
        file.insert(file.end(), reply.begin() + 4, reply.end());
    }
    return file;
}

TEST(ObjectDirectory, EmptyDeviceListsSixtyFourFreeEntries) {
    ObjectBench bench;
    std::vector<std::uint8_t> listing;
    ASSERT_EQ(bench.run(kList, {}, listing), status::ok);
    ASSERT_EQ(listing.size(), 256u);
    for (std::size_t i = 0; i < 64; ++i) {
        EXPECT_EQ(listing[4 * i], 0xFF);
        EXPECT_EQ(listing[4 * i + 1], 0xFF);
    }
    EXPECT_EQ(bench.run(kList, {0}), status::bad_length);
}

TEST(ObjectDirectory, FileOf2104BytesTakesTwoChainedEntries) {
    ObjectBench bench;
    auto file = pattern(104 + 2000, 3);
    write_file(bench, 63, 0x8C, file);
    std::vector<std::uint8_t> listing;
    bench.run(kList, {}, listing);
    EXPECT_EQ((std::vector<std::uint8_t>(listing.begin() + 4 * 62, listing.end())),
              (std::vector<std::uint8_t>{0x8C, 63, 64, 0, 0x8C, 63, 0xF8, 0x07}));
    EXPECT_EQ(listing[4 * 61], 0xFF);
    EXPECT_EQ(read_file(bench, 63), file);
    EXPECT_TRUE(bench.changed);
}

TEST(ObjectDirectory, CertificateOf5104BytesSkipsOccupiedEntriesAndReadsBackWhole) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(kWrite, write_request(40, 0x8C, 40, pattern(50, 1))), status::ok);
    auto file = pattern(104 + 5000, 9);
    // The library writes at 41, then the free entries below it: 39 and 38.
    ASSERT_EQ(bench.run(kWrite, write_request(41, 0xC3, 41, {file.begin(), file.begin() + 2040})), status::ok);
    ASSERT_EQ(bench.run(kWrite, write_request(39, 0xC3, 41, {file.begin() + 2040, file.begin() + 4080})), status::ok);
    ASSERT_EQ(bench.run(kWrite, write_request(38, 0xC3, 41, {file.begin() + 4080, file.end()})), status::ok);
    EXPECT_EQ(read_file(bench, 41), file);
}

struct WriteCase {
    const char* name;
    std::vector<std::uint8_t> request;
    std::uint8_t expected;
};

class WriteRefusal : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteRefusal, LeavesTheDirectoryAsItWas) {
    ObjectBench bench(48);
    ASSERT_EQ(bench.run(kWrite, write_request(40, 0x8C, 40, pattern(200, 1))), status::ok);
    ASSERT_EQ(bench.run(kWrite, write_request(30, 0xCC, 30, pattern(200, 1))), status::ok);
    ASSERT_EQ(bench.run(kWrite, write_request(29, 0xCC, 30, pattern(20, 1))), status::ok);
    std::vector<std::uint8_t> before, after;
    bench.run(kList, {}, before);
    EXPECT_EQ(bench.run(kWrite, GetParam().request), GetParam().expected);
    bench.run(kList, {}, after);
    EXPECT_EQ(before, after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteRefusal,
    ::testing::Values(
        WriteCase{"ShortRequest", {10, 0x8C, 10, 1}, status::bad_length},
        WriteCase{"LengthFieldTooLong", {10, 0x8C, 10, 3, 0, 1, 2}, status::bad_length},
        WriteCase{"LengthFieldTooShort", {10, 0x8C, 10, 1, 0, 1, 2}, status::bad_length},
        WriteCase{"EmptyChunk", write_request(10, 0x8C, 10, {}), status::bad_argument},
        WriteCase{"ChunkOver2040", write_request(10, 0x8C, 10, pattern(2041, 0)), status::bad_argument},
        WriteCase{"IndexBeyondDevice", write_request(48, 0x8C, 48, pattern(8, 0)), status::bad_argument},
        WriteCase{"HeadBelowIndex", write_request(10, 0x8C, 9, pattern(8, 0)), status::bad_argument},
        WriteCase{"HeadIsFree", write_request(10, 0x8C, 12, pattern(8, 0)), status::bad_argument},
        WriteCase{"HeadIsOnlyAChunk", write_request(10, 0xCC, 29, pattern(8, 0)), status::bad_argument},
        WriteCase{"HeadOfOtherState", write_request(10, 0xCC, 40, pattern(8, 0)), status::bad_argument},
        WriteCase{"KeyState", write_request(10, 0x33, 10, pattern(8, 0)), status::bad_argument},
        WriteCase{"FreeState", write_request(10, 0x8F, 10, pattern(8, 0)), status::bad_argument},
        WriteCase{"UnknownFileKind", write_request(10, 0x5C, 10, pattern(8, 0)), status::bad_argument},
        WriteCase{"OccupiedEntry", write_request(40, 0x8C, 40, pattern(8, 0)), status::storage_full}),
    [](const auto& info) { return info.param.name; });

TEST(ObjectDirectory, DeviceWithFewerStorageBlocksListsOnlyThoseAndFillsUp) {
    ObjectBench bench(8);
    std::vector<std::uint8_t> listing;
    bench.run(kList, {}, listing);
    EXPECT_EQ(listing.size(), 32u);
    for (std::uint8_t i = 0; i < 8; ++i) ASSERT_EQ(bench.run(kWrite, write_request(i, 0x8C, i, {i})), status::ok);
    EXPECT_EQ(bench.run(kWrite, write_request(8, 0x8C, 8, {1})), status::bad_argument);
    EXPECT_EQ(bench.run(kWrite, write_request(7, 0x8C, 7, {1})), status::storage_full);
    EXPECT_EQ(bench.run(kRead, {8}), status::bad_argument);
}

TEST(ObjectDirectory, DeleteFreesEveryKindOfEntry) {
    ObjectBench bench;
    write_file(bench, 63, 0x83, pattern(3000, 2));
    ASSERT_EQ(bench.run(kWriteKey, concat({{5}, test::key_header(11, 0, 0xFFFF, 16), pattern(16, 0)})), status::ok);
    for (std::uint8_t index : {63, 62, 5}) EXPECT_EQ(bench.run(kDelete, {index}), status::ok);
    std::vector<std::uint8_t> listing;
    bench.run(kList, {}, listing);
    for (std::size_t i = 0; i < 64; ++i) EXPECT_EQ(listing[4 * i], 0xFF) << i;
    EXPECT_EQ(bench.run(kDelete, {5}), status::not_found);
    EXPECT_EQ(bench.run(kDelete, {64}), status::bad_argument);
    EXPECT_EQ(bench.run(kDelete, {}), status::bad_length);
}

TEST(ObjectDirectory, ReadRefusesKeysAndFreeEntries) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(kWriteKey, concat({{5}, test::key_header(15, 0, 0xFFFF, 32), pattern(32, 0)})), status::ok);
    EXPECT_EQ(bench.run(kRead, {5}), status::bad_argument);
    EXPECT_EQ(bench.run(kRead, {6}), status::not_found);
    EXPECT_EQ(bench.run(kRead, {5, 0}), status::bad_length);
}

struct AccessCase {
    const char* name;
    int login_state;
    std::uint8_t code;
    std::uint8_t index;          // entry the command works on
    std::uint8_t write_state;    // for 74
    std::uint8_t expected;
};

class ObjectAccess : public ::testing::TestWithParam<AccessCase> {};

// Entry 20 holds a public data object, 21 a private one, 22 a key.
TEST_P(ObjectAccess, FollowsTheLoginRules) {
    ObjectBench bench;
    ASSERT_EQ(bench.run(kWrite, write_request(20, 0x8C, 20, pattern(10, 0))), status::ok);
    ASSERT_EQ(bench.run(kWrite, write_request(21, 0x83, 21, pattern(10, 0))), status::ok);
    ASSERT_EQ(bench.run(kWriteKey, concat({{22}, test::key_header(11, 0, 0xFFFF, 16), pattern(16, 0)})), status::ok);
    const AccessCase& c = GetParam();
    bench.login_state = c.login_state;
    std::vector<std::uint8_t> request = {c.index};
    if (c.code == kWrite) request = write_request(c.index, c.write_state, c.index, {1, 2, 3});
    EXPECT_EQ(bench.run(c.code, request), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObjectAccess,
    ::testing::Values(AccessCase{"NobodyReadsPublic", login_none, kRead, 20, 0, status::ok},
                      AccessCase{"NobodyReadsPrivate", login_none, kRead, 21, 0, status::access_denied},
                      AccessCase{"SoReadsPrivate", login_so, kRead, 21, 0, status::access_denied},
                      AccessCase{"ReadOnlyUserReadsPrivate", login_user_ro, kRead, 21, 0, status::ok},
                      AccessCase{"NobodyWritesPublic", login_none, kWrite, 30, 0xCC, status::ok},
                      AccessCase{"SoWritesPublic", login_so, kWrite, 30, 0x8C, status::ok},
                      AccessCase{"NobodyWritesPrivate", login_none, kWrite, 30, 0x83, status::access_denied},
                      AccessCase{"SoWritesPrivate", login_so, kWrite, 30, 0xC3, status::access_denied},
                      AccessCase{"ReadOnlyUserWritesPublic", login_user_ro, kWrite, 30, 0x8C, status::access_denied},
                      AccessCase{"UserWritesPrivate", login_user, kWrite, 30, 0x83, status::ok},
                      AccessCase{"NobodyDeletesPublic", login_none, kDelete, 20, 0, status::ok},
                      AccessCase{"NobodyDeletesPrivate", login_none, kDelete, 21, 0, status::access_denied},
                      AccessCase{"SoDeletesKey", login_so, kDelete, 22, 0, status::access_denied},
                      AccessCase{"ReadOnlyUserDeletesKey", login_user_ro, kDelete, 22, 0, status::access_denied},
                      AccessCase{"UserDeletesKey", login_user, kDelete, 22, 0, status::ok}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vlrp11::sim
