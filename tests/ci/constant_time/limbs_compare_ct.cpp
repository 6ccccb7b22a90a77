// limbs_compare runs without a branch or a memory access that depends on its operands: with the
// operands marked undefined, valgrind's memcheck reports any such use. Only the result is
// declared defined again before it is looked at.

#include <valgrind/memcheck.h>

#include <cstdio>

#include "crypto/ec_bignum.h"

int main()
{
    using vlrp11::Limb;
    int failures = 0;
    for (std::size_t n = 1; n <= vlrp11::EC_MAX_LIMBS; ++n) {
        Limb left[vlrp11::EC_MAX_LIMBS], right[vlrp11::EC_MAX_LIMBS];
        for (std::size_t i = 0; i < n; ++i) {
            left[i] = 0x0123456789ABCDEF * (i + 1);
            right[i] = i == n / 2 ? left[i] + 1 : left[i];
        }
        VALGRIND_MAKE_MEM_UNDEFINED(left, sizeof left);
        VALGRIND_MAKE_MEM_UNDEFINED(right, sizeof right);
        int result = vlrp11::limbs_compare(left, right, n);
        VALGRIND_MAKE_MEM_DEFINED(&result, sizeof result);
        if (result != -1) {
            std::printf("limbs_compare with %zu limbs: %d, expected -1\n", n, result);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
