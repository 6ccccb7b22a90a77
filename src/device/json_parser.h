#pragma once

#include "device/json_value.h"

namespace vlrp11 {

// Values nest at most this deep below the root (the root is at depth 0).
constexpr int JSON_MAX_DEPTH = 2048;

// Parses the first JSON value of a NUL-terminated text. Comments (/* */ and //) are allowed,
// one trailing comma may close an array or object, and whatever follows the value is ignored.
// Returns the root, to be released with free_json_value, or null for invalid text or when out of
// memory (or a null text). The text is not modified.
JsonValue* parse_json_text(const char* text) noexcept;

}  // namespace vlrp11
