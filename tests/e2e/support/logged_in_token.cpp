#include "support/logged_in_token.h"

#include "device/command_codes.h"
#include "device/connect.h"
#include "device/device_commands.h"
#include "device/session_setup.h"
#include "vlrp11/pkcs11.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace vlrp11::testing {

LoggedInToken::LoggedInToken() : simulated_(profile_for(sim::DeviceKind::token, 4242))
{
    card_ = std::make_unique<SimulatedCard>(*simulated_.device);
    connection_ = connect_pcsc(1, DEVICE_TOKEN, 0);
    EXPECT_NE(connection_, nullptr);
    EXPECT_EQ(set_up_session(*connection_), DEVICE_OK);
    EXPECT_EQ(login(*connection_, LOGGED_IN_USER, reinterpret_cast<const std::uint8_t*>(USER_PIN),
                    std::strlen(USER_PIN)),
              0u);
}

ObjectRecord LoggedInToken::token_key(std::uint8_t index, const ObjectHeader& header, std::uint32_t object_class)
{
    ObjectRecord key{};
    key.connection = connection_.get();
    key.objectClass = object_class;
    key.token = 1;
    key.isPrivate = 1;
    key.header = header;
    key.deviceIndex = index;
    return key;
}

ObjectHeader write_device_secret_key(DeviceConnection& connection, std::uint8_t index, std::uint8_t kind,
                                     const Bytes& key)
{
    ObjectHeader header{};
    header.keyKind = kind;
    header.length[0] = header.length[1] = 0xFF;
    header.secretKeyLength = static_cast<std::uint8_t>(key.size());
    Bytes request{index};
    request.insert(request.end(), reinterpret_cast<const std::uint8_t*>(&header),
                   reinterpret_cast<const std::uint8_t*>(&header) + sizeof header);
    request.insert(request.end(), key.begin(), key.end());
    EXPECT_EQ(connection.transport(&connection, CMD_WRITE_KEY, request.data(),
                                   static_cast<std::uint32_t>(request.size()), nullptr, nullptr),
              0u);
    return header;
}

ObjectHeader generate_device_key_pair(DeviceConnection& connection, std::uint8_t index, std::uint8_t kind,
                                      std::uint16_t size, Bytes& public_key, std::uint8_t flags)
{
    ObjectHeader header{};
    header.keyKind = kind;
    header.flags = flags;
    header.length[0] = static_cast<std::uint8_t>(size);
    header.length[1] = static_cast<std::uint8_t>(size >> 8);
    Bytes request{index};
    request.insert(request.end(), reinterpret_cast<const std::uint8_t*>(&header),
                   reinterpret_cast<const std::uint8_t*>(&header) + sizeof header);
    public_key.assign(592, 0);
    std::uint32_t length = static_cast<std::uint32_t>(public_key.size());
    std::uint32_t status = connection.transport(&connection, CMD_GENERATE_KEY, request.data(),
                                                static_cast<std::uint32_t>(request.size()), public_key.data(), &length);
    // RSA keys are made in the background: poll for the public key.
    while (status == OPERATION_STARTED || status == DEVICE_BUSY) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        length = static_cast<std::uint32_t>(public_key.size());
        status = connection.transport(&connection, CMD_READ_PUBLIC_KEY, &index, 1, public_key.data(), &length);
    }
    EXPECT_EQ(status, DEVICE_OK);
    public_key.resize(length);
    return header;
}

ObjectRecord LoggedInToken::write_secret_key(std::uint8_t index, std::uint8_t kind, const Bytes& key)
{
    return token_key(index, write_device_secret_key(*connection_, index, kind, key), CKO_SECRET_KEY);
}

ObjectRecord LoggedInToken::generate_key_pair(std::uint8_t index, std::uint8_t kind, std::uint16_t size,
                                              Bytes& public_key, std::uint8_t flags)
{
    return token_key(index, generate_device_key_pair(*connection_, index, kind, size, public_key, flags),
                     CKO_PRIVATE_KEY);
}

namespace {

CommandRecorder* recorder = nullptr;

}  // namespace

CommandRecorder::CommandRecorder(DeviceConnection& connection) : connection_(connection), original_(connection.transport)
{
    recorder = this;
    connection.transport = [](DeviceConnection* c, std::uint8_t code, const std::uint8_t* request,
                              std::uint32_t request_length, std::uint8_t* reply, std::uint32_t* reply_length) {
        recorder->sent.push_back({code, Bytes(request, request + request_length)});
        return recorder->original_(c, code, request, request_length, reply, reply_length);
    };
}

CommandRecorder::~CommandRecorder()
{
    connection_.transport = original_;
    recorder = nullptr;
}

}  // namespace vlrp11::testing
