// The commands that manage the device and the channel itself: device information, channels,
// login and logout, PINs, time and random bytes.

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>

#include "core/device_impl.h"
#include "core/little_endian.h"

namespace vlrp11::sim {

std::uint8_t key_exchange_command(CoreCall& call, std::span<const std::uint8_t> request,
                                  std::vector<std::uint8_t>& reply);

namespace {

bool counts_failures(const DeviceProfile& profile)
{
    return profile.pin_try_limit != 255;
}

bool blocked(const DeviceProfile& profile, const PinRecord& pin)
{
    return counts_failures(profile) && pin.failures >= profile.pin_try_limit;
}

Partition& partition_of(CoreCall& call)
{
    return call.device.partitions[call.channel.partition];
}

// Bytes 0-11 are what the host reads: serial, model, version, storage blocks, PIN try limit and
// the user PIN failures of the channel's partition. The rest is the device's own report.
std::uint8_t get_device_info(CoreCall& call, std::span<const std::uint8_t> request,
                             std::vector<std::uint8_t>& reply)
{
    if (!request.empty()) {
        return status::bad_length;
    }
    const DeviceProfile& profile = call.device.profile;
    const Partition& partition = partition_of(call);
    bool counted = counts_failures(profile);
    reply.assign(32, 0);
    put_le32(reply.data(), profile.serial);
    put_le32(reply.data() + 4, profile.model);
    reply[8] = profile.version;
    reply[9] = profile.storage_blocks;
    reply[10] = profile.pin_try_limit;
    reply[11] = counted ? partition.user_pin.failures : 0;
    reply[12] = counted ? partition.so_pin.failures : 0;
    reply[13] = profile.firmware_minor;
    reply[14] = profile.partition_count;
    reply[15] = static_cast<std::uint8_t>(call.channel.partition);
    reply[16] = static_cast<std::uint8_t>(call.channel.login_state);
    reply[17] = partition.user_pin.set ? 1 : 0;
    put_le32(reply.data() + 20, call.device.device_time());
    return status::ok;
}

std::uint8_t open_channel(CoreCall& call, std::span<const std::uint8_t> request,
                          std::vector<std::uint8_t>& reply)
{
    if (call.over_tcp || !call.device.pcsc()) {
        return status::unknown_command;
    }
    if (!request.empty()) {
        return status::bad_length;
    }
    auto& channels = call.device.channels;
    for (std::uint16_t number = 1; number <= call.device.profile.channel_limit; ++number) {
        if (!channels.contains(number)) {
            channels.emplace(number, ChannelState{});
            reply = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8)};
            return status::ok;
        }
    }
    return status::no_free_channel;
}

// PC/SC: the channel ends once the reply is out. TCP: the connection keeps its keys and only the
// login ends.
std::uint8_t close_channel(CoreCall& call, std::span<const std::uint8_t> request,
                           std::vector<std::uint8_t>&)
{
    if (!request.empty()) {
        return status::bad_length;
    }
    if (call.over_tcp) {
        call.after_reply = [&channel = call.channel] { channel.login_state = login_none; };
        return status::ok;
    }
    call.after_reply = [&device = call.device, number = call.channel_number] {
        device.channels.erase(number);
    };
    return status::ok;
}

// Closes every logical channel (other hosts' too): the way out when all are taken. The reply is
// the number of channels closed.
std::uint8_t reset_channels(CoreCall& call, std::span<const std::uint8_t> request,
                            std::vector<std::uint8_t>& reply)
{
    if (call.over_tcp || !call.device.pcsc()) {
        return status::unknown_command;
    }
    if (!request.empty()) {
        return status::bad_length;
    }
    std::size_t closed = call.device.channels.size() - 1;
    reply = {static_cast<std::uint8_t>(closed), static_cast<std::uint8_t>(closed >> 8)};
    call.after_reply = [&device = call.device] {
        std::erase_if(device.channels, [](const auto& entry) { return entry.first != 0; });
    };
    return status::ok;
}

std::uint8_t login(CoreCall& call, std::span<const std::uint8_t> request,
                   std::vector<std::uint8_t>& reply, int login_type)
{
    const DeviceProfile& profile = call.device.profile;
    if (call.channel.login_state != login_none) {
        return status::wrong_state;
    }
    bool may_name_partition = login_type != login_so && profile.kind != DeviceKind::token;
    if (request.size() != 16 && !(request.size() == 20 && may_name_partition)) {
        return status::bad_length;
    }
    if (request.size() == 20) {
        std::uint32_t number = get_le32(request.data() + 16);
        if (number >= profile.partition_count) {
            return status::bad_argument;
        }
        // The partition is chosen even when the PIN turns out wrong, so that the device
        // information read next shows that partition's counters.
        call.channel.partition = number;
    }
    PinRecord& pin = login_type == login_so ? partition_of(call).so_pin : partition_of(call).user_pin;
    if (!pin.set) {
        return status::pin_not_initialized;
    }
    if (blocked(profile, pin)) {
        return status::pin_blocked;
    }
    std::array<std::uint8_t, 16> expected;
    aes128_encrypt_block(pin.b, pin.a, expected);
    bool matches = CRYPTO_memcmp(expected.data(), request.data(), expected.size()) == 0;
    OPENSSL_cleanse(expected.data(), expected.size());
    if (!matches) {
        if (counts_failures(profile)) {
            ++pin.failures;
            call.pins_changed = true;
        }
        return status::wrong_pin;
    }
    if (pin.failures != 0) {
        pin.failures = 0;
        call.pins_changed = true;
    }
    std::array<std::uint8_t, 32> values;
    if (RAND_bytes(values.data(), static_cast<int>(values.size())) != 1) {
        return status::internal_error;
    }
    reply.assign(values.begin(), values.end());
    ChannelKeys next = call.channel.keys;
    aes128_encrypt_block(pin.a, std::span<const std::uint8_t, 16>(values.data(), 16), next.key);
    aes128_encrypt_block(pin.a, std::span<const std::uint8_t, 16>(values.data() + 16, 16), next.counter);
    next.keystream_pos = 0;
    OPENSSL_cleanse(values.data(), values.size());
    call.after_reply = [&channel = call.channel, next, login_type]() mutable {
        channel.keys = next;
        channel.login_state = login_type;
        OPENSSL_cleanse(&next, sizeof next);
    };
    return status::ok;
}

