#pragma once

// Shared by the simulator tests: a provisioned device in a fresh temporary state directory, and
// the host side of a channel ready to talk to it.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/sim_client.h"
#include "support/temp_dir.h"
#include "core/command.h"
#include "core/device.h"

namespace vlrp11::sim::test {

inline constexpr const char* so_pin = "87654321";
inline constexpr const char* user_pin = "1234";

using Bytes = std::vector<std::uint8_t>;

using vlrp11::testing::TempDir;

inline DeviceProfile make_profile(DeviceKind kind)
{
    DeviceProfile profile = default_profile(kind);
    profile.serial = 123456;
    profile.so_pin = so_pin;
    profile.user_pin = user_pin;
    return profile;
}

inline std::unique_ptr<Device> create_device(const TempDir& dir, const DeviceProfile& profile)
{
    std::string error;
    auto device = Device::create(dir.path() / "device", profile, error);
    EXPECT_TRUE(device) << error;
    return device;
}

// A PC/SC host: opens a channel and runs the key exchange as the library does at session open.
inline ClientChannel open_session(Device& device)
{
    ClientChannel channel;
    ClientReply opened = transmit_apdu(device, channel, 32, {}, 2);
    EXPECT_EQ(opened.status, status::ok);
    EXPECT_EQ(opened.data.size(), 2u);
    if (opened.data.size() == 2) {
        channel.channel = static_cast<std::uint16_t>(opened.data[0] | opened.data[1] << 8);
    }
    const DeviceProfile& profile = device.profile();
    if (profile.kind != DeviceKind::token || profile.version >= 7) {
        ClientKeyExchange exchange;
        EXPECT_TRUE(start_key_exchange(exchange));
        ClientReply reply = transmit_apdu(device, channel, 240, exchange.request, 268);
        EXPECT_EQ(reply.status, status::ok);
        EXPECT_EQ(finish_key_exchange(exchange, reply.data, profile.serial,
                                      static_cast<int>(profile.kind), channel),
                  0);
    }
    return channel;
}

inline int login(Device& device, ClientChannel& channel, int type, const char* pin,
                 bool with_partition = false, std::uint32_t partition = 0)
{
    std::uint8_t code = type == login_so ? 40 : type == login_user ? 38 : 39;
    ClientReply reply =
        transmit_apdu(device, channel, code, login_request(pin, with_partition, partition), 32);
    if (reply.status == status::ok) {
        apply_login_reply(pin, reply.data, type, channel);
    }
    return reply.status;
}

inline Bytes device_info(Device& device, ClientChannel& channel)
{
    return transmit_apdu(device, channel, 16, {}, 32).data;
}

}  // namespace vlrp11::sim::test
