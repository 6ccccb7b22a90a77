#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "core/sample_objects.h"
#include "server/control.h"
#include "server/run.h"

namespace vlrp11::sim {

int run_init(const InitCommand& command) {
    std::string error;
    auto device = Device::create(command.state_dir, command.profile, error);
    if (!device) {
        std::fprintf(stderr, "vlrp11-sim init: %s\n", error.c_str());
        return 1;
    }
    if (command.sample_objects && !provision_sample_objects(*device, error)) {
        std::fprintf(stderr, "vlrp11-sim init: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s serial %u provisioned in %s\n", kind_name(command.profile.kind),
                command.profile.serial, command.state_dir.c_str());
    return 0;
}

int run_control(const ControlCommandLine& command) {
    int socket = connect_unix(command.control_path);
    if (socket < 0) {
        std::fprintf(stderr, "vlrp11-sim ctl: cannot reach %s\n", command.control_path.c_str());
        return 1;
    }
    std::string request = command.request + "\n";
    std::string answer;
    bool sent = send_all(socket, std::span(reinterpret_cast<const std::uint8_t*>(request.data()),
                                           request.size()));
    char byte;
    while (sent && recv(socket, &byte, 1, 0) == 1 && byte != '\n') {
        answer += byte;
    }
    close_socket(socket);
    std::printf("%s\n", answer.c_str());
    return answer.starts_with("ok") ? 0 : 1;
}

}  // namespace vlrp11::sim
