// One reader of the driver: the link to the simulator process that plays the card in it.
// pcscd calls a reader from its polling thread and from client threads at once, so every
// operation holds the reader's lock for the whole exchange.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "socket_io.h"

namespace vlrp11::sim {

class VirtualReader {
public:
    explicit VirtualReader(Endpoint simulator);
    ~VirtualReader();
    VirtualReader(const VirtualReader&) = delete;
    VirtualReader& operator=(const VirtualReader&) = delete;

    // Connects when there is no link yet. A link that the simulator closed is dropped and
    // reported absent once, so that pcscd sees a removal before a new card appears.
    bool present();

    enum class Result { ok, absent, failed, too_small };

    // Power up or warm reset: the card answers with its ATR, which is kept for attribute reads.
    Result power_up(bool warm, std::vector<std::uint8_t>& atr);
    Result power_down();
    // The R-APDU lands in response; more bytes than its capacity is too_small.
    Result transmit(std::span<const std::uint8_t> command, std::span<std::uint8_t> response,
                    std::size_t& response_length);
    std::vector<std::uint8_t> atr();

private:
    Result exchange(std::uint8_t op, std::span<const std::uint8_t> request,
                    std::vector<std::uint8_t>& reply);
    void drop();

    const Endpoint simulator_;
    std::mutex mutex_;
    int socket_ = -1;
    bool removal_pending_ = false;
    std::vector<std::uint8_t> atr_;
};

}  // namespace vlrp11::sim
