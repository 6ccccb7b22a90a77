#pragma once

#include "support/simulated_devices.h"

#include "device/connection_close.h"
#include "objects/directory.h"
#include "objects/object_create.h"
#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace vlrp11::testing {

// A simulated device of the test's kind with the user logged in through the library's own
// transport, the token-object table of its slot and the objects of one session: what the
// object layer works on below the function table. restart() stops the device the way a killed
// simulator stops and brings it back from its state directory.
class DeviceObjects : public ::testing::TestWithParam<sim::DeviceKind> {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::DeviceProfile profile() const;
    // Opens the library's transport to the device and sets up a session, then logs the user in.
    void connect();
    void open_session();
    void login_user();
    void restart();
    // Starts over with another device of the same kind.
    void replace_device(const sim::DeviceProfile& profile);
    // The network HSM's transport drops the reply after `answered` more commands and closes.
    void cut_after(unsigned answered);

    ObjectContext context() { return ObjectContext{connection.get(), &tokens, &sessionObjects}; }
    Directory directory();
    // Reads every token object back from the device into an empty table; the number loaded.
    unsigned reload();
    unsigned loaded() const;
    CK_RV get(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type, std::vector<std::uint8_t>& out);
    std::vector<std::uint8_t> attribute(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type);

    std::unique_ptr<SimulatedDevice> simulated;
    std::unique_ptr<SimulatedCard> card;
    std::unique_ptr<SimulatedNetworkHsm> hsm;
    ConnectionPtr connection;
    ObjectTable tokens{};
    ObjectTable sessionObjects{};
    std::uint32_t deviceError = 0;
};

// A creation descriptor for a value: class, token and private flags, the header zero-filled
// with the label.
CreationDescriptor descriptor_for(std::uint32_t objectClass, bool token, const std::vector<std::uint8_t>& value,
                                  const char* label = "");

}  // namespace vlrp11::testing
