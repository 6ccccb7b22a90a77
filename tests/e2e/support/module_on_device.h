#pragma once

#include "support/simulated_devices.h"
#include "support/simulated_readers.h"
#include "support/temp_dir.h"

#include "vlrp11/pkcs11.h"

#include <gtest/gtest.h>

#include <memory>

namespace vlrp11::testing {

// The module in front of one simulated device of the test's kind: a card in a reader of the
// in-process PC/SC service, or a network HSM named by the configuration file; either way the
// device's transport faults spoil its replies. A test makes the device, may provision it, then
// attaches it; teardown finalises the module.
class ModuleOnDevice : public ::testing::TestWithParam<sim::DeviceKind> {
protected:
    void TearDown() override;

    void make_device(const sim::DeviceProfile& profile);
    // Shows the device to the module, initialises it and lists the slots with a token into
    // `slotCount`.
    void attach();

    bool network() const { return GetParam() == sim::DeviceKind::network_hsm; }

    TempDir dir{"vlrp11-module-on-device"};
    SimulatedReaders readers;
    std::unique_ptr<SimulatedDevice> simulated;
    std::unique_ptr<SimulatedNetworkHsm> server;
    std::size_t reader = 0;
    CK_FUNCTION_LIST_PTR p11 = nullptr;
    CK_ULONG slotCount = 0;
};

}  // namespace vlrp11::testing
