#include "support/slot_fixture.h"

#include "api/library_state.h"
#include "api/session_record.h"
#include "vlrp11/pkcs11_vendor.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <future>
#include <string>
#include <vector>

namespace vlrp11::testing {
namespace {

template <std::size_t N>
std::string text(const unsigned char (&field)[N])
{
    return std::string(reinterpret_cast<const char*>(field), N);
}

std::string padded(std::string text, std::size_t width)
{
    text.resize(width, ' ');
    return text;
}

// The check sequence shared by the slot calls: initialised flag, then slot ID, then the output
// pointer. Slot 2 (index 1) holds a device; every other slot is empty.
struct SlotCall {
    const char* name;
    CK_RV (*call)(CK_FUNCTION_LIST_PTR, CK_SLOT_ID, bool withOutput);
};

const SlotCall slot_calls[] = {
    {"C_GetSlotInfo",
     [](CK_FUNCTION_LIST_PTR p, CK_SLOT_ID id, bool out) {
         CK_SLOT_INFO info;
         return p->C_GetSlotInfo(id, out ? &info : nullptr);
     }},
    {"C_GetTokenInfo",
     [](CK_FUNCTION_LIST_PTR p, CK_SLOT_ID id, bool out) {
         CK_TOKEN_INFO info;
         return p->C_GetTokenInfo(id, out ? &info : nullptr);
     }},
    {"C_GetMechanismList",
     [](CK_FUNCTION_LIST_PTR p, CK_SLOT_ID id, bool out) {
         CK_ULONG count = 0;
         return p->C_GetMechanismList(id, nullptr, out ? &count : nullptr);
     }},
    {"C_GetMechanismInfo",
     [](CK_FUNCTION_LIST_PTR p, CK_SLOT_ID id, bool out) {
         CK_MECHANISM_INFO info;
         return p->C_GetMechanismInfo(id, CKM_SHA256, out ? &info : nullptr);
     }},
};

TEST_F(SlotsTest, SlotCallsCheckInitialisationThenSlotThenOutput)
{
    place(1, FakeDevice{});
    // Only the low byte of a slot ID counts: 0x102 is slot 2, 0x100 has slot byte 0.
    const struct {
        CK_SLOT_ID slot;
        bool withOutput;
        CK_RV expected;
    } cases[] = {
        {2, true, CKR_OK},      {0x102, true, CKR_OK},          {2, false, CKR_ARGUMENTS_BAD},
        {1, false, CKR_SLOT_ID_INVALID}, {0, true, CKR_SLOT_ID_INVALID}, {0x100, true, CKR_SLOT_ID_INVALID},
        {65, true, CKR_SLOT_ID_INVALID}, {64, true, CKR_SLOT_ID_INVALID},
    };
    for (const SlotCall& entry : slot_calls) {
        for (const auto& c : cases)
            EXPECT_EQ(entry.call(p11, c.slot, c.withOutput), c.expected) << entry.name << " slot " << c.slot;
    }
    ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    for (const SlotCall& entry : slot_calls)
        EXPECT_EQ(entry.call(p11, 2, false), CKR_CRYPTOKI_NOT_INITIALIZED) << entry.name;
    CK_ULONG count = 0;
    CK_SLOT_ID slot = 0;
    EXPECT_EQ(p11->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_CRYPTOKI_NOT_INITIALIZED);
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
}

TEST_F(SlotsTest, SlotListWithoutDevicesIsEmpty)
{
    CK_ULONG count = 99;
    EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(SlotsTest, SlotListNamesOccupiedSlotsInOrderWhateverTokenPresentSays)
{
    for (unsigned index : {40u, 0u, 63u, 3u})
        place(index, FakeDevice{});
    for (CK_BBOOL tokenPresent : {CK_FALSE, CK_TRUE}) {
        CK_ULONG count = 0;
        ASSERT_EQ(p11->C_GetSlotList(tokenPresent, nullptr, &count), CKR_OK);
        EXPECT_EQ(count, 4u);
        std::vector<CK_SLOT_ID> slots(8, 0);
        count = 3;
        EXPECT_EQ(p11->C_GetSlotList(tokenPresent, slots.data(), &count), CKR_BUFFER_TOO_SMALL);
        EXPECT_EQ(count, 3u);
        count = slots.size();
        ASSERT_EQ(p11->C_GetSlotList(tokenPresent, slots.data(), &count), CKR_OK);
        EXPECT_EQ(count, 4u);
        EXPECT_EQ(slots, (std::vector<CK_SLOT_ID>{1, 4, 41, 64, 0, 0, 0, 0}));
    }
}

TEST_F(SlotsTest, SlotInfoTextsByKind)
{
    const struct {
        DeviceKind kind;
        const char* description;
        const char* manufacturer;
    } kinds[] = {
        {DEVICE_TOKEN, "VELLARO token", "KESTRELWORKSHOP LLC"},
        {DEVICE_PCSC_HSM, "MORVA mini HSM", "RVN LLC"},
        {DEVICE_NETWORK_HSM, "MORVA HSM", "RVN LLC"},
    };
    for (const auto& kind : kinds) {
        FakeDevice device;
        device.kind = kind.kind;
        CK_SLOT_ID slot = place(5, device);
        CK_SLOT_INFO info;
        ASSERT_EQ(p11->C_GetSlotInfo(slot, &info), CKR_OK);
        EXPECT_EQ(text(info.slotDescription), padded(kind.description, 64));
        EXPECT_EQ(text(info.manufacturerID), padded(kind.manufacturer, 32));
        EXPECT_EQ(info.flags, CKF_TOKEN_PRESENT | CKF_REMOVABLE_DEVICE | CKF_HW_SLOT);
        EXPECT_EQ(info.hardwareVersion.major, 1);
        EXPECT_EQ(info.firmwareVersion.major, 1);
        EXPECT_EQ(info.firmwareVersion.minor, 0);
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }
}

// Texts built at run time stay within their 16-byte fields, and every (serial, partition) pair
// keeps a text of its own.
TEST_F(SlotsTest, TokenModelAndSerialTexts)
{
    const struct {
        DeviceKind kind;
        std::uint32_t serial;
        std::int32_t instance;
        std::uint32_t model;
        const char* label;
        const char* manufacturer;
        const char* modelText;
        const char* serialText;
    } cases[] = {
        {DEVICE_TOKEN, 77, 0, 1000, "VELLARO token", "KESTRELWORKSHOP LLC", "VELLARO 1000", "77"},
        {DEVICE_TOKEN, 4294967295u, 0, 12345678, "VELLARO token", "KESTRELWORKSHOP LLC", "VELLARO 12345678",
         "4294967295"},
        // Nine digits do not fit after the prefix: the text is cut, never written past the field.
        {DEVICE_TOKEN, 1, 0, 4294967295u, "VELLARO token", "KESTRELWORKSHOP LLC", "VELLARO 42949672", "1"},
        {DEVICE_NETWORK_HSM, 123456, 2, 9000, "MORVA HSM", "RVN LLC", "MORVA HSM", "123456:2"},
        {DEVICE_PCSC_HSM, 2001, 3, 9000, "MORVA mini HSM", "RVN LLC", "MORVA mini HSM", "2001:3"},
        {DEVICE_NETWORK_HSM, 1234567890, 12345, 9000, "MORVA HSM", "RVN LLC", "MORVA HSM", "1234567890:12345"},
        {DEVICE_NETWORK_HSM, 1234567890, 123456, 9000, "MORVA HSM", "RVN LLC", "MORVA HSM", "499602D20001E240"},
        {DEVICE_NETWORK_HSM, 4294967295u, -1, 9000, "MORVA HSM", "RVN LLC", "MORVA HSM", "FFFFFFFFFFFFFFFF"},
    };
    for (const auto& c : cases) {
        FakeDevice device;
        device.kind = c.kind;
        device.serial = c.serial;
        device.instance = c.instance;
        device.model = c.model;
        CK_SLOT_ID slot = place(0, device);
        CK_TOKEN_INFO info;
        ASSERT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
        EXPECT_EQ(text(info.label), padded(c.label, 32));
        EXPECT_EQ(text(info.manufacturerID), padded(c.manufacturer, 32));
        EXPECT_EQ(text(info.model), padded(c.modelText, 16));
        EXPECT_EQ(text(info.serialNumber), padded(c.serialText, 16));
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }
}

TEST_F(SlotsTest, TokenFlagsFollowThePinCounters)
{
    const CK_FLAGS base = CKF_RNG | CKF_LOGIN_REQUIRED | CKF_USER_PIN_INITIALIZED | CKF_TOKEN_INITIALIZED;
    const struct {
        std::uint8_t limit;
        std::uint8_t failures;
        CK_FLAGS flags;
    } cases[] = {
        {10, 0, base},
        {10, 3, base | CKF_USER_PIN_COUNT_LOW},
        {10, 9, base | CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY},
        {10, 10, base | CKF_USER_PIN_LOCKED},
        {255, 3, base},
        {255, 254, base},
    };
    for (const auto& c : cases) {
        FakeDevice device;
        device.pinLimit = c.limit;
        device.pinFailures = c.failures;
        CK_SLOT_ID slot = place(0, device);
        CK_TOKEN_INFO info;
        ASSERT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
        EXPECT_EQ(info.flags, c.flags) << int(c.failures) << " of " << int(c.limit);
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }
}

TEST_F(SlotsTest, TokenMemoryFromStorageBlocksAndDirectoryListing)
{
    const struct {
        std::vector<std::uint8_t> listing;  // empty: the listing command fails
        CK_ULONG free;
    } cases[] = {
        {directory_listing(128, 5), 10096},  // only the first 64 entries count, all 5 free among them
        {directory_listing(64, 0), 0},
        {directory_listing(2, 2), 3976},
        {{}, 0},
    };
    for (const auto& c : cases) {
        FakeDevice device;
        device.blocks = 16;
        device.listing = c.listing;
        CK_SLOT_ID slot = place(0, device);
        CK_TOKEN_INFO info;
        ASSERT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
        EXPECT_EQ(info.ulFreePublicMemory, c.free);
        EXPECT_EQ(info.ulFreePrivateMemory, c.free);
        EXPECT_EQ(info.ulTotalPublicMemory, 16u * 2040);
        EXPECT_EQ(info.ulTotalPrivateMemory, 16u * 2040);
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }
}

TEST_F(SlotsTest, TokenSessionsVersionsAndClock)
{
    FakeDevice device;
    device.version = 7;
    device.model = 9000;
    // A 20-byte ATR carries the firmware minor version as an ASCII digit in byte 11.
    device.atr = {0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W', 'D', '7', '3', '1', '0', '0', '0', '0', '0', '1', 0};
    CK_SLOT_ID slot = place(2, device);
    open_fake_session(slot, 0);
    open_fake_session(slot, 5);
    open_fake_session(slot, 15);
    library_state().slots[2].sessions[15]->flags |= CKF_RW_SESSION;
    CK_TOKEN_INFO info;
    ASSERT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
    EXPECT_EQ(info.ulSessionCount, 3u);
    EXPECT_EQ(info.ulRwSessionCount, 1u);
    EXPECT_EQ(info.ulMaxSessionCount, 16u);
    EXPECT_EQ(info.ulMaxRwSessionCount, 16u);
    EXPECT_EQ(info.ulMaxPinLen, 64u);
    EXPECT_EQ(info.ulMinPinLen, 4u);
    EXPECT_EQ(info.hardwareVersion.major, 1);
    EXPECT_EQ(info.hardwareVersion.minor, 0);
    EXPECT_EQ(info.firmwareVersion.major, 7);
    EXPECT_EQ(info.firmwareVersion.minor, 3);
    std::string clock = text(info.utcTime);
    for (char c : clock)
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << clock;
    EXPECT_EQ(clock.substr(0, 2), "20");
    EXPECT_EQ(clock.substr(14), "00");

    // Below model 9000 there is no clock; without a 20-byte ATR the minor version is 0.
    device.model = 8999;
    device.atr.pop_back();
    slot = place(3, device);
    ASSERT_EQ(p11->C_GetTokenInfo(slot, &info), CKR_OK);
    EXPECT_EQ(text(info.utcTime), std::string(16, ' '));
    EXPECT_EQ(info.firmwareVersion.minor, 0);
    EXPECT_EQ(info.ulSessionCount, 0u);
}

TEST_F(SlotsTest, MechanismListByModel)
{
    const struct {
        std::uint32_t model;
        CK_ULONG count;
    } cases[] = {{1000, 33}, {1999, 33}, {2000, 44}, {9000, 44}};
    for (const auto& c : cases) {
        FakeDevice device;
        device.model = c.model;
        CK_SLOT_ID slot = place(0, device);
        CK_ULONG count = 0;
        ASSERT_EQ(p11->C_GetMechanismList(slot, nullptr, &count), CKR_OK);
        EXPECT_EQ(count, c.count) << c.model;
        std::vector<CK_MECHANISM_TYPE> list(c.count);
        count = c.count - 1;
        EXPECT_EQ(p11->C_GetMechanismList(slot, list.data(), &count), CKR_BUFFER_TOO_SMALL);
        EXPECT_EQ(count, c.count - 1);
        count = c.count;
        ASSERT_EQ(p11->C_GetMechanismList(slot, list.data(), &count), CKR_OK);
        EXPECT_EQ(list.front(), CKM_SHA_1);
        EXPECT_EQ(list[32], CKM_DSTU4145_DERIVE);
        if (c.count == 44) {
            const std::vector<CK_MECHANISM_TYPE> rsa = {
                CKM_RSA_PKCS_KEY_PAIR_GEN, CKM_RSA_PKCS,          CKM_SHA1_RSA_PKCS,     CKM_SHA224_RSA_PKCS,
                CKM_SHA256_RSA_PKCS,       CKM_SHA384_RSA_PKCS,   CKM_SHA512_RSA_PKCS,   CKM_SHA3_256_RSA_PKCS,
                CKM_SHA3_384_RSA_PKCS,     CKM_SHA3_512_RSA_PKCS, CKM_SHA3_224_RSA_PKCS,
            };
            EXPECT_EQ(std::vector<CK_MECHANISM_TYPE>(list.begin() + 33, list.end()), rsa);
        }
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    }
}

TEST_F(SlotsTest, MechanismInfoIsTheSameOnEveryDevice)
{
    const struct {
        CK_MECHANISM_TYPE type;
        CK_RV rv;
        CK_ULONG min, max;
        CK_FLAGS flags;
    } cases[] = {
        {CKM_AES_CBC, CKR_OK, 16, 32, 0x301},
        {CKM_SHA256, CKR_OK, 0, 0, 0x400},
        {CKM_KUPYNA_512, CKR_OK, 0, 0, 0x400},
        {CKM_RSA_PKCS_KEY_PAIR_GEN, CKR_OK, 1024, 4096, 0x10001},
        {CKM_RSA_PKCS, CKR_OK, 1024, 4096, 0x2B01},
        {CKM_SHA3_224_RSA_PKCS, CKR_OK, 1024, 4096, 0x801},
        {CKM_EC_KEY_PAIR_GEN, CKR_OK, 256, 521, 0xD10001},
        {CKM_ECDSA_SHA3_512, CKR_OK, 256, 521, 0xF02801},
        {CKM_AES_KEY_GEN, CKR_OK, 16, 32, 0x8001},
        {CKM_KALYNA_128_KEY_GEN, CKR_OK, 16, 32, 0x8001},
        {CKM_GOST28147_CFB, CKR_OK, 32, 32, 0x301},
        {CKM_GOST28147_KEY_WRAP, CKR_OK, 32, 32, 0x60000},
        {CKM_DSTU4145_KUPYNA_384, CKR_OK, 163, 509, 0x2E02801},
        {CKM_GOST28147_KEY_GEN, CKR_OK, 32, 32, 0x8001},
        {CKM_DSTU4145_KEY_PAIR_GEN, CKR_OK, 163, 509, 0x2E10001},
        {CKM_DSTU4145_DERIVE, CKR_OK, 163, 509, 0x2E80001},
        {CKM_KALYNA_256_KEY_GEN, CKR_OK, 32, 64, 0x8001},
        {CKM_KALYNA_512_KEY_GEN, CKR_OK, 64, 64, 0x8001},
        {CKM_DSTU4145_DERIVE_KALYNA_256, CKR_MECHANISM_INVALID, 0, 0, 0},
        {CKM_GOST28147_MAC, CKR_MECHANISM_INVALID, 0, 0, 0},
        {CKM_MD5, CKR_MECHANISM_INVALID, 0, 0, 0},
    };
    for (std::uint32_t model : {1000u, 2000u}) {
        FakeDevice device;
        device.model = model;
        CK_SLOT_ID slot = place(model / 1000, device);
        for (const auto& c : cases) {
            CK_MECHANISM_INFO info{};
            ASSERT_EQ(p11->C_GetMechanismInfo(slot, c.type, &info), c.rv) << std::hex << c.type;
            EXPECT_EQ(info.ulMinKeySize, c.min) << std::hex << c.type;
            EXPECT_EQ(info.ulMaxKeySize, c.max) << std::hex << c.type;
            EXPECT_EQ(info.flags, c.flags) << std::hex << c.type;
        }
    }
}

TEST_F(SlotsTest, SlotEventIsReportedOnce)
{
    CK_SLOT_ID slot = 0;
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, nullptr, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_WaitForSlotEvent(0, nullptr, nullptr), CKR_ARGUMENTS_BAD);
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_NO_EVENT);
    place(2, FakeDevice{});
    place(9, FakeDevice{});
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_OK);
    EXPECT_EQ(slot, 3u);
    // Blocking, the next pending slot comes without a wait for new devices.
    EXPECT_EQ(p11->C_WaitForSlotEvent(0, &slot, nullptr), CKR_OK);
    EXPECT_EQ(slot, 10u);
    slot = 0;
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_NO_EVENT);
    EXPECT_EQ(slot, 0u);
}

// A blocked wait lets other threads in while it sleeps, and ends once the library is finalised,
// even when it is initialised again before the waiter looks.
TEST_F(SlotsTest, BlockedWaitEndsWhenAnotherThreadFinalises)
{
    for (bool initialiseAgain : {false, true}) {
        auto waiter = std::async(std::launch::async, [this] {
            CK_SLOT_ID slot = 0;
            return p11->C_WaitForSlotEvent(0, &slot, nullptr);
        });
        EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
        CK_ULONG count = 0;
        EXPECT_EQ(p11->C_GetSlotList(CK_FALSE, nullptr, &count), CKR_OK);
        ASSERT_EQ(p11->C_Finalize(nullptr), CKR_OK);
        if (initialiseAgain) {
            ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        }
        EXPECT_EQ(waiter.get(), CKR_CRYPTOKI_NOT_INITIALIZED);
        if (!initialiseAgain) {
            ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        }
    }
}

}  // namespace
}  // namespace vlrp11::testing
