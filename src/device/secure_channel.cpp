#include "device/secure_channel.h"

#include "device/device_connection.h"
#include "platform/wipe.h"

#include <cstring>

namespace vlrp11 {

void channel_mac(const DeviceConnection& connection, const std::uint8_t* data, std::size_t length,
                 std::uint8_t out[CHANNEL_MAC_LENGTH]) noexcept
{
    std::uint8_t state[16] = {};
    std::size_t filled = 0;
    for (std::size_t i = 0; i < length; ++i) {
        state[filled++] ^= data[i];
        if (filled == 16) {
            aes_encrypt_block(connection.channel_cipher, state, state);
            filled = 0;
        }
    }
    if (filled != 0)
        aes_encrypt_block(connection.channel_cipher, state, state);
    std::memcpy(out, state, CHANNEL_MAC_LENGTH);
    secure_wipe(state, sizeof state);
}

void channel_crypt(DeviceConnection& connection, const std::uint8_t* data, std::size_t length,
                   std::uint8_t* out) noexcept
{
    for (std::size_t i = 0; i < length; ++i) {
        if (connection.keystream_pos == 0) {
            aes_encrypt_block(connection.channel_cipher, connection.counter, connection.keystream);
            for (int j = 15; j >= 0 && ++connection.counter[j] == 0; --j) {
            }
        }
        out[i] = data[i] ^ connection.keystream[connection.keystream_pos];
        connection.keystream_pos = (connection.keystream_pos + 1) % 16;
    }
}

void set_channel_key(DeviceConnection& connection, const std::uint8_t key[16]) noexcept
{
    aes_set_key(connection.channel_cipher, key, 128);
}

void reset_channel_key(DeviceConnection& connection) noexcept
{
    std::uint8_t key[16];
    std::memset(key, 0xFF, sizeof key);
    set_channel_key(connection, key);
}

void end_payload_encryption(DeviceConnection& connection) noexcept
{
    secure_wipe(connection.counter);
    secure_wipe(connection.keystream);
    connection.keystream_pos = 0;
}

bool macs_equal(const std::uint8_t* a, const std::uint8_t* b) noexcept
{
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < CHANNEL_MAC_LENGTH; ++i)
        difference |= static_cast<std::uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace vlrp11
