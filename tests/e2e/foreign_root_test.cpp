// A device whose certificate another root signed is refused, however valid it is otherwise.
#include "support/simulated_devices.h"
#include "support/simulated_readers.h"

#include "api/function_table.h"
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

// A device of the kind, provisioned in `dir`, whose certificate another root signed.
void provision_foreign(sim::DeviceKind kind, const TempDir& dir, sim::HostedDevice& host)
{
    {
        SimulatedDevice provisioned(profile_for(kind, 4242));
        ASSERT_NE(provisioned.device, nullptr);
        std::filesystem::copy(provisioned.stateDir.path(), dir.path(), std::filesystem::copy_options::recursive);
    }
    resign_certificate(dir.path() / "device.state");
    std::string error;
    host.device = sim::Device::open(dir.path(), error);
    ASSERT_NE(host.device, nullptr) << error;
}

TEST(ForeignRoot, CertificateSignedByAnotherRootIsRefused)
{
    TempDir foreign("vlrp11-e2e-foreign");
    sim::HostedDevice host;
    ASSERT_NO_FATAL_FAILURE(provision_foreign(sim::DeviceKind::network_hsm, foreign, host));
    SimulatedNetworkHsm hsm(host);
    ConnectionPtr connection = connect_network(hsm.address(), 0);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(key_exchange(*connection), CERTIFICATE_INVALID);
}

// A failed exchange leaves no channel behind: every later session opening runs the exchange
// again and fails again, so no session ever runs on a device that was not authenticated.
TEST(ForeignRoot, NoSessionOpensOnAForeignToken)
{
    TempDir foreign("vlrp11-e2e-foreign");
    sim::HostedDevice host;
    ASSERT_NO_FATAL_FAILURE(provision_foreign(sim::DeviceKind::token, foreign, host));
    SimulatedReaders readers;
    readers.add_reader("KESTRELWORKSHOP VELLARO token 00 00", host.device.get());
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    CK_ULONG count = 0;
    ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
    ASSERT_EQ(count, 1u);
    for (int attempt = 0; attempt < 6; ++attempt) {
        CK_SESSION_HANDLE session = 0;
        EXPECT_EQ(p11->C_OpenSession(1, CKF_SERIAL_SESSION, nullptr, nullptr, &session), CKR_DEVICE_ERROR) << attempt;
    }
    p11->C_Finalize(nullptr);
}

}  // namespace
}  // namespace vlrp11::testing
