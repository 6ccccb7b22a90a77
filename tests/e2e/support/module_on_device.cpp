#include "support/module_on_device.h"

#include "api/function_table.h"

#include <cstdlib>

namespace vlrp11::testing {

void ModuleOnDevice::TearDown()
{
    if (p11 != nullptr)
        p11->C_Finalize(nullptr);
    ::unsetenv("VLRP11_MORVA_HSM_CONFIG");
}

void ModuleOnDevice::make_device(const sim::DeviceProfile& profile)
{
    simulated = std::make_unique<SimulatedDevice>(profile);
    ASSERT_NE(simulated->device, nullptr);
}

void ModuleOnDevice::attach()
{
    if (network()) {
        server = std::make_unique<SimulatedNetworkHsm>(simulated->host);
        configure_network_hsm(dir.path(), server->address());
    } else {
        reader = readers.add_reader(reader_name(GetParam()), simulated->device, &simulated->host.faults);
    }
    ASSERT_EQ(get_function_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    ASSERT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &slotCount), CKR_OK);
}

}  // namespace vlrp11::testing
