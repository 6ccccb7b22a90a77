// The reply MAC check runs without a branch or a memory access that depends on either MAC: a
// forger who could time it would learn how many leading bytes of a guess were right. With both
// MACs marked undefined, valgrind's memcheck reports any such use; only the answer is declared
// defined again before it is looked at.

#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

#include "device/secure_channel.h"

int main()
{
    int failures = 0;
    // Equal, and differing in each one byte.
    for (int differ = -1; differ < static_cast<int>(vlrp11::CHANNEL_MAC_LENGTH); ++differ) {
        std::uint8_t expected[vlrp11::CHANNEL_MAC_LENGTH] = {0x3C, 0xA1, 0x07, 0xF2, 0x5D, 0x98};
        std::uint8_t received[vlrp11::CHANNEL_MAC_LENGTH];
        std::memcpy(received, expected, sizeof received);
        if (differ >= 0)
            received[differ] ^= 0x40;
        VALGRIND_MAKE_MEM_UNDEFINED(expected, sizeof expected);
        VALGRIND_MAKE_MEM_UNDEFINED(received, sizeof received);
        bool equal = vlrp11::macs_equal(expected, received);
        VALGRIND_MAKE_MEM_DEFINED(&equal, sizeof equal);
        if (equal != (differ < 0)) {
            std::printf("macs_equal with byte %d changed: %d\n", differ, equal);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
