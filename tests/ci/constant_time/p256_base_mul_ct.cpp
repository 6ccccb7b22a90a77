// Key generation's multiplication of G runs without a branch or a memory access that depends on
// the private scalar: with the scalar marked undefined, valgrind's memcheck reports any such use.
// The table is built before the scalar is marked; only the public key is declared defined again.

#include <valgrind/memcheck.h>

#include <cstdio>

#include "crypto/ec_p256_jacobian.h"

int main()
{
    using vlrp11::Limb;
    vlrp11::p256::base_table();
    int failures = 0;
    const Limb scalars[][4] = {
        {1, 0, 0, 0},
        {0x0123456789ABCDEF, 0xFEDCBA9876543210, 0x0F1E2D3C4B5A6978, 0x7766554433221100},
        {0xF3B9CAC2FC632550, 0xBCE6FAADA7179E84, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFF00000000},
    };
    for (const auto& scalar : scalars) {
        Limb d[4] = {scalar[0], scalar[1], scalar[2], scalar[3]};
        VALGRIND_MAKE_MEM_UNDEFINED(d, sizeof d);
        vlrp11::p256::AffinePoint q;
        vlrp11::p256::base_mul(q, d);
        VALGRIND_MAKE_MEM_DEFINED(&q, sizeof q);
        if ((q.x[0] | q.x[1] | q.x[2] | q.x[3]) == 0) {
            std::printf("base_mul gave x = 0\n");
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
