// The PKCS#1 v1.5 decryption check runs without a branch or a memory access that depends on the
// decrypted block: with the block marked undefined, valgrind's memcheck reports any such use.
// Only the status and the length are declared defined again before they are looked at. Blocks
// that are well formed, malformed and too large for the output take the same path.

#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>

#include "device/status.h"
#include "objects/sign_format.h"

namespace {

struct Case {
    const char* name;
    std::size_t separator;  // index of the zero byte that ends the padding
    std::uint8_t block_type;
    std::size_t capacity;
    std::uint32_t expected;
};

}  // namespace

int main()
{
    constexpr std::size_t k = 256;
    const Case cases[] = {
        {"well formed", 100, 2, 245, 0},
        {"short message", 240, 2, 245, 0},
        {"seven padding bytes", 9, 2, 245, vlrp11::DECRYPTED_BLOCK_INVALID},
        {"block type 1", 100, 1, 245, vlrp11::DECRYPTED_BLOCK_INVALID},
        {"too large", 100, 2, 20, vlrp11::DECRYPTED_MESSAGE_TOO_LARGE},
    };
    int failures = 0;
    for (const Case& c : cases) {
        std::uint8_t em[k];
        for (std::size_t i = 0; i < k; ++i)
            em[i] = static_cast<std::uint8_t>(i * 7 + 1) | 1;
        em[0] = 0;
        em[1] = c.block_type;
        em[c.separator] = 0;
        std::uint8_t out[k];
        std::size_t length = c.capacity;
        VALGRIND_MAKE_MEM_UNDEFINED(em, sizeof em);
        std::uint32_t status = vlrp11::pkcs1_v15_unpad(em, k, out, &length);
        VALGRIND_MAKE_MEM_DEFINED(&status, sizeof status);
        VALGRIND_MAKE_MEM_DEFINED(&length, sizeof length);
        if (status != c.expected) {
            std::printf("%s: status %u, expected %u\n", c.name, status, c.expected);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
