// The simulator's parsers of host input: raw command APDUs and TCP byte streams, and every
// command handler behind correctly framed and MACed requests.
//
// Input: byte 0 picks the path. 0: the rest is one raw APDU. 1: the rest is TCP bytes in two
// receives. 2: byte 1 is a command code and the rest its request, framed by the host side on an
// opened channel (logged in as user when byte 0 is 3).

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "core/command.h"
#include "support/sim_client.h"
#include "core/device.h"

namespace {

using namespace vlrp11::sim;

std::filesystem::path state_root;

void remove_state()
{
    std::error_code ignored;
    std::filesystem::remove_all(state_root, ignored);
}

std::unique_ptr<Device> make_device()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vlrp11-sim-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        return nullptr;
    }
    state_root = pattern;
    std::atexit(remove_state);
    DeviceProfile profile = default_profile(DeviceKind::pcsc_hsm);
    profile.so_pin = "87654321";
    profile.user_pin = "1234";
    profile.pin_try_limit = 255;  // wrong PINs from the fuzzer must not block the login below
    std::string error;
    return Device::create(state_root / "device", profile, error);
}

Device& device()
{
    static std::unique_ptr<Device> instance = make_device();
    return *instance;
}

ClientChannel open_channel(bool logged_in)
{
    ClientChannel channel;
    ClientReply opened = transmit_apdu(device(), channel, 32, {}, 2);
    if (opened.status == status::no_free_channel) {
        transmit_apdu(device(), channel, 166, {}, 2);
        opened = transmit_apdu(device(), channel, 32, {}, 2);
    }
    if (opened.data.size() == 2) {
        channel.channel = static_cast<std::uint16_t>(opened.data[0] | opened.data[1] << 8);
    }
    if (logged_in) {
        ClientReply reply = transmit_apdu(device(), channel, 38, login_request("1234", false, 0), 32);
        if (reply.status == status::ok) {
            apply_login_reply("1234", reply.data, 1, channel);
        }
    }
    return channel;
}

// Logging in costs two PIN derivations, so one channel stays logged in from run to run and is
// set up again only when a fuzzed command ended or desynchronised it.
ClientChannel& channel_for(bool logged_in)
{
    static ClientChannel channels[2];
    static bool ready[2] = {false, false};
    ClientChannel& channel = channels[logged_in];
    if (ready[logged_in]) {
        ClientReply info = transmit_apdu(device(), channel, 16, {}, 32);
        ready[logged_in] = info.status == status::ok && info.data.size() == 32 &&
                           info.data[16] == (logged_in ? 1 : 0xFF);
    }
    if (!ready[logged_in]) {
        channel = open_channel(logged_in);
        ready[logged_in] = true;
    }
    return channel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    std::span<const std::uint8_t> input(data + 1, size - 1);
    switch (data[0] & 3) {
    case 0:
        device().transmit(input);
        break;
    case 1: {
        auto session = device().open_tcp_session();
        std::size_t half = input.size() / 2;
        session->receive(input.first(half));
        session->receive(input.subspan(half));
        session->flush();
        break;
    }
    default:
        if (!input.empty()) {
            ClientChannel& channel = channel_for((data[0] & 3) == 3);
            transmit_apdu(device(), channel, input[0], input.subspan(1), 2048);
        }
        break;
    }
    return 0;
}
