// The simulator front ends' parsers of outside input: control requests (a Unix socket anyone on
// the machine with access may write to), reader DEVICENAME endpoints (from pcscd's reader
// configuration), loopback link headers and the vlrp11-sim command line.
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "ifd/reader_link.h"
#include "server/cli.h"
#include "server/control.h"

namespace {

using namespace vlrp11::sim;

// One network HSM for the control requests to act on, made once; its state directory goes
// when the fuzzer exits.
struct FuzzDevice {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vlrp11-fuzz-" + std::to_string(getpid()));
    DeviceList list;

    FuzzDevice() {
        std::filesystem::remove_all(dir);
        DeviceProfile profile = default_profile(DeviceKind::network_hsm);
        profile.so_pin = "so";
        std::string error;
        auto host = std::make_unique<HostedDevice>();
        host->device = Device::create(dir, profile, error);
        host->name = "net";
        list.push_back(std::move(host));
    }
    ~FuzzDevice() {
        list.clear();
        std::filesystem::remove_all(dir);
    }
};

DeviceList& devices() {
    static FuzzDevice device;
    return device.list;
}

std::vector<std::string> split_args(std::string_view text) {
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\0') {
            args.emplace_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        if (devices().front()->device) {
            run_control_request(text, devices());
            devices().front()->faults.clear();
            devices().front()->device->faults().clear();
        }
        break;
    case 1:
        parse_endpoint(text, static_cast<std::uint16_t>(size));
        break;
    case 2:
        if (size - 1 >= link::header_size) {
            link::payload_length(std::span<const std::uint8_t, link::header_size>(data + 1, link::header_size));
        }
        break;
    default: {
        std::string error;
        parse_command_line(split_args(text), error);
        break;
    }
    }
    return 0;
}
