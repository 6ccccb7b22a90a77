// The vlrp11-sim command line and the control requests, as tables of arguments and answers.
#include <gtest/gtest.h>

#include "server/cli.h"

namespace vlrp11::sim {
namespace {

std::optional<Command> parse(std::vector<std::string> args) {
    std::string error;
    auto command = parse_command_line(args, error);
    EXPECT_EQ(command.has_value(), error.empty()) << error;
    return command;
}

TEST(SimCommandLine, InitTakesTheKindDefaultsThenTheOptions) {
    auto command = parse({"init", "/tmp/d", "--serial", "77", "--kind", "hsm", "--so-pin", "so",
                          "--user-pin", "user", "--model", "9001", "--version", "6",
                          "--firmware-minor", "3", "--atr-digit", "0", "--storage-blocks", "10",
                          "--pin-tries", "255", "--channels", "2"});
    ASSERT_TRUE(command);
    const auto& init = std::get<InitCommand>(*command);
    DeviceProfile expected = default_profile(DeviceKind::pcsc_hsm);
    EXPECT_EQ(init.state_dir, "/tmp/d");
    EXPECT_EQ(init.profile.kind, DeviceKind::pcsc_hsm);
    EXPECT_EQ(init.profile.partition_count, expected.partition_count);
    EXPECT_EQ(init.profile.serial, 77u);
    EXPECT_EQ(init.profile.model, 9001u);
    EXPECT_EQ(init.profile.version, 6);
    EXPECT_EQ(init.profile.firmware_minor, 3);
    EXPECT_EQ(init.profile.atr_digit, 0);
    EXPECT_EQ(init.profile.storage_blocks, 10);
    EXPECT_EQ(init.profile.pin_try_limit, 255);
    EXPECT_EQ(init.profile.channel_limit, 2);
    EXPECT_EQ(init.profile.so_pin, "so");
    EXPECT_EQ(init.profile.user_pin, "user");
}

TEST(SimCommandLine, RefusesWhatTheDeviceCannotHold) {
    const std::vector<std::vector<std::string>> refused = {
        {"init"},
        {"init", "--kind", "token", "--so-pin", "1"},
        {"init", "/d", "--so-pin", "1"},
        {"init", "/d", "--kind", "card", "--so-pin", "1"},
        {"init", "/d", "--kind", "token"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--serial"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--serial", "4294967296"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--version", "256"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--atr-digit", "10"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--firmware-minor", "-1"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--pin-tries", "12x"},
        {"init", "/d", "--kind", "token", "--so-pin", "1", "--colour", "red"},
        {"serve"},
        {"serve", "/d"},
        {"serve", "/d@"},
        {"serve", "@127.0.0.1:1"},
        {"serve", "/d@127.0.0.1:0"},
        {"serve", "/d@host.example:5656"},
        {"serve", "/d@127.0.0.1:1", "--control"},
        {"ctl", "/sock"},
        {"frobnicate"},
    };
    for (const auto& args : refused) {
        std::string error;
        EXPECT_FALSE(parse_command_line(args, error)) << args[0] << " " << args.size();
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimCommandLine, ServeTakesDevicesWithOrWithoutPort) {
    auto command = parse({"serve", "--control", "/w/ctl", "/w/token@127.0.0.1:36864",
                          "/w/a@b/net@127.0.0.2", "/w/net3@127.0.0.3:0x1618"});
    ASSERT_TRUE(command);
    const auto& serve = std::get<ServeCommand>(*command);
    EXPECT_EQ(serve.control_path, "/w/ctl");
    ASSERT_EQ(serve.devices.size(), 3u);
    EXPECT_EQ(serve.devices[0].state_dir, "/w/token");
    EXPECT_EQ(to_string(serve.devices[0].endpoint), "127.0.0.1:36864");
    // The last '@' separates: state directories may contain one.
    EXPECT_EQ(serve.devices[1].state_dir, "/w/a@b/net");
    EXPECT_EQ(serve.devices[1].endpoint.port, 0) << "left to the kind";
    EXPECT_EQ(serve.devices[2].endpoint.port, 5656);
}

TEST(SimCommandLine, HelpAndControl) {
    for (auto args : {std::vector<std::string>{}, {"--help"}, {"-h"}, {"help"}}) {
        auto command = parse(args);
        ASSERT_TRUE(command);
        EXPECT_TRUE(std::holds_alternative<HelpCommand>(*command));
    }
    auto command = parse({"ctl", "/w/ctl", "busy", "token", "3"});
    ASSERT_TRUE(command);
    EXPECT_EQ(std::get<ControlCommandLine>(*command).request, "busy token 3");
}

}  // namespace
}  // namespace vlrp11::sim
