#include "support/device_objects.h"

#include "device/connect.h"
#include "device/device_commands.h"
#include "device/session_setup.h"
#include "objects/attributes.h"
#include "objects/object_record.h"
#include "objects/token_objects.h"

#include <cstring>

namespace vlrp11::testing {

sim::DeviceProfile DeviceObjects::profile() const
{
    return profile_for(GetParam(), 0x00C0FFEE);
}

void DeviceObjects::SetUp()
{
    simulated = std::make_unique<SimulatedDevice>(profile());
    ASSERT_NE(simulated->device, nullptr);
    connect();
}

void DeviceObjects::TearDown()
{
    release_table(tokens);
    release_table(sessionObjects);
}

void DeviceObjects::connect()
{
    open_session();
    if (!HasFatalFailure())
        login_user();
}

void DeviceObjects::open_session()
{
    if (GetParam() == sim::DeviceKind::network_hsm) {
        hsm = std::make_unique<SimulatedNetworkHsm>(simulated->host);
        connection = connect_network(hsm->address(), 0);
    } else {
        card = std::make_unique<SimulatedCard>(*simulated->device);
        connection = connect_pcsc(1, GetParam() == sim::DeviceKind::token ? DEVICE_TOKEN : DEVICE_PCSC_HSM, 0);
    }
    ASSERT_NE(connection, nullptr);
    ASSERT_EQ(set_up_session(*connection), DEVICE_OK);
}

void DeviceObjects::login_user()
{
    ASSERT_EQ(login(*connection, LOGGED_IN_USER, reinterpret_cast<const std::uint8_t*>(USER_PIN), std::strlen(USER_PIN)),
              DEVICE_OK);
}

void DeviceObjects::restart()
{
    release_table(tokens);
    connection.reset();
    hsm.reset();
    card.reset();
    simulated->device = nullptr;
    simulated->host.device.reset();
    simulated->host.faults.clear();
    std::string error;
    simulated->host.device = sim::Device::open(simulated->stateDir.path(), error);
    simulated->device = simulated->host.device.get();
    ASSERT_NE(simulated->device, nullptr) << error;
    connect();
}

void DeviceObjects::replace_device(const sim::DeviceProfile& profile)
{
    release_table(tokens);
    connection.reset();
    hsm.reset();
    card.reset();
    simulated = std::make_unique<SimulatedDevice>(profile);
    ASSERT_NE(simulated->device, nullptr);
    connect();
}

void DeviceObjects::cut_after(unsigned answered)
{
    simulated->host.faults.drop_after(answered);
}

Directory DeviceObjects::directory()
{
    Directory listing{};
    EXPECT_EQ(read_directory(*connection, listing), DEVICE_OK);
    return listing;
}

unsigned DeviceObjects::reload()
{
    release_table(tokens);
    EXPECT_EQ(refresh_token_objects(*connection, tokens, true), CKR_OK);
    return loaded();
}

unsigned DeviceObjects::loaded() const
{
    unsigned count = 0;
    for (const ObjectRecord* record : tokens)
        count += record != nullptr;
    return count;
}

CK_RV DeviceObjects::get(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type, std::vector<std::uint8_t>& out)
{
    CK_ATTRIBUTE entry{type, nullptr, 0};
    CK_RV rv = get_attribute(context(), handle, entry);
    if (rv != CKR_OK)
        return rv;
    out.assign(entry.ulValueLen, 0);
    entry.pValue = out.data();
    rv = get_attribute(context(), handle, entry);
    out.resize(entry.ulValueLen);
    return rv;
}

std::vector<std::uint8_t> DeviceObjects::attribute(CK_OBJECT_HANDLE handle, CK_ATTRIBUTE_TYPE type)
{
    std::vector<std::uint8_t> out;
    EXPECT_EQ(get(handle, type, out), CKR_OK) << std::hex << type;
    return out;
}

CreationDescriptor descriptor_for(std::uint32_t objectClass, bool token, const std::vector<std::uint8_t>& value,
                                  const char* label)
{
    CreationDescriptor descriptor{};
    descriptor.objectClass = objectClass;
    descriptor.token = token;
    descriptor.isPrivate = true;
    descriptor.value = value.data();
    descriptor.valueLength = static_cast<std::uint32_t>(value.size());
    descriptor.header.labelLength = static_cast<std::uint8_t>(std::strlen(label));
    std::memcpy(descriptor.header.label, label, descriptor.header.labelLength);
    return descriptor;
}

}  // namespace vlrp11::testing