std::uint8_t user_login(CoreCall& call, std::span<const std::uint8_t> request,
                        std::vector<std::uint8_t>& reply)
{
    return login(call, request, reply, login_user);
}

// A token has no read-only user: it does not know the command.
std::uint8_t user_ro_login(CoreCall& call, std::span<const std::uint8_t> request,
                           std::vector<std::uint8_t>& reply)
{
    if (call.device.profile.kind == DeviceKind::token) {
        return status::unknown_command;
    }
    return login(call, request, reply, login_user_ro);
}

std::uint8_t so_login(CoreCall& call, std::span<const std::uint8_t> request,
                      std::vector<std::uint8_t>& reply)
{
    return login(call, request, reply, login_so);
}

// Logging out ends the encryption. A token whose ATR digit is 0 also returns to the all-0xFF
// key; every other device keeps the login key, counter and keystream place.
std::uint8_t logout(CoreCall& call, std::span<const std::uint8_t> request, std::vector<std::uint8_t>&)
{
    if (!request.empty()) {
        return status::bad_length;
    }
    if (call.channel.login_state == login_none) {
        return status::ok;
    }
    bool reset_key = call.device.profile.kind == DeviceKind::token && call.device.profile.atr_digit == 0;
    call.after_reply = [&channel = call.channel, reset_key] {
        channel.login_state = login_none;
        if (reset_key) {
            channel.keys.reset_to_default();
        }
    };
    return status::ok;
}

// Count 0 asks for 256 bytes: key generation needs up to 256 and the count is one byte.
std::uint8_t get_random(CoreCall&, std::span<const std::uint8_t> request,
                        std::vector<std::uint8_t>& reply)
{
    if (request.size() != 1) {
        return status::bad_length;
    }
    reply.resize(request[0] == 0 ? 256 : request[0]);
    if (RAND_bytes(reply.data(), static_cast<int>(reply.size())) != 1) {
        reply.clear();
        return status::internal_error;
    }
    return status::ok;
}

std::uint8_t store_pin(CoreCall& call, std::span<const std::uint8_t> request, PinRecord& pin)
{
    if (request.size() != 32) {
        return status::bad_length;
    }
    std::copy_n(request.begin(), 16, pin.a.begin());
    std::copy_n(request.begin() + 16, 16, pin.b.begin());
    pin.set = true;
    pin.failures = 0;
    call.pins_changed = true;
    return status::ok;
}

// The security officer sets the user PIN (and so clears its counter).
std::uint8_t init_pin(CoreCall& call, std::span<const std::uint8_t> request, std::vector<std::uint8_t>&)
{
    return store_pin(call, request, partition_of(call).user_pin);
}

// Whoever is logged in changes their own PIN; the read-only user is the user.
std::uint8_t change_pin(CoreCall& call, std::span<const std::uint8_t> request,
                        std::vector<std::uint8_t>&)
{
    Partition& partition = partition_of(call);
    return store_pin(call, request,
                     call.channel.login_state == login_so ? partition.so_pin : partition.user_pin);
}

// The security officer unblocks the user PIN: the counter returns to 0, the PIN stays.
std::uint8_t unblock_pin(CoreCall& call, std::span<const std::uint8_t> request,
                         std::vector<std::uint8_t>&)
{
    if (!request.empty()) {
        return status::bad_length;
    }
    PinRecord& pin = partition_of(call).user_pin;
    if (pin.failures != 0) {
        pin.failures = 0;
        call.pins_changed = true;
    }
    return status::ok;
}

// Tokens before version 7 have no clock. The clock is not kept across restarts: a restarted
// device runs on the host's time until it is set again.
std::uint8_t set_time(CoreCall& call, std::span<const std::uint8_t> request, std::vector<std::uint8_t>&)
{
    if (!call.device.has_key_exchange()) {
        return status::unknown_command;
    }
    if (request.size() != 4) {
        return status::bad_length;
    }
    std::int64_t wanted = get_le32(request.data());
    call.device.time_offset = 0;
    call.device.time_offset = wanted - static_cast<std::int64_t>(call.device.device_time());
    return status::ok;
}

constexpr CoreEntry commands[] = {
    {2, Access::so, false, init_pin},
    {16, Access::anyone, true, get_device_info},
    {32, Access::anyone, true, open_channel},
    {36, Access::anyone, false, close_channel},
    {38, Access::anyone, false, user_login},
    {39, Access::anyone, false, user_ro_login},
    {40, Access::anyone, false, so_login},
    {42, Access::anyone, false, logout},
    {48, Access::anyone, true, get_random},
    {64, Access::logged_in, false, change_pin},
    {104, Access::so, false, unblock_pin},
    {160, Access::anyone, true, set_time},
    {166, Access::anyone, true, reset_channels},
    {240, Access::anyone, false, key_exchange_command},
};

}  // namespace

std::span<const CoreEntry> core_commands()
{
    return commands;
}

}  // namespace vlrp11::sim
