// TCP framing on the device side.
//
// Request frame: code, n data bytes, a 6-byte MAC over code and data on the plaintext; when
// logged in the code and the data (not the MAC) are encrypted. Reply frame: status (never
// encrypted), data (encrypted when logged in), MAC over status and data on the plaintext.
// Frames carry no length, so a request is taken as whole when its trailing MAC matches.

#include <openssl/crypto.h>

#include "core/device_impl.h"

namespace vlrp11::sim {
namespace {

constexpr std::size_t max_frame = 1 + 2049 + 6;
constexpr std::size_t max_reply_data = 2049;  // a reply frame holds at most 2056 bytes

std::vector<std::uint8_t> build_reply(ChannelKeys& keys, bool encrypt, std::uint8_t status,
                                      std::vector<std::uint8_t> data, bool corrupt_mac)
{
    data.insert(data.begin(), status);
    std::array<std::uint8_t, 6> mac = channel_mac(keys, data);
    if (encrypt) {
        channel_crypt(keys, std::span(data).subspan(1));
    }
    if (corrupt_mac) {
        mac[0] ^= 0x01;
    }
    data.insert(data.end(), mac.begin(), mac.end());
    return data;
}

}  // namespace

struct TcpSession::State {
    ChannelState channel;
    std::vector<std::uint8_t> buffer;
    bool closed = false;

    // Length of the first whole frame held, or 0. The keystream is only advanced once a frame
    // is taken, so the search works on copies.
    std::size_t find_frame() const
    {
        std::vector<std::uint8_t> plain = buffer;
        if (channel.login_state != login_none) {
            ChannelKeys keys = channel.keys;
            channel_crypt(keys, plain);
        }
        auto whole_at = [&](std::size_t length) {
            std::array<std::uint8_t, 6> mac =
                channel_mac(channel.keys, std::span(plain).first(length - 6));
            return CRYPTO_memcmp(mac.data(), buffer.data() + length - 6, mac.size()) == 0;
        };
        std::size_t held = buffer.size();
        if (held >= 7 && held <= max_frame && whole_at(held)) {
            return held;
        }
        for (std::size_t length = 7; length < held && length <= max_frame; ++length) {
            if (whole_at(length)) {
                return length;
            }
        }
        OPENSSL_cleanse(plain.data(), plain.size());
        return 0;
    }
};

TcpSession::TcpSession(Device& device) : device_(device), state_(std::make_unique<State>()) {}

TcpSession::~TcpSession() = default;

std::vector<std::uint8_t> TcpSession::receive(std::span<const std::uint8_t> bytes)
{
    std::lock_guard lock(device_.impl_->mutex);
    State& state = *state_;
    state.buffer.insert(state.buffer.end(), bytes.begin(), bytes.end());
    std::vector<std::uint8_t> replies;
    while (std::size_t length = state.find_frame()) {
        ChannelState& channel = state.channel;
        bool encrypted = channel.login_state != login_none;
        std::vector<std::uint8_t> frame(state.buffer.begin(),
                                        state.buffer.begin() + static_cast<std::ptrdiff_t>(length - 6));
        state.buffer.erase(state.buffer.begin(), state.buffer.begin() + static_cast<std::ptrdiff_t>(length));
        if (encrypted) {
            channel_crypt(channel.keys, frame);
        }
        CommandOutcome outcome = device_.impl_->execute(channel, 0, true, frame[0],
                                                        std::span(frame).subspan(1));
        OPENSSL_cleanse(frame.data(), frame.size());
        if (outcome.data.size() > max_reply_data) {
            outcome = CommandOutcome{status::reply_too_long, {}, outcome.corrupt_mac, nullptr};
        }
        std::vector<std::uint8_t> reply = build_reply(channel.keys, encrypted, outcome.status,
                                                      std::move(outcome.data), outcome.corrupt_mac);
        if (outcome.after_reply) {
            outcome.after_reply();
        }
        replies.insert(replies.end(), reply.begin(), reply.end());
    }
    if (replies.empty() && state.buffer.size() > max_frame) {
        // No frame can start here any more: answer the garbage and give the connection up, since
        // request and keystream can no longer be brought back in step.
        state.closed = true;
        return flush();
    }
    return replies;
}

std::vector<std::uint8_t> TcpSession::flush()
{
    State& state = *state_;
    if (state.buffer.empty()) {
        return {};
    }
    ChannelState& channel = state.channel;
    bool encrypted = channel.login_state != login_none;
    if (encrypted && state.buffer.size() > 6) {
        // The host encrypted all but the last six bytes; stay in step with it.
        std::vector<std::uint8_t> skipped(state.buffer.size() - 6);
        channel_crypt(channel.keys, skipped);
    }
    state.buffer.clear();
    return build_reply(channel.keys, encrypted, status::bad_mac, {}, false);
}

bool TcpSession::pending() const
{
    return !state_->buffer.empty();
}

bool TcpSession::closed() const
{
    return state_->closed;
}

}  // namespace vlrp11::sim
