// A device whose certificate another root signed, names another serial or kind, or carries a
// broken signature is refused, however valid it is otherwise.
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

// How a rogue device's certificate differs from a genuine one.
enum class Tamper { other_root, wrong_serial, wrong_kind, flipped_signature };

// Rewrites the certificate in the device's state file: fields changed and signed again by the
// development root (so only the changed field is wrong), signed by a fresh key, or a signature
// bit flipped.
void tamper_certificate(const std::filesystem::path& state_file, Tamper tamper)
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

    P256Key signer = tamper == Tamper::other_root ? new_p256_key() : development_root_key();
    if (tamper == Tamper::wrong_serial)
        certificate[0] ^= 1;
    if (tamper == Tamper::wrong_kind)
        certificate[4] = certificate[4] == 3 ? 1 : 3;
    if (tamper == Tamper::flipped_signature) {
        certificate[100] ^= 0x10;
    } else {
        std::vector<std::uint8_t> signature = sign_sha256(signer.get(), certificate.data(), 76);
        std::copy(signature.begin(), signature.end(), certificate.begin() + 76);
    }
    content.replace(at, 280, hex(certificate.data(), 140));
    std::ofstream(state_file, std::ios::trunc) << content;
}

// A device of the kind, provisioned in `dir`, whose certificate is tampered with.
void provision_rogue(sim::DeviceKind kind, Tamper tamper, const TempDir& dir, sim::HostedDevice& host)
{
    {
        SimulatedDevice provisioned(profile_for(kind, 4242));
        ASSERT_NE(provisioned.device, nullptr);
        std::filesystem::copy(provisioned.stateDir.path(), dir.path(), std::filesystem::copy_options::recursive);
    }
    tamper_certificate(dir.path() / "device.state", tamper);
    std::string error;
    host.device = sim::Device::open(dir.path(), error);
    ASSERT_NE(host.device, nullptr) << error;
}

constexpr Tamper tampers[] = {Tamper::other_root, Tamper::wrong_serial, Tamper::wrong_kind,
                              Tamper::flipped_signature};

TEST(ForeignRoot, RogueCertificatesAreRefused)
{
    for (Tamper tamper : tampers) {
        TempDir rogue("vlrp11-e2e-foreign");
        sim::HostedDevice host;
        ASSERT_NO_FATAL_FAILURE(provision_rogue(sim::DeviceKind::network_hsm, tamper, rogue, host));
        SimulatedNetworkHsm hsm(host);
        ConnectionPtr connection = connect_network(hsm.address(), 0);
        ASSERT_NE(connection, nullptr);
        EXPECT_EQ(key_exchange(*connection), CERTIFICATE_INVALID) << static_cast<int>(tamper);
    }
}

// A failed exchange leaves no channel behind: every later session opening runs the exchange
// again and fails again, so no session ever runs on a device that was not authenticated.
TEST(ForeignRoot, NoSessionOpensOnARogueToken)
{
    for (Tamper tamper : tampers) {
        TempDir rogue("vlrp11-e2e-foreign");
        sim::HostedDevice host;
        ASSERT_NO_FATAL_FAILURE(provision_rogue(sim::DeviceKind::token, tamper, rogue, host));
        SimulatedReaders readers;
        readers.add_reader("KESTRELWORKSHOP VELLARO token 00 00", host.device.get());
        CK_FUNCTION_LIST_PTR p11 = nullptr;
        ASSERT_EQ(get_function_list(&p11), CKR_OK);
        ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
        CK_ULONG count = 0;
        ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &count), CKR_OK);
        ASSERT_EQ(count, 1u);
        for (int attempt = 0; attempt < 3; ++attempt) {
            CK_SESSION_HANDLE session = 0;
            for (CK_FLAGS flags : {CKF_SERIAL_SESSION, CKF_SERIAL_SESSION | CKF_RW_SESSION})
                EXPECT_EQ(p11->C_OpenSession(1, flags, nullptr, nullptr, &session), CKR_DEVICE_ERROR)
                    << static_cast<int>(tamper) << " attempt " << attempt;
        }
        p11->C_Finalize(nullptr);
    }
}

}  // namespace
}  // namespace vlrp11::testing
