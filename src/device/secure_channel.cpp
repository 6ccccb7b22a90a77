#include "device/secure_channel.h"

#include "device/device_connection.h"
#include "platform/wipe.h"

#include <algorithm>
#include <cstring>

namespace vlrp11 {

void channel_mac(const DeviceConnection& connection, const std::uint8_t* data, std::size_t length,
                 std::uint8_t out[CHANNEL_MAC_LENGTH]) noexcept
{
    std::uint8_t state[16] = {};
    for (std::size_t done = 0; done < length; done += 16) {
        const std::size_t n = std::min<std::size_t>(16, length - done);
        for (std::size_t i = 0; i < n; ++i)
            state[i] ^= data[done + i];
        aes_encrypt_block(connection.channel_cipher, state, state);
    }
    std::memcpy(out, state, CHANNEL_MAC_LENGTH);
    secure_wipe(state, sizeof state);
}

void channel_crypt(DeviceConnection& connection, const std::uint8_t* data, std::size_t length,
                   std::uint8_t* out) noexcept
{
    // A block of keystream at a time: the part left of the current block, then whole blocks.
    for (std::size_t done = 0; done < length;) {
        if (connection.keystream_pos == 0) {
            aes_encrypt_block(connection.channel_cipher, connection.counter, connection.keystream);
            for (int j = 15; j >= 0 && ++connection.counter[j] == 0; --j) {
            }
        }
        const std::size_t n = std::min<std::size_t>(16 - connection.keystream_pos, length - done);
        for (std::size_t i = 0; i < n; ++i)
            out[done + i] = data[done + i] ^ connection.keystream[connection.keystream_pos + i];
        done += n;
        connection.keystream_pos = (connection.keystream_pos + n) % 16;
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
