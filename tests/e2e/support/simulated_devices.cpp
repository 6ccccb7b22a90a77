#include "support/simulated_devices.h"

#include "platform/pcsc.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace vlrp11::testing {

sim::DeviceProfile profile_for(sim::DeviceKind kind, std::uint32_t serial)
{
    sim::DeviceProfile profile = sim::default_profile(kind);
    profile.serial = serial;
    profile.so_pin = SO_PIN;
    profile.user_pin = USER_PIN;
    return profile;
}

std::string kind_test_name(const ::testing::TestParamInfo<sim::DeviceKind>& info)
{
    switch (info.param) {
    case sim::DeviceKind::token:
        return "Token";
    case sim::DeviceKind::pcsc_hsm:
        return "PcscHsm";
    default:
        return "NetworkHsm";
    }
}

SimulatedDevice::SimulatedDevice(sim::DeviceProfile profile)
{
    std::string error;
    host.name = sim::kind_name(profile.kind);
    host.device = sim::Device::create(stateDir.path(), profile, error);
    device = host.device.get();
    EXPECT_NE(device, nullptr) << error;
}

namespace {

sim::Device* card = nullptr;

PcscResult transmit(PcscCard, const std::uint8_t* command, std::uint32_t command_length, std::uint8_t* response,
                    std::uint32_t* response_length)
{
    std::vector<std::uint8_t> answer = card->transmit({command, command_length});
    if (answer.size() > *response_length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(response, answer.data(), answer.size());
    *response_length = static_cast<std::uint32_t>(answer.size());
    return PCSC_SUCCESS;
}

PcscResult get_attrib(PcscCard, std::uint32_t attribute, std::uint8_t* value, std::uint32_t* length)
{
    std::vector<std::uint8_t> atr = card->atr();
    if (attribute != PCSC_ATTR_ATR_STRING || atr.size() > *length)
        return PCSC_E_INSUFFICIENT_BUFFER;
    std::memcpy(value, atr.data(), atr.size());
    *length = static_cast<std::uint32_t>(atr.size());
    return PCSC_SUCCESS;
}

PcscResult disconnect(PcscCard, std::uint32_t)
{
    return PCSC_SUCCESS;
}

PcscFunctions table()
{
    PcscFunctions functions{};
    functions.transmit = transmit;
    functions.get_attrib = get_attrib;
    functions.disconnect = disconnect;
    return functions;
}

const PcscFunctions functions = table();

}  // namespace

SimulatedCard::SimulatedCard(sim::Device& device)
{
    card = &device;
    bind_pcsc(&functions);
}

SimulatedCard::~SimulatedCard()
{
    bind_pcsc(nullptr);
    card = nullptr;
}

SimulatedNetworkHsm::SimulatedNetworkHsm(sim::HostedDevice& host, const std::string& address)
{
    std::random_device random;
    int listener = -1;
    for (int attempt = 0; attempt < 50 && listener < 0; ++attempt) {
        address_ = address.empty() ? "127.0.1." + std::to_string(10 + random() % 240) : address;
        listener = sim::listen_tcp({address_, 5656});
    }
    EXPECT_GE(listener, 0) << "no free loopback address for port 5656";
    if (listener >= 0)
        server_.start(listener, [&host](int socket) { sim::serve_network_client(host, socket); });
}

void configure_network_hsm(const std::filesystem::path& dir, const std::string& address)
{
    const std::filesystem::path config = dir / "network-hsms.json";
    std::ofstream(config) << "[{\"address\": \"" << address << "\", \"partition\": 0}]";
    ::setenv("VLRP11_MORVA_HSM_CONFIG", config.c_str(), 1);
}

const char* reader_name(sim::DeviceKind kind)
{
    return kind == sim::DeviceKind::token ? "KESTRELWORKSHOP VELLARO token 00 00" : "KESTRELWORKSHOP VELLARO HSM 00 00";
}

}  // namespace vlrp11::testing
