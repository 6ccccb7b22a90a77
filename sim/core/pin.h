#pragma once

// PIN values: D0 = SHA-512(PIN), Di = SHA-512(Di-1) up to D9999; A = D bytes 0..15, B = D bytes
// 32..47. The device stores A and B and never sees a PIN.

#include <string_view>

#include "core/command.h"

namespace vlrp11::sim {

PinRecord derive_pin(std::string_view pin);

}  // namespace vlrp11::sim
