// The demo objects that `vlrp11-sim init --objects sample` places, as the device's directory
// then holds them.
#include "core/objects_store.h"
#include "core/sample_objects.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace vlrp11::sim {
namespace {

struct Provisioned {
    explicit Provisioned(DeviceKind kind)
    {
        dir = std::filesystem::temp_directory_path() / ("vlrp11-samples-" + std::to_string(std::random_device{}()));
        DeviceProfile profile = default_profile(kind);
        profile.so_pin = "87654321";
        profile.user_pin = "123456";
        std::string error;
        device = Device::create(dir, profile, error);
        EXPECT_NE(device, nullptr) << error;
        EXPECT_TRUE(provision_sample_objects(*device, error)) << error;
    }
    ~Provisioned()
    {
        device.reset();
        std::filesystem::remove_all(dir);
    }

    // The listing of a partition as command 18 gives it: state and head of each entry.
    std::vector<std::pair<int, int>> listing(std::uint32_t partition)
    {
        std::vector<std::pair<int, int>> entries;
        std::string error;
        device->provision_objects(partition, [&](ObjectStore& store) {
            for (const DirectoryEntry& entry : store.entries)
                entries.emplace_back(entry.state, entry.head);
            return true;
        }, error);
        return entries;
    }

    std::filesystem::path dir;
    std::unique_ptr<Device> device;
};

TEST(SampleObjects, TokenCarriesDataCertificatesAndKeys)
{
    Provisioned token(DeviceKind::token);
    auto entries = token.listing(0);
    ASSERT_EQ(entries.size(), 64u);
    EXPECT_EQ(entries[63], std::make_pair(0x8C, 63));
    for (int i : {62, 61, 60})
        EXPECT_EQ(entries[i], std::make_pair(0xCC, 62)) << i;
    EXPECT_EQ(entries[59], std::make_pair(0x33, 0xFF));
    EXPECT_EQ(entries[58], std::make_pair(0xCC, 58));
    EXPECT_EQ(entries[57], std::make_pair(0x33, 0xFF));
    EXPECT_EQ(entries[56].first, 0xFF);

    // The states are saved: a reopened device lists the same.
    std::string error;
    token.device = Device::open(token.dir, error);
    ASSERT_NE(token.device, nullptr) << error;
    EXPECT_EQ(token.listing(0), entries);
}

TEST(SampleObjects, EveryHsmPartitionHasAKeyAndACertificate)
{
    Provisioned hsm(DeviceKind::pcsc_hsm);
    for (std::uint32_t partition = 0; partition < 4; ++partition) {
        auto entries = hsm.listing(partition);
        EXPECT_EQ(entries[63], std::make_pair(0x33, 0xFF)) << partition;
        EXPECT_EQ(entries[62], std::make_pair(0xC3, 62)) << partition;
        EXPECT_EQ(entries[61].first, partition == 0 ? 0x33 : 0xFF);
        EXPECT_EQ(entries[60].first, partition == 0 ? 0x33 : 0xFF);
    }
}

}  // namespace
}  // namespace vlrp11::sim
