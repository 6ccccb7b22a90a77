#pragma once

#include "core/device.h"
#include "server/transport_faults.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vlrp11::testing {

// A PC/SC service of simulated readers, bound as the library's PC/SC for the object's lifetime.
// It behaves as pcsc-lite with pcscd does where discovery can tell: the reader list names every
// reader, with or without a card; a handle stays usable until its card is removed; after a
// service restart, old contexts are still called valid while every call on them, and on their
// card handles, answers "no service". Thread-safe; one instance at a time.
class SimulatedReaders {
public:
    SimulatedReaders();
    ~SimulatedReaders();
    SimulatedReaders(const SimulatedReaders&) = delete;
    SimulatedReaders& operator=(const SimulatedReaders&) = delete;

    // Adds a reader, with the card of `device` inserted unless it is null; returns its index.
    // With `faults`, its replies are spoiled as the simulator's reader link spoils them: a
    // latency, a truncated R-APDU, and a drop, after which the command has taken effect, its
    // transmit answers "removed card" and the reader holds the same device as a new card.
    std::size_t add_reader(const std::string& name, sim::Device* device = nullptr,
                           sim::TransportFaults* faults = nullptr);
    // Inserts a card (null: removes the reader's card). Handles to an earlier card go stale.
    void insert(std::size_t reader, sim::Device* device);
    // pcscd restarts: contexts and handles made so far answer "no service" from now on.
    void restart_service();
    // Card connections made so far, successful or not.
    unsigned connects() const;
    // Everything that crossed the reader link so far: each command APDU, then its response.
    std::vector<std::uint8_t> traffic() const;
};

}  // namespace vlrp11::testing
