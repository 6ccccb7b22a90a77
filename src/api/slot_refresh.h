#pragma once

namespace vlrp11 {

// Brings the slot table in step with the devices that are plugged in or reachable: replaces a
// PC/SC context that has gone bad, tears down every slot whose device no longer answers, and
// places new tokens, the four partitions of new PC/SC HSMs and the configured network HSMs, each
// in the lowest free slot with eventPending set. A device already in a slot keeps it. Reports
// nothing; a full table ends discovery quietly.
//
// Runs under the library lock, and holds it while devices answer: a busy device keeps it waiting
// in 100 ms steps, an unreachable address for the system's TCP connect time-out.
void refresh_slots() noexcept;

}  // namespace vlrp11
