#include "device/device_commands.h"

#include "crypto/aes.h"
#include "crypto/byte_order.h"
#include "device/command_codes.h"
#include "device/device_connection.h"
#include "device/pin_derivation.h"
#include "device/secure_channel.h"
#include "device/transport.h"
#include "platform/clock.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::uint32_t BUSY_PAUSE_MS = 100;

bool token_with_clock(const DeviceConnection& connection)
{
    return connection.kind == DEVICE_TOKEN && connection.device_info[DEVICE_INFO_VERSION] > 6;
}

std::uint32_t send_pin_values(DeviceConnection& connection, std::uint8_t code, const std::uint8_t* pin,
                              std::size_t pin_length)
{
    Wiped<std::uint8_t[32]> ab;
    derive_pin(pin, pin_length, ab.value, ab.value + 16);
    set_time(connection);
    return connection.transport(&connection, code, ab.value, sizeof ab.value, nullptr, nullptr);
}

}  // namespace

void set_time(DeviceConnection& connection) noexcept
{
    set_time_at(connection, system_time_unix_seconds());
}

void set_time_at(DeviceConnection& connection, std::int64_t unix_seconds) noexcept
{
    if (!token_with_clock(connection))
        return;
    std::uint8_t value[4];
    store_le32(value, static_cast<std::uint32_t>(unix_seconds - DEVICE_EPOCH_UNIX));
    connection.transport(&connection, CMD_SET_TIME, value, sizeof value, nullptr, nullptr);
}

std::uint32_t open_channel(DeviceConnection& connection) noexcept
{
    std::uint8_t reply[2];
    std::uint32_t length = sizeof reply;
    std::uint32_t status = connection.transport(&connection, CMD_OPEN_CHANNEL, nullptr, 0, reply, &length);
    status = status_before_length_check(status, length, sizeof reply);
    if (status != DEVICE_OK)
        return status;
    if (length != sizeof reply) {
        connection.channel = 0;
        return REPLY_LENGTH_WRONG;
    }
    connection.channel = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    return DEVICE_OK;
}

std::uint32_t close_channel(DeviceConnection& connection) noexcept
{
    std::uint32_t status = connection.transport(&connection, CMD_CLOSE_CHANNEL, nullptr, 0, nullptr, nullptr);
    if (status != DEVICE_OK)
        return status;
    connection.login_state = LOGGED_OUT;
    end_payload_encryption(connection);
    connection.channel = 0;
    if (connection.kind != DEVICE_NETWORK_HSM)
        reset_channel_key(connection);
    return DEVICE_OK;
}

std::uint32_t init_pin(DeviceConnection& connection, const std::uint8_t* pin, std::size_t pin_length) noexcept
{
    return send_pin_values(connection, CMD_INIT_PIN, pin, pin_length);
}

std::uint32_t change_pin(DeviceConnection& connection, const std::uint8_t* new_pin, std::size_t length) noexcept
{
    return send_pin_values(connection, CMD_CHANGE_PIN, new_pin, length);
}

std::uint32_t unblock_pin(DeviceConnection& connection) noexcept
{
    return connection.transport(&connection, CMD_UNBLOCK_PIN, nullptr, 0, nullptr, nullptr);
}

std::uint32_t login(DeviceConnection& connection, int type, const std::uint8_t* pin, std::size_t pin_length) noexcept
{
    std::uint8_t code;
    switch (type) {
    case LOGGED_IN_SO:
        code = CMD_LOGIN_SO;
        break;
    case LOGGED_IN_USER:
        code = CMD_LOGIN_USER;
        break;
    case LOGGED_IN_USER_RO:
        if (connection.kind == DEVICE_TOKEN)
            return LOGIN_TYPE_NOT_ALLOWED;
        code = CMD_LOGIN_USER_RO;
        break;
    default:
        return LOGIN_TYPE_NOT_ALLOWED;
    }

    // Everything derived from the PIN, wiped together whichever way the login ends.
    struct LoginSecrets {
        std::uint8_t a[16];
        std::uint8_t b[16];
        AesKey key_a;
        AesKey key_b;
        std::uint8_t request[20];
        std::uint8_t reply[32];
        std::uint8_t key[16];
    };
    Wiped<LoginSecrets> secrets;
    LoginSecrets& s = secrets.value;

    // The request is A encrypted under B; HSM user logins add the partition they are for.
    derive_pin(pin, pin_length, s.a, s.b);
    aes_set_key(s.key_a, s.a, 128);
    aes_set_key(s.key_b, s.b, 128);
    aes_encrypt_block(s.key_b, s.a, s.request);
    std::uint32_t request_length = 16;
    if (connection.kind != DEVICE_TOKEN && type != LOGGED_IN_SO) {
        store_le32(s.request + 16, static_cast<std::uint32_t>(connection.instance));
        request_length = 20;
    }

    set_time(connection);
    std::uint32_t length = sizeof s.reply;
    std::uint32_t status = connection.transport(&connection, code, s.request, request_length, s.reply, &length);
    status = status_before_length_check(status, length, sizeof s.reply);
    if (status != DEVICE_OK)
        return status;
    if (length != sizeof s.reply)
        return REPLY_LENGTH_WRONG;
    // New channel key = E_A(R1); new counter = E_A(R2).
    aes_encrypt_block(s.key_a, s.reply, s.key);
    aes_encrypt_block(s.key_a, s.reply + 16, connection.counter);
    set_channel_key(connection, s.key);
    connection.keystream_pos = 0;
    connection.login_state = static_cast<LoginState>(type);
    return DEVICE_OK;
}

std::uint32_t logout(DeviceConnection& connection) noexcept
{
    if (connection.login_state == LOGGED_OUT)
        return DEVICE_OK;
    std::uint32_t status = connection.transport(&connection, CMD_LOGOUT, nullptr, 0, nullptr, nullptr);
    if (status != DEVICE_OK)
        return status;
    connection.login_state = LOGGED_OUT;
    end_payload_encryption(connection);
    if (connection.kind == DEVICE_TOKEN && connection.atr_digit == 0)
        reset_channel_key(connection);
    return DEVICE_OK;
}

std::uint32_t wait_device_info(DeviceConnection& connection) noexcept
{
    for (;;) {
        std::uint32_t length = sizeof connection.device_info;
        std::uint32_t status = connection.transport(&connection, CMD_GET_DEVICE_INFO, nullptr, 0,
                                                    connection.device_info, &length);
        if (status != DEVICE_BUSY)
            return status;
        sleep_ms(BUSY_PAUSE_MS);
    }
}

}  // namespace vlrp11
