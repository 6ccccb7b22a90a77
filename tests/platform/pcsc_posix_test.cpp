// The pcsc-lite binding against a stand-in libpcsclite.so.1 with pcsc-lite's ABI: every value
// crosses in its full width and every length comes back.
#include "pcsc_stub/pcsclite_stub.h"
#include "platform/pcsc.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vlrp11 {
namespace {

class PcscPosix : public ::testing::Test {
protected:
    // Loaded under its soname before the binding's first use, so that the binding's own
    // dlopen("libpcsclite.so.1") finds the stand-in rather than the system's library.
    static void SetUpTestSuite()
    {
        library = dlopen(VLRP11_PCSC_STUB, RTLD_NOW | RTLD_GLOBAL);
        ASSERT_NE(library, nullptr) << dlerror();
        stub = static_cast<PcscStubState*>(dlsym(library, "vlrp11_pcsc_stub"));
        ASSERT_NE(stub, nullptr);
    }

    void SetUp() override
    {
        ASSERT_NE(stub, nullptr);
        *stub = PcscStubState{};
        api = pcsc();
        ASSERT_NE(api, nullptr);
    }

    static void* library;
    static PcscStubState* stub;
    const PcscFunctions* api = nullptr;
};

void* PcscPosix::library = nullptr;
PcscStubState* PcscPosix::stub = nullptr;

constexpr long wide_context = 0x1122334455667788;
constexpr long wide_card = 0x7EDCBA9876543210;

TEST_F(PcscPosix, ContextCallsCarryTheWholeHandle)
{
    stub->context = wide_context;
    PcscContext context = 0;
    ASSERT_EQ(api->establish_context(PCSC_SCOPE_USER, &context), PCSC_SUCCESS);
    EXPECT_EQ(context, static_cast<PcscContext>(wide_context));
    EXPECT_EQ(api->is_valid_context(context), PCSC_SUCCESS);
    EXPECT_EQ(stub->last_context, wide_context);
    stub->last_context = 0;
    EXPECT_EQ(api->release_context(context), PCSC_SUCCESS);
    EXPECT_EQ(stub->last_context, wide_context);

    stub->result = static_cast<long>(PCSC_E_NO_SERVICE);
    EXPECT_EQ(api->is_valid_context(context), PCSC_E_NO_SERVICE);
}

TEST_F(PcscPosix, ReaderListLengthThenNames)
{
    const char names[] = "Reader A\0Reader B\0";
    std::memcpy(stub->readers, names, sizeof names);
    stub->readers_length = sizeof names - 1;
    std::uint32_t length = 0;
    ASSERT_EQ(api->list_readers(1, nullptr, nullptr, &length), PCSC_SUCCESS);
    EXPECT_EQ(length, sizeof names - 1);
    std::string buffer(length, '?');
    ASSERT_EQ(api->list_readers(1, nullptr, buffer.data(), &length), PCSC_SUCCESS);
    EXPECT_EQ(buffer, std::string(names, sizeof names - 1));
}

TEST_F(PcscPosix, CardCallsCarryHandleArgumentsAndLengths)
{
    stub->card = wide_card;
    std::memcpy(stub->readers, "Reader A", 9);
    const unsigned char atr[20] = {0x3B, 0x8F, 0x11, 0x81, 0x00, 'V', 'T', 'K', 'W'};
    std::memcpy(stub->atr, atr, sizeof atr);
    stub->atr_length = sizeof atr;

    PcscCard card = 0;
    std::uint32_t protocol = 0;
    ASSERT_EQ(api->connect(wide_context, "Reader A", PCSC_SHARE_SHARED, PCSC_PROTOCOL_T1, &card, &protocol),
              PCSC_SUCCESS);
    EXPECT_EQ(card, static_cast<PcscCard>(wide_card));
    EXPECT_EQ(protocol, PCSC_PROTOCOL_T1);
    EXPECT_STREQ(stub->last_reader, "Reader A");
    EXPECT_EQ(stub->share, PCSC_SHARE_SHARED);
    EXPECT_EQ(stub->protocols, PCSC_PROTOCOL_T1);

    char name[32];
    std::uint32_t name_length = sizeof name;
    std::uint32_t state = 0;
    std::uint8_t status_atr[32];
    std::uint32_t atr_length = sizeof status_atr;
    ASSERT_EQ(api->status(card, name, &name_length, &state, &protocol, status_atr, &atr_length), PCSC_SUCCESS);
    EXPECT_EQ(name_length, 9u);
    EXPECT_STREQ(name, "Reader A");
    EXPECT_EQ(state, 0x34u);
    EXPECT_EQ(atr_length, sizeof atr);

    std::uint8_t value[32];
    std::uint32_t value_length = sizeof value;
    ASSERT_EQ(api->get_attrib(card, PCSC_ATTR_ATR_STRING, value, &value_length), PCSC_SUCCESS);
    EXPECT_EQ(stub->attribute, PCSC_ATTR_ATR_STRING);
    EXPECT_EQ(value_length, sizeof atr);
    EXPECT_EQ(std::memcmp(value, atr, sizeof atr), 0);

    EXPECT_EQ(api->disconnect(card, PCSC_LEAVE_CARD), PCSC_SUCCESS);
    EXPECT_EQ(stub->last_card, wide_card);
    EXPECT_EQ(stub->disposition, PCSC_LEAVE_CARD);
}

TEST_F(PcscPosix, TransmitSendsT1AndReturnsTheReplyLength)
{
    for (unsigned long reply : {8ul, 21ul, 264ul}) {
        for (unsigned long i = 0; i < reply; ++i)
            stub->response[i] = static_cast<unsigned char>(i * 7);
        stub->response_length = reply;
        const std::uint8_t command[12] = {0xFF, 16, 0, 0, 6};
        std::uint8_t response[2064] = {};
        std::uint32_t response_length = sizeof response;
        ASSERT_EQ(api->transmit(wide_card, command, sizeof command, response, &response_length), PCSC_SUCCESS);
        EXPECT_EQ(response_length, reply);
        EXPECT_EQ(std::memcmp(response, stub->response, reply), 0);
        EXPECT_EQ(stub->last_card, wide_card);
        EXPECT_EQ(stub->command_length, sizeof command);
        EXPECT_EQ(std::memcmp(stub->command, command, sizeof command), 0);
        EXPECT_EQ(stub->response_capacity, sizeof response);
        ASSERT_NE(stub->send_pci, nullptr);
        EXPECT_EQ(stub->send_pci->dwProtocol, 2u);  // T=1
        EXPECT_EQ(stub->receive_pci, nullptr);
    }
}

}  // namespace
}  // namespace vlrp11
