#pragma once

#include "device/connection_close.h"
#include "device/device_connection.h"

#include <cstddef>
#include <cstdint>

namespace vlrp11 {

// Room for a reader name and its NUL. A reader with a longer name is passed over.
constexpr std::size_t READER_NAME_CAPACITY = 200;

// The outcome of a PC/SC step of discovery. PCSC_SERVICE_GONE means the PC/SC service answered
// "no service" on the process's context: after pcscd restarts, pcsc-lite keeps calling the old
// context valid while every call on it answers so, and only a new context sees the readers.
enum PcscOutcome {
    PCSC_FOUND,
    PCSC_NOT_FOUND,
    PCSC_SERVICE_GONE,
};

// Whether the process has a PC/SC context that the PC/SC service calls valid.
bool pcsc_context_valid() noexcept;

// Releases the process's PC/SC context, if any, and forgets it; ensure_platform then
// establishes a new one.
void release_pcsc_context() noexcept;

// The n-th reader (from 0) whose name begins with the reader prefix of `kind` (the token or the
// PC/SC HSM), copied into `name`. Establishes the context first if there is none. The reader
// list is fetched anew on every call.
PcscOutcome find_reader(unsigned n, DeviceKind kind, char (&name)[READER_NAME_CAPACITY]) noexcept;

// Connects the card in the named reader (shared, T=1) and the device partition `instance` behind
// it as connect_pcsc does. On PCSC_FOUND `connection` is the new connection; otherwise no card
// handle is left open.
PcscOutcome connect_reader(const char* name, DeviceKind kind, std::int32_t instance,
                           ConnectionPtr& connection) noexcept;

// Whether the connection still reaches its device: the card handle's status can be read, or the
// socket has neither a pending error nor a peer that has closed it.
bool connection_alive(const DeviceConnection& connection) noexcept;

}  // namespace vlrp11
