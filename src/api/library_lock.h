#pragma once

#include <cstdint>

namespace vlrp11 {

// The one library-wide mutex. Applications call the module from several threads at once (Java
// from five, NSS from four, one of them blocked in C_WaitForSlotEvent), and two sessions of a
// device share one channel keystream, so every entry that touches library state runs under it
// from before its initialised check to its return:
//
//     CK_RV C_Something(...)
//     {
//         LibraryLock lock;
//         if (!library_state().initialised) ...
//
// Functions whose header says "runs under the library lock" assume it is held and never take
// it; entry points never call one another, since the mutex is not recursive. Only C_GetInfo,
// C_GetFunctionList and the entries answering a fixed code without looking at any state go
// without it.
class LibraryLock {
public:
    LibraryLock() noexcept;
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

    // Lets other threads in while this one sleeps: releases the mutex, sleeps, takes it again.
    // Anything read before may have changed afterwards, the initialised flag included.
    void sleep_unlocked(std::uint32_t milliseconds) noexcept;
};

}  // namespace vlrp11
