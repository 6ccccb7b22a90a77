// The control channel of a running simulator: a Unix socket taking one text line per request
// and answering one line, "ok ..." or "error <reason>". Requests:
//   list                      one "<name> <kind> <endpoint>" group per device, ";"-separated
//   traffic <device>          "<commands> <request bytes> <reply bytes>" answered since start
//   busy <device> <n> [code]  the next n commands (of that code) are answered busy (64)
//   status <device> <s> [code] the next command (of that code) is answered with status s
//   corrupt-mac <device> [code] one bit of the next reply MAC (to that code) is flipped
//   truncate <device> <n>     the next reply is cut to n bytes
//   split <device> <n>        the next reply goes out as n bytes, a pause, then the rest
//   trickle <device>          the next reply goes out one byte at a time, 1 ms apart
//   drop <device>             the connection is closed instead of the next reply
//   latency <device> <ms>     every reply waits ms first (0 ends it)
//   clear <device>            disarms every fault of the device
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "server/hosted_device.h"

namespace vlrp11::sim {

using DeviceList = std::vector<std::unique_ptr<HostedDevice>>;

std::string run_control_request(std::string_view line, DeviceList& devices);

// Serves control requests on one accepted connection until the peer closes it.
void serve_control_client(DeviceList& devices, int socket);

// Unix-socket plumbing of the channel; -1 on failure.
int listen_unix(const std::string& path);
int connect_unix(const std::string& path);

}  // namespace vlrp11::sim
