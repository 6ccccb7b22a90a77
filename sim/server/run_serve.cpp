#include <csignal>
#include <cstdio>
#include <list>
#include <pthread.h>

#include "server/control.h"
#include "server/run.h"
#include "server/socket_server.h"

namespace vlrp11::sim {

namespace {

// Opens a device and settles where it listens: PC/SC kinds where the reader driver looks for
// them (a port is required), network HSMs on port 5656 unless told otherwise.
std::unique_ptr<HostedDevice> open_device(const ServedDevice& served, std::string& error) {
    auto host = std::make_unique<HostedDevice>();
    host->device = Device::open(served.state_dir, error);
    if (!host->device) {
        error = served.state_dir.string() + ": " + error;
        return nullptr;
    }
    host->name = served.state_dir.filename().string();
    if (host->name.empty()) {
        host->name = served.state_dir.parent_path().filename().string();
    }
    host->endpoint = served.endpoint;
    bool network = host->device->profile().kind == DeviceKind::network_hsm;
    if (host->endpoint.port == 0 && !network) {
        error = served.state_dir.string() + ": a " + kind_name(host->device->profile().kind) +
                " needs the port its reader driver connects to";
        return nullptr;
    }
    if (host->endpoint.port == 0) {
        host->endpoint.port = network_hsm_port;
    }
    return host;
}

bool start_device(HostedDevice& host, SocketServer& server, std::string& error) {
    int listener = listen_tcp(host.endpoint);
    if (listener < 0) {
        error = "cannot listen on " + to_string(host.endpoint) + " for " + host.name;
        return false;
    }
    if (host.device->profile().kind == DeviceKind::network_hsm) {
        server.start(listener, [&host](int socket) { serve_network_client(host, socket); });
    } else {
        server.start(listener, [&host](int socket) { serve_reader_link(host, socket); });
    }
    return true;
}

void wait_for_termination(const sigset_t& signals) {
    int received = 0;
    sigwait(&signals, &received);
}

}  // namespace

int run_serve(const ServeCommand& command) {
    // Blocked before any thread starts, so every thread inherits the mask and sigwait below
    // is the one place the signals arrive.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    DeviceList devices;
    for (const auto& served : command.devices) {
        auto host = open_device(served, error);
        if (!host) {
            std::fprintf(stderr, "vlrp11-sim serve: %s\n", error.c_str());
            return 1;
        }
        devices.push_back(std::move(host));
    }
    std::list<SocketServer> servers;
    for (auto& host : devices) {
        if (!start_device(*host, servers.emplace_back(), error)) {
            std::fprintf(stderr, "vlrp11-sim serve: %s\n", error.c_str());
            return 1;
        }
    }
    if (!command.control_path.empty()) {
        int listener = listen_unix(command.control_path);
        if (listener < 0) {
            std::fprintf(stderr, "vlrp11-sim serve: cannot open control socket %s\n",
                         command.control_path.c_str());
            return 1;
        }
        servers.emplace_back().start(listener, [&devices](int socket) {
            serve_control_client(devices, socket);
        });
    }
    std::printf("ready\n");
    std::fflush(stdout);
    wait_for_termination(signals);
    servers.clear();
    if (!command.control_path.empty()) {
        std::remove(command.control_path.c_str());
    }
    return 0;
}

}  // namespace vlrp11::sim
