#include "server/control.h"

#include <charconv>
#include <sstream>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "ifd/socket_io.h"

namespace vlrp11::sim {

namespace {

// A request names a device and carries between min_numbers and max_numbers numbers. The core
// faults take an optional last number: the command code they wait for (any command without it).
struct ControlCommand {
    std::string_view name;
    std::size_t min_numbers;
    std::size_t max_numbers;
    void (*apply)(HostedDevice& host, std::span<const unsigned> numbers);
};

int code_or_any(std::span<const unsigned> numbers, std::size_t index) {
    return numbers.size() > index ? static_cast<int>(numbers[index]) : CoreFaults::any_command;
}

constexpr ControlCommand commands[] = {
    {"busy", 1, 2, [](HostedDevice& host, std::span<const unsigned> n) {
         host.device->faults().answer_busy(n[0], code_or_any(n, 1));
     }},
    {"status", 1, 2, [](HostedDevice& host, std::span<const unsigned> n) {
         host.device->faults().answer_status_once(static_cast<std::uint8_t>(n[0]), code_or_any(n, 1));
     }},
    {"corrupt-mac", 0, 1, [](HostedDevice& host, std::span<const unsigned> n) {
         host.device->faults().corrupt_reply_mac_once(code_or_any(n, 0));
     }},
    {"truncate", 1, 1, [](HostedDevice& host, std::span<const unsigned> n) { host.faults.truncate_next(n[0]); }},
    {"split", 1, 1, [](HostedDevice& host, std::span<const unsigned> n) { host.faults.split_next(n[0]); }},
    {"trickle", 0, 0, [](HostedDevice& host, std::span<const unsigned>) { host.faults.trickle_next(); }},
    {"drop", 0, 1, [](HostedDevice& host, std::span<const unsigned> n) {
         host.faults.drop_after(n.empty() ? 0 : n[0]);
     }},
    {"latency", 1, 1, [](HostedDevice& host, std::span<const unsigned> n) {
         host.faults.set_latency(static_cast<int>(n[0]));
     }},
    {"clear", 0, 0, [](HostedDevice& host, std::span<const unsigned>) {
         host.faults.clear();
         host.device->faults().clear();
     }},
};

// Status values and command codes are bytes; counts, sizes and delays stay below a million.
bool numbers_in_range(std::string_view command, std::span<const unsigned> numbers) {
    bool bytes_only = command == "status" || command == "corrupt-mac";
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        bool is_byte = bytes_only || (command == "busy" && i == 1);
        if (numbers[i] > (is_byte ? 255u : 1000000u)) {
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> split_words(std::string_view line) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        auto start = line.find_first_not_of(" \t\r\n");
        if (start == std::string_view::npos) {
            break;
        }
        line.remove_prefix(start);
        auto end = line.find_first_of(" \t\r\n");
        words.push_back(line.substr(0, end));
        line.remove_prefix(end == std::string_view::npos ? line.size() : end);
    }
    return words;
}

bool parse_number(std::string_view text, unsigned& value) {
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

std::string list_devices(const DeviceList& devices) {
    std::ostringstream out;
    out << "ok";
    const char* separator = " ";
    for (const auto& host : devices) {
        out << separator << host->name << ' ' << kind_name(host->device->profile().kind) << ' '
            << to_string(host->endpoint);
        separator = "; ";
    }
    return out.str();
}

std::string traffic_of(const DeviceList& devices, std::string_view name) {
    for (const auto& host : devices) {
        if (host->name == name) {
            const TrafficCount& t = host->traffic;
            return "ok " + std::to_string(t.commands) + ' ' + std::to_string(t.request_bytes) + ' ' +
                   std::to_string(t.reply_bytes);
        }
    }
    return "error no device " + std::string(name);
}

}  // namespace

std::string run_control_request(std::string_view line, DeviceList& devices) {
    auto words = split_words(line);
    if (words.size() == 1 && words[0] == "list") {
        return list_devices(devices);
    }
    if (words.size() == 2 && words[0] == "traffic") {
        return traffic_of(devices, words[1]);
    }
    const ControlCommand* command = nullptr;
    for (const auto& candidate : commands) {
        if (!words.empty() && words[0] == candidate.name) {
            command = &candidate;
        }
    }
    if (!command) {
        return "error unknown request";
    }
    std::vector<unsigned> numbers(words.size() > 2 ? words.size() - 2 : 0);
    bool well_formed = words.size() >= 2 && numbers.size() >= command->min_numbers &&
                       numbers.size() <= command->max_numbers;
    for (std::size_t i = 0; well_formed && i < numbers.size(); ++i) {
        well_formed = parse_number(words[2 + i], numbers[i]);
    }
    if (!well_formed || !numbers_in_range(command->name, numbers)) {
        return "error usage: " + std::string(command->name) + " <device>" +
               std::string(command->min_numbers > 0 ? " <number>" : "") +
               std::string(command->max_numbers > command->min_numbers ? " [<number>]" : "");
    }
    for (auto& host : devices) {
        if (host->name == words[1]) {
            command->apply(*host, numbers);
            return "ok";
        }
    }
    return "error no device " + std::string(words[1]);
}

void serve_control_client(DeviceList& devices, int socket) {
    std::string pending;
    char buffer[512];
    for (;;) {
        ssize_t got = recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0 || pending.size() > 4096) {
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            std::string reply = run_control_request(std::string_view(pending).substr(0, newline), devices) + "\n";
            pending.erase(0, newline + 1);
            if (!send_all(socket, std::span(reinterpret_cast<const std::uint8_t*>(reply.data()), reply.size()))) {
                return;
            }
        }
    }
}

namespace {

bool make_unix_address(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return false;
    }
    path.copy(address.sun_path, path.size());
    return true;
}

}  // namespace

int listen_unix(const std::string& path) {
    sockaddr_un address;
    if (!make_unix_address(path, address)) {
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    // A socket file left by a killed simulator would make bind fail.
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int connect_unix(const std::string& path) {
    sockaddr_un address;
    if (!make_unix_address(path, address)) {
        return -1;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace vlrp11::sim
