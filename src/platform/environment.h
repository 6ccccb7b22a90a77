#pragma once

#include <string>

namespace vlrp11 {

// Copies the value of the named environment variable of the process into value. False when the
// variable is not set (or cannot be copied); value is then empty.
bool read_environment(const char* name, std::string& value) noexcept;

}  // namespace vlrp11
