#pragma once

#include "device/json_value.h"

// The lexical pieces of the JSON reader.
namespace vlrp11 {

// Turns comments into spaces in place: first every /* ... */, then every // ... up to and
// including its newline. Quotes that are not escaped toggle a string state inside which nothing
// is a comment. An unterminated comment and everything after it are left as they are.
void blank_json_comments(char* text) noexcept;

// Reads a string whose opening quote is at p and leaves p after the closing quote. The bytes are
// malloc'd into out. False on invalid text or when out of memory (out then owns nothing).
bool read_json_string(const char*& p, JsonString& out) noexcept;

// Reads a number at p (a '-' or a digit) and leaves p after it. A '-' not followed by a number
// reads as 0 and consumes nothing.
bool read_json_number(const char*& p, double& value) noexcept;

}  // namespace vlrp11
