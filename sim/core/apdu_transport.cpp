// PC/SC framing on the device side.
//
// Command APDU: FF, code, channel low, channel high, then Lc = n + 6 (one byte, or 00 and two
// bytes big-endian), n data bytes (encrypted when logged in), a 6-byte MAC over everything before
// it on the plaintext, and Le = reply capacity + 6 (one byte, 00 meaning 256, or two bytes).
// Response: MAC over data and status word, data (encrypted when logged in), SW1, SW2 = status.

#include <algorithm>
#include <optional>

#include <openssl/crypto.h>

#include "core/device_impl.h"

namespace vlrp11::sim {
namespace {

constexpr std::size_t max_reply_data = 2056;  // a response holds at most 2064 bytes

struct ParsedApdu {
    std::uint8_t code;
    std::uint16_t channel;
    std::size_t data_offset;
    std::size_t data_length;
    std::size_t capacity;
};

std::optional<ParsedApdu> parse_apdu(std::span<const std::uint8_t> apdu)
{
    if (apdu.size() < 12 || apdu[0] != 0xFF) {
        return std::nullopt;
    }
    ParsedApdu parsed{apdu[1], static_cast<std::uint16_t>(apdu[2] | apdu[3] << 8), 0, 0, 0};
    std::size_t lc = 0;
    std::size_t le = 0;
    if (apdu[4] != 0) {
        lc = apdu[4];
        parsed.data_offset = 5;
        if (apdu.size() != 5 + lc + 1) {
            return std::nullopt;
        }
        le = apdu.back() == 0 ? 256 : apdu.back();
    } else {
        if (apdu.size() < 15) {
            return std::nullopt;
        }
        lc = static_cast<std::size_t>(apdu[5]) << 8 | apdu[6];
        parsed.data_offset = 7;
        if (apdu.size() != 7 + lc + 2) {
            return std::nullopt;
        }
        le = static_cast<std::size_t>(apdu[apdu.size() - 2]) << 8 | apdu.back();
    }
    if (lc < 6 || le < 6) {
        return std::nullopt;
    }
    parsed.data_length = lc - 6;
    parsed.capacity = std::min(le - 6, max_reply_data);
    return parsed;
}

std::vector<std::uint8_t> build_response(ChannelKeys& keys, bool encrypt, std::uint8_t status,
                                         std::vector<std::uint8_t> data, bool corrupt_mac)
{
    data.push_back(status == 0 ? 0x90 : 0x6F);
    data.push_back(status);
    std::array<std::uint8_t, 6> mac = channel_mac(keys, data);
    if (encrypt) {
        channel_crypt(keys, std::span(data).first(data.size() - 2));
    }
    if (corrupt_mac) {
        mac[0] ^= 0x01;
    }
    std::vector<std::uint8_t> response(mac.size() + data.size());
    std::copy(mac.begin(), mac.end(), response.begin());
    std::copy(data.begin(), data.end(), response.begin() + static_cast<std::ptrdiff_t>(mac.size()));
    return response;
}

}  // namespace

std::vector<std::uint8_t> Device::transmit(std::span<const std::uint8_t> apdu)
{
    std::lock_guard lock(impl_->mutex);
    std::optional<ParsedApdu> parsed = parse_apdu(apdu);
    auto channel = parsed ? impl_->channels.find(parsed->channel) : impl_->channels.end();
    if (channel == impl_->channels.end()) {
        // Nothing to decrypt with: the answer is MACed under the all-0xFF key.
        ChannelKeys keys;
        return build_response(keys, false, parsed ? status::no_channel : status::bad_length, {}, false);
    }
    ChannelState& state = channel->second;
    bool encrypted = state.login_state != login_none;
    std::vector<std::uint8_t> frame(apdu.begin(), apdu.begin() + static_cast<std::ptrdiff_t>(
                                                                      parsed->data_offset + parsed->data_length));
    std::span<std::uint8_t> data = std::span(frame).subspan(parsed->data_offset);
    if (encrypted) {
        channel_crypt(state.keys, data);
    }
    std::array<std::uint8_t, 6> mac = channel_mac(state.keys, frame);
    if (CRYPTO_memcmp(mac.data(), apdu.data() + frame.size(), mac.size()) != 0) {
        return build_response(state.keys, encrypted, status::bad_mac, {}, false);
    }
    CommandOutcome outcome = impl_->execute(state, parsed->channel, false, parsed->code, data);
    OPENSSL_cleanse(frame.data(), frame.size());
    if (outcome.data.size() > parsed->capacity) {
        outcome = CommandOutcome{status::reply_too_long, {}, outcome.corrupt_mac, nullptr};
    }
    std::vector<std::uint8_t> response = build_response(
        state.keys, encrypted, outcome.status, std::move(outcome.data), outcome.corrupt_mac);
    if (outcome.after_reply) {
        outcome.after_reply();
    }
    return response;
}

}  // namespace vlrp11::sim
