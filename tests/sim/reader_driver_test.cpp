// The reader driver loaded from its built module, driven through its entry points as pcscd
// drives it, against a scripted card on the other end of the loopback link.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

extern "C" {
#include <ifdhandler.h>
}
#include <reader.h>

#include "core/command.h"
#include "support/sim_client.h"
#include "sim/support/hosted_fixture.h"
#include "sim/support/link_peer.h"

namespace vlrp11::sim {
namespace {

struct Driver {
    void* module = dlopen(VLRP11_SIM_IFD_DRIVER, RTLD_NOW | RTLD_LOCAL);
    template <typename F>
    F* entry(const char* name) {
        return reinterpret_cast<F*>(dlsym(module, name));
    }
    decltype(&IFDHCreateChannelByName) create = entry<decltype(IFDHCreateChannelByName)>("IFDHCreateChannelByName");
    decltype(&IFDHCloseChannel) close = entry<decltype(IFDHCloseChannel)>("IFDHCloseChannel");
    decltype(&IFDHICCPresence) presence = entry<decltype(IFDHICCPresence)>("IFDHICCPresence");
    decltype(&IFDHPowerICC) power = entry<decltype(IFDHPowerICC)>("IFDHPowerICC");
    decltype(&IFDHTransmitToICC) transmit = entry<decltype(IFDHTransmitToICC)>("IFDHTransmitToICC");
    decltype(&IFDHGetCapabilities) capabilities = entry<decltype(IFDHGetCapabilities)>("IFDHGetCapabilities");
    decltype(&IFDHSetProtocolParameters) protocol =
        entry<decltype(IFDHSetProtocolParameters)>("IFDHSetProtocolParameters");
};

Driver& driver() {
    static Driver loaded;
    return loaded;
}

// pcscd gives each reader its own high 16 bits of the Lun.
constexpr DWORD lun_a = 0x00010000;
constexpr DWORD lun_b = 0x00020000;

class ReaderDriver : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(driver().module, nullptr) << dlerror();
        ASSERT_NE(driver().create, nullptr);
        open(lun_a, card.port());
    }
    void TearDown() override {
        driver().close(lun_a);
        driver().close(lun_b);
    }
    void open(DWORD lun, int port) {
        std::string name = "127.0.0.1:" + std::to_string(port);
        ASSERT_EQ(driver().create(lun, name.data()), IFD_SUCCESS);
    }
    std::vector<std::uint8_t> power_up(DWORD lun) {
        std::vector<std::uint8_t> atr(MAX_ATR_SIZE);
        DWORD length = static_cast<DWORD>(atr.size());
        EXPECT_EQ(driver().power(lun, IFD_POWER_UP, atr.data(), &length), IFD_SUCCESS);
        atr.resize(length);
        return atr;
    }
    RESPONSECODE transmit(DWORD lun, std::vector<std::uint8_t> command, std::vector<std::uint8_t>& response) {
        SCARD_IO_HEADER pci{SCARD_PROTOCOL_T1, 0};
        DWORD length = static_cast<DWORD>(response.size());
        RESPONSECODE code = driver().transmit(lun, pci, command.data(), static_cast<DWORD>(command.size()),
                                              response.data(), &length, nullptr);
        response.resize(length);
        return code;
    }

    testing::ScriptedCard card;
};

TEST(ReaderDriverNames, DeviceNameMustBeLoopbackAddressAndPort) {
    ASSERT_NE(driver().module, nullptr) << dlerror();
    const struct {
        const char* name;
        RESPONSECODE expected;
    } cases[] = {
        {"127.0.0.1:36864", IFD_SUCCESS},
        {"127.0.0.1:0x9000", IFD_SUCCESS},
        {"127.0.0.1", IFD_COMMUNICATION_ERROR},
        {"127.0.0.1:0", IFD_COMMUNICATION_ERROR},
        {"127.0.0.1:65536", IFD_COMMUNICATION_ERROR},
        {"localhost:36864", IFD_COMMUNICATION_ERROR},
        {"127.0.0.1:12ab", IFD_COMMUNICATION_ERROR},
        {"", IFD_COMMUNICATION_ERROR},
    };
    for (const auto& c : cases) {
        std::string name = c.name;
        EXPECT_EQ(driver().create(0x00070000, name.data()), c.expected) << c.name;
        driver().close(0x00070000);
    }
}

