#include "support/slot_fixture.h"

#include "api/library_state.h"
#include "device/command_codes.h"
#include "device/status.h"
#include "platform/pcsc.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace vlrp11::testing {
namespace {

PcscResult establish(std::uint32_t, PcscContext* context)
{
    *context = 1;
    return PCSC_SUCCESS;
}

PcscResult valid(PcscContext)
{
    return PCSC_SUCCESS;
}

constexpr PcscResult no_readers = 0x8010002E;

PcscResult list_no_readers(PcscContext, const char*, char*, std::uint32_t* length)
{
    *length = 0;
    return no_readers;
}

PcscResult present(PcscCard, char*, std::uint32_t*, std::uint32_t*, std::uint32_t*, std::uint8_t*, std::uint32_t*)
{
    return PCSC_SUCCESS;
}

PcscResult leave(PcscCard, std::uint32_t)
{
    return PCSC_SUCCESS;
}

PcscFunctions empty_service()
{
    PcscFunctions functions{};
    functions.establish_context = establish;
    functions.is_valid_context = valid;
    functions.release_context = valid;
    functions.list_readers = list_no_readers;
    functions.status = present;
    functions.disconnect = leave;
    return functions;
}

const PcscFunctions service = empty_service();

// The listing each placed connection answers, by connection.
std::map<const DeviceConnection*, std::vector<std::uint8_t>> listings;

std::uint32_t answer_listing(DeviceConnection* connection, std::uint8_t code, const std::uint8_t*, std::uint32_t,
                             std::uint8_t* reply, std::uint32_t* reply_length)
{
    const std::vector<std::uint8_t>& listing = listings[connection];
    EXPECT_EQ(code, CMD_LIST_OBJECTS);
    if (listing.empty() || listing.size() > *reply_length)
        return TRANSPORT_FAILED;
    std::memcpy(reply, listing.data(), listing.size());
    *reply_length = static_cast<std::uint32_t>(listing.size());
    return DEVICE_OK;
}

void store_le32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

void SlotsTest::SetUp()
{
    bind_pcsc(&service);
    ModuleTest::SetUp();
}

void SlotsTest::TearDown()
{
    ModuleTest::TearDown();
    listings.clear();
    bind_pcsc(nullptr);
}

CK_SLOT_ID SlotsTest::place(unsigned slotIndex, const FakeDevice& device)
{
    CK_SLOT_ID slotId = place_fake_device(slotIndex, device.kind);
    DeviceConnection& connection = *library_state().slots[slotIndex].connection;
    connection.instance = device.instance;
    store_le32(connection.device_info + DEVICE_INFO_SERIAL, device.serial);
    store_le32(connection.device_info + DEVICE_INFO_MODEL, device.model);
    connection.device_info[DEVICE_INFO_VERSION] = device.version;
    connection.device_info[DEVICE_INFO_BLOCKS] = device.blocks;
    connection.device_info[DEVICE_INFO_PIN_LIMIT] = device.pinLimit;
    connection.device_info[DEVICE_INFO_PIN_FAILURES] = device.pinFailures;
    std::copy(device.atr.begin(), device.atr.end(), connection.atr);
    connection.atr_length = static_cast<std::uint32_t>(device.atr.size());
    connection.transport = answer_listing;
    listings[&connection] = device.listing;
    return slotId;
}

std::vector<std::uint8_t> directory_listing(unsigned entries, unsigned free)
{
    std::vector<std::uint8_t> listing(4 * entries, 0);
    for (unsigned i = 0; i < entries; ++i)
        listing[4 * i] = i < free ? 0xFF : 0x8C;
    return listing;
}

}  // namespace vlrp11::testing
