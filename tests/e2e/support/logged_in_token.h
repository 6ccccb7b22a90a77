#pragma once

#include "support/simulated_devices.h"

#include "device/connection_close.h"
#include "device/device_connection.h"
#include "objects/object_record.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vlrp11::testing {

using Bytes = std::vector<std::uint8_t>;

// Keys placed on a logged-in device the way key creation does; each returns the key's header.
// A secret key of the kind written at the directory index:
ObjectHeader write_device_secret_key(DeviceConnection& connection, std::uint8_t index, std::uint8_t kind,
                                     const Bytes& key);
// A key pair made by the device (RSA: modulus bits, EC and DSTU 4145: CurveId); the public key as
// the device gives it goes to public_key.
ObjectHeader generate_device_key_pair(DeviceConnection& connection, std::uint8_t index, std::uint8_t kind,
                                      std::uint16_t size, Bytes& public_key, std::uint8_t flags = 0);

// A simulated token with the user logged in, reached through the library's PC/SC transport, on
// which tests place keys the way key creation does (written secret keys, generated key pairs).
class LoggedInToken {
public:
    LoggedInToken();
    DeviceConnection& connection() { return *connection_; }
    sim::Device& device() { return *simulated_.device; }

    // Writes a secret key of the kind at the directory index; the record of that token key.
    ObjectRecord write_secret_key(std::uint8_t index, std::uint8_t kind, const Bytes& key);
    // Generates a key pair on the device (RSA: modulus bits, EC and DSTU 4145: CurveId); the
    // public key as the device gives it goes to public_key.
    ObjectRecord generate_key_pair(std::uint8_t index, std::uint8_t kind, std::uint16_t size, Bytes& public_key,
                                   std::uint8_t flags = 0);

private:
    ObjectRecord token_key(std::uint8_t index, const ObjectHeader& header, std::uint32_t object_class);

    SimulatedDevice simulated_;
    std::unique_ptr<SimulatedCard> card_;
    ConnectionPtr connection_;
};

// One command as it left the library: its code and request.
struct SentCommand {
    std::uint8_t code;
    Bytes request;
};

// Records the commands sent on a connection while it lives; passes them on unchanged.
class CommandRecorder {
public:
    explicit CommandRecorder(DeviceConnection& connection);
    ~CommandRecorder();
    std::vector<SentCommand> sent;

private:
    DeviceConnection& connection_;
    TransportFn original_;
};

}  // namespace vlrp11::testing
