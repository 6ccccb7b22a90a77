// The loader against directories and replies a real device should never send.
#include "objects/object_record.h"
#include "objects/token_objects.h"
#include "support/fake_object_device.h"
#include "device/status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace vlrp11 {
namespace {

using test::FakeObjectDevice;
using test::header_bytes;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t PRIVATE_DATA = 0x83;
constexpr std::uint8_t PUBLIC_DATA = 0x8C;
constexpr std::uint8_t FREE = 0xFF;
constexpr std::uint8_t KEY = 0x33;

Bytes file_head(std::uint16_t valueLength, std::size_t bytesHere, std::uint8_t fill = 0xA1)
{
    Bytes chunk = header_bytes(0xFF, valueLength);
    chunk.insert(chunk.end(), bytesHere, fill);
    return chunk;
}

// A directory of `count` free entries, the test then fills some.
void free_entries(FakeObjectDevice& device, unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        device.entry(FREE, FREE);
}

void set_entry(FakeObjectDevice& device, unsigned index, std::uint8_t state, std::uint8_t head)
{
    device.directory[4 * index] = state;
    device.directory[4 * index + 1] = head;
}

struct LoaderCase {
    const char* name;
    std::function<void(FakeObjectDevice&)> arrange;
    std::map<std::uint8_t, std::size_t> loaded;  // directory index -> value length
};

const LoaderCase loader_cases[] = {
    {"FileOverTwoChunksLoadsWhole",
     [](FakeObjectDevice& d) {
         free_entries(d, 4);
         set_entry(d, 3, PRIVATE_DATA, 3);
         set_entry(d, 1, PRIVATE_DATA, 3);
         d.chunk(3, 2040, file_head(3000, 1936));
         d.chunk(1, 1064, Bytes(1064, 0xB2));
     },
     {{3, 3000}}},
    {"ContinuationShorterThanAnnouncedFails",
     [](FakeObjectDevice& d) {
         free_entries(d, 4);
         set_entry(d, 3, PRIVATE_DATA, 3);
         set_entry(d, 1, PRIVATE_DATA, 3);
         d.chunk(3, 2040, file_head(3000, 1936));
         d.chunk(1, 1064, Bytes(1000, 0xB2));
     },
     {}},
    {"HeadShorterThanAnnouncedFails",
     [](FakeObjectDevice& d) {
         free_entries(d, 1);
         set_entry(d, 0, PRIVATE_DATA, 0);
         d.chunk(0, 200, file_head(96, 50));
     },
     {}},
    {"OrphanChunkIsNoObject",
     [](FakeObjectDevice& d) {
         free_entries(d, 8);
         set_entry(d, 5, PRIVATE_DATA, 7);
         d.chunk(5, 110, file_head(6, 6));
     },
     {}},
    {"FreeEntryNamingTheHeadIsNotAppended",
     [](FakeObjectDevice& d) {
         free_entries(d, 3);
         set_entry(d, 2, PRIVATE_DATA, 2);
         set_entry(d, 1, FREE, 2);
         set_entry(d, 0, PRIVATE_DATA, 2);
         d.chunk(2, 109, file_head(10, 5));
         d.chunk(1, 5, Bytes(5, 0xEE));
         d.chunk(0, 5, Bytes(5, 0xB2));
     },
     {{2, 10}}},
    {"BytesMissingAfterIndexZeroFail",
     [](FakeObjectDevice& d) {
         free_entries(d, 1);
         set_entry(d, 0, PRIVATE_DATA, 0);
         d.chunk(0, 154, file_head(100, 50));
     },
     {}},
    {"ChunkLongerThanWhatIsMissingFails",
     [](FakeObjectDevice& d) {
         free_entries(d, 2);
         set_entry(d, 1, PRIVATE_DATA, 1);
         set_entry(d, 0, PRIVATE_DATA, 1);
         d.chunk(1, 114, file_head(20, 10));
         d.chunk(0, 11, Bytes(11, 0xB2));
     },
     {}},
    {"HeadChunkSmallerThanAHeaderFails",
     [](FakeObjectDevice& d) {
         free_entries(d, 1);
         set_entry(d, 0, PRIVATE_DATA, 0);
         d.chunk(0, 100, Bytes(100, 0));
     },
     {}},
    {"EmptyDataObjectLoads",
     [](FakeObjectDevice& d) {
         free_entries(d, 1);
         set_entry(d, 0, PRIVATE_DATA, 0);
         d.chunk(0, 104, file_head(0, 0));
     },
     {{0, 0}}},
    {"KeysLoadTheirHeaderOnly",
     [](FakeObjectDevice& d) {
         free_entries(d, 5);
         set_entry(d, 3, KEY, FREE);
         set_entry(d, 4, KEY, FREE);
         d.replies[3] = header_bytes(1, 4);
         d.replies[4] = header_bytes(11, 0xFFFF);
     },
     {{3, 0}, {4, 0}}},
    {"ReplyOf256BytesOrMoreCountsAllEntries",
     [](FakeObjectDevice& d) {
         free_entries(d, 64);
         set_entry(d, 63, KEY, FREE);
         d.replies[63] = header_bytes(1, 4);
     },
     {{63, 0}}},
    {"PublicEntriesWaitForThePublicPass",
     [](FakeObjectDevice& d) {
         free_entries(d, 1);
         set_entry(d, 0, PUBLIC_DATA, 0);
         d.chunk(0, 104, file_head(0, 0));
     },
     {}},
};

class Loader : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(Loader, LoadsWhatTheDirectoryHolds)
{
    FakeObjectDevice device;
    GetParam().arrange(device);
    ObjectTable table{};
    ASSERT_EQ(refresh_token_objects(device.connection, table, false), CKR_OK);
    std::map<std::uint8_t, std::size_t> loaded;
    for (ObjectRecord* record : table)
        if (record != nullptr)
            loaded[record->deviceIndex] = record->valueLength;
    EXPECT_EQ(loaded, GetParam().loaded);
    release_table(table);
}

INSTANTIATE_TEST_SUITE_P(Directories, Loader, ::testing::ValuesIn(loader_cases),
                         [](const ::testing::TestParamInfo<LoaderCase>& info) { return info.param.name; });

TEST(LoaderState, ChainedValueIsTheChunksInDescendingOrder)
{
    FakeObjectDevice device;
    free_entries(device, 3);
    set_entry(device, 2, PRIVATE_DATA, 2);
    set_entry(device, 0, PRIVATE_DATA, 2);
    set_entry(device, 1, PRIVATE_DATA, 2);
    device.chunk(2, 105, file_head(3, 1, 1));
    device.chunk(1, 1, Bytes{2});
    device.chunk(0, 1, Bytes{3});
    ObjectTable table{};
    ASSERT_EQ(refresh_token_objects(device.connection, table, false), CKR_OK);
    ASSERT_NE(table[0], nullptr);
    EXPECT_EQ(Bytes(table[0]->value, table[0]->value + 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(table[0]->objectClass, CKO_DATA);
    release_table(table);
}

TEST(LoaderState, KeyKindDecidesTheClass)
{
    FakeObjectDevice device;
    free_entries(device, 2);
    set_entry(device, 0, KEY, FREE);
    set_entry(device, 1, KEY, FREE);
    device.replies[0] = header_bytes(10, 0);
    device.replies[1] = header_bytes(11, 0);
    ObjectTable table{};
    ASSERT_EQ(refresh_token_objects(device.connection, table, false), CKR_OK);
    ASSERT_TRUE(table[0] != nullptr && table[1] != nullptr);
    EXPECT_EQ(table[0]->deviceIndex, 1);
    EXPECT_EQ(table[0]->objectClass, CKO_SECRET_KEY);
    EXPECT_EQ(table[1]->objectClass, CKO_PRIVATE_KEY);
    EXPECT_EQ(table[1]->isPrivate, 1);
    release_table(table);
}

TEST(LoaderState, LoggedOutDropsPrivateObjectsAndAsksNothingWithoutThePublicPass)
{
    for (DeviceKind kind : {DEVICE_TOKEN, DEVICE_PCSC_HSM}) {
        FakeObjectDevice device;
        device.connection.kind = kind;
        device.connection.login_state = LOGGED_OUT;
        ObjectTable table{};
        table[0] = allocate_object();
        table[0]->isPrivate = 1;
        table[1] = allocate_object();
        ASSERT_EQ(refresh_token_objects(device.connection, table, kind == DEVICE_PCSC_HSM), CKR_OK);
        EXPECT_EQ(table[0], nullptr);
        EXPECT_NE(table[1], nullptr);
        EXPECT_TRUE(device.commands.empty());
        release_table(table);
    }
}

TEST(LoaderState, UnreadableDirectoryIsADeviceError)
{
    FakeObjectDevice device;
    device.failStatus = TRANSPORT_FAILED;
    ObjectTable table{};
    EXPECT_EQ(refresh_token_objects(device.connection, table, true), CKR_DEVICE_ERROR);
}

}  // namespace
}  // namespace vlrp11
