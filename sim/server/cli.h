// The command line of vlrp11-sim: what each sub-command was asked to do, checked and typed.
// Parsing only; running is in the run_* functions.
#pragma once

#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "core/device.h"
#include "ifd/socket_io.h"

namespace vlrp11::sim {

inline constexpr std::uint16_t network_hsm_port = 5656;

struct InitCommand {
    std::filesystem::path state_dir;
    DeviceProfile profile;
    bool sample_objects = false;  // --objects sample: the demo objects of sample_objects.h
};

struct ServedDevice {
    std::filesystem::path state_dir;
    Endpoint endpoint;          // port 0: not given (the kind decides, once the state is read)
};

struct ServeCommand {
    std::vector<ServedDevice> devices;
    std::string control_path;   // empty: no control channel
};

struct ControlCommandLine {
    std::string control_path;
    std::string request;        // the request words joined by single spaces
};

struct HelpCommand {};

using Command = std::variant<HelpCommand, InitCommand, ServeCommand, ControlCommandLine>;

// Nothing and `error` set when the arguments (after the program name) are not understood.
std::optional<Command> parse_command_line(const std::vector<std::string>& args, std::string& error);

extern const char* const usage_text;

}  // namespace vlrp11::sim
