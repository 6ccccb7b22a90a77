// Faults of the transport between the simulator and its peer, set through the control channel.
// The device itself never sees them: it answers normally and the fault spoils the delivery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace vlrp11::sim {

// What to do with one reply. Truncation and splitting count bytes of the device's reply (the
// R-APDU on PC/SC, the reply frame on TCP).
struct ReplyPlan {
    int latency_ms = 0;
    bool drop = false;                  // close the connection instead of answering
    std::size_t truncate_to = SIZE_MAX; // send only this many bytes of the reply
    std::size_t split_at = 0;           // nonzero: send this many bytes, pause, then the rest
    bool trickle = false;               // send every byte on its own, with a pause after each
};

class TransportFaults {
public:
    // Every reply from now on waits this long first; 0 ends it.
    void set_latency(int ms);
    // Each of these spoils the next reply only.
    void truncate_next(std::size_t bytes);
    void split_next(std::size_t at);
    void trickle_next();
    void drop_next();
    // The next `answered` replies go out; the one after them is dropped.
    void drop_after(unsigned answered);
    void clear();

    // The plan for the reply about to be sent; one-shot faults are used up by it.
    ReplyPlan next_reply();

private:
    std::mutex mutex_;
    ReplyPlan pending_;
    unsigned drop_countdown_ = 0;  // replies still sent before an armed drop
};

// Time between the two parts of a split reply: long enough that a peer reading once gets only
// the first part.
inline constexpr int split_pause_ms = 50;

// Time after each byte of a trickled reply: long enough for each to leave in a segment of its own.
inline constexpr int trickle_pause_ms = 1;

// Sends one reply as planned (latency, split, trickle); truncation is the caller's, since it applies to
// the device's reply before any framing of the loopback link. False when the peer is gone.
bool deliver(int socket, std::span<const std::uint8_t> wire, const ReplyPlan& plan);
void apply_truncation(std::vector<std::uint8_t>& reply, const ReplyPlan& plan);

}  // namespace vlrp11::sim
