// A device whose certificate another root signed is refused, however valid it is otherwise.
#include "support/simulated_devices.h"

#include "device/connect.h"
#include "device/connection_close.h"
#include "device/key_exchange.h"
#include "support/openssl_p256.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vlrp11::testing {
namespace {

std::string hex(const std::uint8_t* bytes, std::size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// Replaces the root signature in the device's stored certificate by one of a fresh key.
void resign_certificate(const std::filesystem::path& state_file)
{
    std::ifstream in(state_file);
    std::stringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    std::size_t at = content.find("certificate ");
    ASSERT_NE(at, std::string::npos);
    at += 12;
    std::vector<std::uint8_t> certificate(140);
    for (std::size_t i = 0; i < 140; ++i)
        certificate[i] = static_cast<std::uint8_t>(std::stoi(content.substr(at + 2 * i, 2), nullptr, 16));

    P256Key other_root = new_p256_key();
    std::vector<std::uint8_t> signature = sign_sha256(other_root.get(), certificate.data(), 76);
    std::copy(signature.begin(), signature.end(), certificate.begin() + 76);

    content.replace(at, 280, hex(certificate.data(), 140));
    std::ofstream(state_file, std::ios::trunc) << content;
}

TEST(ForeignRoot, CertificateSignedByAnotherRootIsRefused)
{
    TempDir foreign("vlrp11-e2e-foreign");
    {
        SimulatedDevice provisioned(profile_for(sim::DeviceKind::network_hsm, 4242));
        ASSERT_NE(provisioned.device, nullptr);
        std::filesystem::copy(provisioned.stateDir.path(), foreign.path(), std::filesystem::copy_options::recursive);
    }
    resign_certificate(foreign.path() / "device.state");
    std::string error;
    sim::HostedDevice host;
    host.device = sim::Device::open(foreign.path(), error);
    ASSERT_NE(host.device, nullptr) << error;
    SimulatedNetworkHsm hsm(host);
    ConnectionPtr connection = connect_network(hsm.address(), 0);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(key_exchange(*connection), CERTIFICATE_INVALID);
}

}  // namespace
}  // namespace vlrp11::testing
