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

// A secret (a byte array or a plain record) wiped when it goes out of scope, by whichever path
// the function leaves. Not copyable: a copy would be a second secret nobody wipes.
//     Wiped<std::uint8_t[32]> ab;   ab.value is the array
//     Wiped<AesKey> key;            key.value is the schedule
template <typename T>
struct Wiped {
    T value;

    Wiped() noexcept = default;
    Wiped(const Wiped&) = delete;
    Wiped& operator=(const Wiped&) = delete;
    ~Wiped() { secure_wipe(value); }
};

}  // namespace vlrp11
