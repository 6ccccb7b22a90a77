// What a device sends into the P-256 code during the key exchange: its ephemeral public key
// (ECDH peer point) and the certificate and reply signatures with their keys. Any bytes must give
// a status, never a crash, and a shared secret only for a point on the curve.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "crypto/ec_bignum.h"
#include "crypto/ec_p256.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vlrp11;
    std::uint8_t input[64 + 32 + 64] = {};
    std::memcpy(input, data, size < sizeof input ? size : sizeof input);
    const std::uint8_t* key = input;
    const std::uint8_t* hash = input + 64;
    const std::uint8_t* signature = input + 96;

    const Limb d[P256_LIMBS] = {0x0123456789ABCDEF, 0x1122334455667788, 0x99, 0x7FFFFFFF};
    std::uint8_t secret[32];
    std::size_t length = 1;
    const std::uint8_t status = ec_shared_secret(secret, &length, d, key);
    Limb x[P256_LIMBS], y[P256_LIMBS];
    bytes_to_native(x, key, 32);
    bytes_to_native(y, key + 32, 32);
    const bool on_curve = ec_valid_point(x, y) == 0;
    if ((status == 0) != (length == 32) || (status == 0 && !on_curve))
        std::abort();

    ecdsa_verify(key, hash, signature);
    return 0;
}