TEST_F(ReaderDriver, CardIsPresentWhileTheSimulatorListens) {
    EXPECT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    int port = 0;
    {
        testing::ScriptedCard gone;
        port = gone.port();
    }
    open(lun_b, port);
    EXPECT_EQ(driver().presence(lun_b), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(driver().presence(0x00090000), IFD_NO_SUCH_DEVICE);
}

TEST_F(ReaderDriver, PowerUpAnswersTheAtrAndTheAtrAttribute) {
    ASSERT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    EXPECT_EQ(power_up(lun_a), card.atr);
    for (DWORD tag : {static_cast<DWORD>(TAG_IFD_ATR), static_cast<DWORD>(SCARD_ATTR_ATR_STRING)}) {
        std::vector<std::uint8_t> atr(32);
        DWORD length = 32;
        ASSERT_EQ(driver().capabilities(lun_a, tag, &length, atr.data()), IFD_SUCCESS) << tag;
        atr.resize(length);
        EXPECT_EQ(atr, card.atr) << tag;
        length = 19;
        EXPECT_EQ(driver().capabilities(lun_a, tag, &length, atr.data()), IFD_ERROR_INSUFFICIENT_BUFFER);
    }
    DWORD length = 1;
    std::uint8_t value = 0;
    EXPECT_EQ(driver().capabilities(lun_a, TAG_IFD_SLOTS_NUMBER, &length, &value), IFD_SUCCESS);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(driver().capabilities(lun_a, 0x12345, &length, &value), IFD_ERROR_TAG);
    EXPECT_EQ(driver().protocol(lun_a, SCARD_PROTOCOL_T1, 0, 0, 0, 0), IFD_SUCCESS);
    EXPECT_EQ(driver().protocol(lun_a, SCARD_PROTOCOL_T0, 0, 0, 0, 0), IFD_PROTOCOL_NOT_SUPPORTED);
}

TEST_F(ReaderDriver, ApduPassesByteForByteUpToTheExtendedMaximum) {
    ASSERT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    power_up(lun_a);
    for (std::size_t size : {std::size_t{5}, std::size_t{261}, std::size_t{2064}, std::size_t{65544}}) {
        std::vector<std::uint8_t> command(size);
        for (std::size_t i = 0; i < size; ++i) {
            command[i] = static_cast<std::uint8_t>(i * 7);
        }
        std::vector<std::uint8_t> response(size + 2);
        ASSERT_EQ(transmit(lun_a, command, response), IFD_SUCCESS) << size;
        command.insert(command.end(), {0x90, 0x00});
        EXPECT_EQ(response, command) << size;
    }
}

TEST_F(ReaderDriver, ResponseLargerThanTheBufferIsRefusedWithLengthZero) {
    ASSERT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    std::vector<std::uint8_t> response(9);
    EXPECT_EQ(transmit(lun_a, std::vector<std::uint8_t>(8, 1), response), IFD_ERROR_INSUFFICIENT_BUFFER);
    EXPECT_TRUE(response.empty());
}

TEST_F(ReaderDriver, LostLinkIsSeenAsOneRemovalThenANewCard) {
    ASSERT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    card.hang_up_next = true;
    std::vector<std::uint8_t> response(64);
    EXPECT_EQ(transmit(lun_a, {0xFF, 0x10, 0, 0}, response), IFD_COMMUNICATION_ERROR);
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(driver().presence(lun_a), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    response.resize(64);
    EXPECT_EQ(transmit(lun_a, {0xFF, 0x10, 0, 0}, response), IFD_SUCCESS);
    EXPECT_EQ(card.connections, 2) << "the new card is a new link";
}

TEST_F(ReaderDriver, ReadersKeepTheirOwnCards) {
    testing::ScriptedCard other;
    other.atr.back() = 0x78;
    other.reply = [](std::span<const std::uint8_t>) { return std::vector<std::uint8_t>{0x6A, 0x82}; };
    open(lun_b, other.port());
    ASSERT_EQ(driver().presence(lun_a), IFD_ICC_PRESENT);
    ASSERT_EQ(driver().presence(lun_b), IFD_ICC_PRESENT);
    EXPECT_EQ(power_up(lun_b).back(), 0x78);
    EXPECT_EQ(power_up(lun_a).back(), 0x74);
    std::vector<std::uint8_t> response(16);
    ASSERT_EQ(transmit(lun_b, {1, 2, 3}, response), IFD_SUCCESS);
    EXPECT_EQ(response, (std::vector<std::uint8_t>{0x6A, 0x82}));
    response.resize(16);
    ASSERT_EQ(transmit(lun_a, {1, 2, 3}, response), IFD_SUCCESS);
    EXPECT_EQ(response, (std::vector<std::uint8_t>{1, 2, 3, 0x90, 0x00}));
}

// The whole chain below pcscd: driver, loopback link, reader service, device core.
TEST(ReaderDriverWithDevice, HsmAnswersAtrAndDeviceInformation) {
    ASSERT_NE(driver().module, nullptr) << dlerror();
    testing::ServedDevice served(DeviceKind::pcsc_hsm, 2001);
    constexpr DWORD lun = 0x00030000;
    std::string name = to_string(served.endpoint());
    ASSERT_EQ(driver().create(lun, name.data()), IFD_SUCCESS);
    ASSERT_EQ(driver().presence(lun), IFD_ICC_PRESENT);
    std::vector<std::uint8_t> atr(MAX_ATR_SIZE);
    DWORD atr_length = static_cast<DWORD>(atr.size());
    ASSERT_EQ(driver().power(lun, IFD_POWER_UP, atr.data(), &atr_length), IFD_SUCCESS);
    ASSERT_EQ(atr_length, 20u);
    EXPECT_EQ(std::string(atr.begin() + 5, atr.begin() + 10), "VTKWH");

    ClientChannel channel;
    auto apdu = channel.build_apdu(16, {}, 32);
    std::vector<std::uint8_t> response(2064);
    DWORD length = static_cast<DWORD>(response.size());
    SCARD_IO_HEADER pci{SCARD_PROTOCOL_T1, 0};
    ASSERT_EQ(driver().transmit(lun, pci, apdu.data(), static_cast<DWORD>(apdu.size()), response.data(),
                                &length, nullptr),
              IFD_SUCCESS);
    response.resize(length);
    auto reply = channel.parse_apdu_response(response);
    EXPECT_EQ(reply.status, status::ok);
    ASSERT_EQ(reply.data.size(), 32u);
    EXPECT_EQ(reply.data[0] | reply.data[1] << 8, 2001);

    // A truncated R-APDU reaches the host as it was cut; a dropped link is a removed card.
    ASSERT_EQ(served.control("truncate dev2001 7"), "ok");
    apdu = channel.build_apdu(16, {}, 32);
    response.assign(2064, 0);
    length = static_cast<DWORD>(response.size());
    EXPECT_EQ(driver().transmit(lun, pci, apdu.data(), static_cast<DWORD>(apdu.size()), response.data(),
                                &length, nullptr),
              IFD_SUCCESS);
    EXPECT_EQ(length, 7u);
    ASSERT_EQ(served.control("drop dev2001"), "ok");
    length = static_cast<DWORD>(response.size());
    EXPECT_EQ(driver().transmit(lun, pci, apdu.data(), static_cast<DWORD>(apdu.size()), response.data(),
                                &length, nullptr),
              IFD_COMMUNICATION_ERROR);
    EXPECT_EQ(driver().presence(lun), IFD_ICC_NOT_PRESENT);
    EXPECT_EQ(driver().presence(lun), IFD_ICC_PRESENT);
    driver().close(lun);
}

}  // namespace
}  // namespace vlrp11::sim
