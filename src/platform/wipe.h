#pragma once

#include <cstddef>

namespace vlrp11 {

// Overwrites n bytes at p with zeros. Unlike memset, the compiler may not drop it as a dead
// store, so it is the one way secrets (keys, PIN values, hash states) are erased.
void secure_wipe(void* p, std::size_t n) noexcept;

// Wipes a whole object in place: secure_wipe(&object, sizeof object).
template <typename T>
void secure_wipe(T& object) noexcept
{
    secure_wipe(static_cast<void*>(&object), sizeof object);
}

}  // namespace vlrp11
