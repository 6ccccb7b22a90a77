#include "server/cli.h"

#include <charconv>
#include <limits>

namespace vlrp11::sim {

const char* const usage_text = R"(vlrp11-sim: simulated VELLARO tokens, VELLARO HSMs and MORVA network HSMs.

  vlrp11-sim init <state-dir> --kind token|hsm|network --so-pin <pin> [--user-pin <pin>]
             [--serial N] [--model N] [--version N] [--firmware-minor D] [--atr-digit D]
             [--storage-blocks N] [--pin-tries N] [--channels N] [--objects sample|none]
      Provisions a device in an empty state directory. The device keeps only the values
      derived from the PINs. --pin-tries 255 gives a device without PIN failure counters.
      --objects sample puts demo objects on it: data, certificates and keys.

  vlrp11-sim serve [--control <socket>] <state-dir>@<address>[:<port>] ...
      Serves provisioned devices until SIGTERM or SIGINT. A token or PC/SC HSM listens for
      the project's pcscd reader driver on <address>:<port> (the DEVICENAME of its
      reader.conf.d entry); a network HSM takes TCP clients on <address>, port 5656 unless
      given. Each device is named on the control channel by its state directory's last
      component. "ready" is printed once every device listens.

  vlrp11-sim ctl <socket> <request...>
      Sends one request to a running simulator's control channel and prints the answer:
        list | busy <device> <n> [code] | status <device> <s> [code]
        corrupt-mac <device> [code] | truncate <device> <bytes> | split <device> <bytes>
        drop <device> | latency <device> <ms> | clear <device>
      Exits 0 when the answer starts with "ok".
)";

namespace {

template <typename T>
bool parse_unsigned(const std::string& text, T& out) {
    unsigned long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || text.empty() ||
        value > std::numeric_limits<T>::max()) {
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

std::optional<DeviceKind> parse_kind(const std::string& text) {
    if (text == "token") return DeviceKind::token;
    if (text == "hsm") return DeviceKind::pcsc_hsm;
    if (text == "network") return DeviceKind::network_hsm;
    return std::nullopt;
}

// One numeric option of init: where it goes and the largest value the device can hold.
struct NumericOption {
    const char* name;
    unsigned max;
    void (*store)(DeviceProfile& profile, unsigned value);
};

constexpr NumericOption numeric_options[] = {
    {"--serial", 0xFFFFFFFFu, [](DeviceProfile& s, unsigned v) { s.serial = v; }},
    {"--model", 0xFFFFFFFFu, [](DeviceProfile& s, unsigned v) { s.model = v; }},
    {"--version", 255, [](DeviceProfile& s, unsigned v) { s.version = static_cast<std::uint8_t>(v); }},
    {"--firmware-minor", 9, [](DeviceProfile& s, unsigned v) { s.firmware_minor = static_cast<std::uint8_t>(v); }},
    {"--atr-digit", 9, [](DeviceProfile& s, unsigned v) { s.atr_digit = static_cast<std::uint8_t>(v); }},
    {"--storage-blocks", 255, [](DeviceProfile& s, unsigned v) { s.storage_blocks = static_cast<std::uint8_t>(v); }},
    {"--pin-tries", 255, [](DeviceProfile& s, unsigned v) { s.pin_try_limit = static_cast<std::uint8_t>(v); }},
    {"--channels", 0xFFFF, [](DeviceProfile& s, unsigned v) { s.channel_limit = static_cast<std::uint16_t>(v); }},
};

std::optional<Command> parse_init(const std::vector<std::string>& args, std::string& error) {
    if (args.size() < 2 || args[1].starts_with("--")) {
        error = "init needs a state directory";
        return std::nullopt;
    }
    // The kind decides the defaults, so it is found first.
    std::optional<DeviceKind> kind;
    for (std::size_t i = 2; i + 1 < args.size(); ++i) {
        if (args[i] == "--kind") {
            kind = parse_kind(args[i + 1]);
        }
    }
    if (!kind) {
        error = "init needs --kind token, hsm or network";
        return std::nullopt;
    }
    InitCommand init{args[1], default_profile(*kind)};
    for (std::size_t i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size()) {
            error = args[i] + " needs a value";
            return std::nullopt;
        }
        const std::string& name = args[i];
        const std::string& value = args[i + 1];
        if (name == "--kind") {
            continue;
        }
        if (name == "--objects") {
            if (value != "sample" && value != "none") {
                error = "--objects takes sample or none";
                return std::nullopt;
            }
            init.sample_objects = value == "sample";
            continue;
        }
        if (name == "--so-pin" || name == "--user-pin") {
            (name == "--so-pin" ? init.profile.so_pin : init.profile.user_pin) = value;
            continue;
        }
        const NumericOption* option = nullptr;
        for (const auto& candidate : numeric_options) {
            option = name == candidate.name ? &candidate : option;
        }
        unsigned number = 0;
        if (!option) {
            error = "unknown option " + name;
            return std::nullopt;
        }
        if (!parse_unsigned(value, number) || number > option->max) {
            error = name + " takes a number from 0 to " + std::to_string(option->max);
            return std::nullopt;
        }
        option->store(init.profile, number);
    }
    if (init.profile.so_pin.empty()) {
        error = "init needs --so-pin";
        return std::nullopt;
    }
    return init;
}

std::optional<Command> parse_serve(const std::vector<std::string>& args, std::string& error) {
    ServeCommand serve;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--control") {
            if (++i >= args.size()) {
                error = "--control needs a socket path";
                return std::nullopt;
            }
            serve.control_path = args[i];
            continue;
        }
        auto at = args[i].rfind('@');
        // The port is optional here; the kind of the device decides whether it may be left out.
        std::optional<Endpoint> endpoint;
        if (at != std::string::npos && at > 0) {
            endpoint = parse_endpoint(std::string_view(args[i]).substr(at + 1), network_hsm_port);
            if (endpoint && args[i].find(':', at) == std::string::npos) {
                endpoint->port = 0;
            }
        }
        if (!endpoint) {
            error = "expected <state-dir>@<address>[:<port>], got " + args[i];
            return std::nullopt;
        }
        serve.devices.push_back({args[i].substr(0, at), *endpoint});
    }
    if (serve.devices.empty()) {
        error = "serve needs at least one device";
        return std::nullopt;
    }
    return serve;
}

std::optional<Command> parse_control(const std::vector<std::string>& args, std::string& error) {
    if (args.size() < 3) {
        error = "ctl needs a socket path and a request";
        return std::nullopt;
    }
    ControlCommandLine control{args[1], args[2]};
    for (std::size_t i = 3; i < args.size(); ++i) {
        control.request += " " + args[i];
    }
    return control;
}

}  // namespace

std::optional<Command> parse_command_line(const std::vector<std::string>& args, std::string& error) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        return HelpCommand{};
    }
    if (args[0] == "init") {
        return parse_init(args, error);
    }
    if (args[0] == "serve") {
        return parse_serve(args, error);
    }
    if (args[0] == "ctl") {
        return parse_control(args, error);
    }
    error = "unknown command " + args[0];
    return std::nullopt;
}

}  // namespace vlrp11::sim
