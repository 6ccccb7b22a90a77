// The PKCS#1 v1.5 checks on arbitrary blocks: the constant-time decryption check against a plain
// reading of the same block, and DigestInfo matching of raw signature input. The first byte
// chooses the output capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "device/status.h"
#include "objects/sign_format.h"

namespace {

// The block read the obvious way: 00 02, at least eight non-zero bytes, 00, the message.
std::uint32_t plain_decode(const std::vector<std::uint8_t>& em, std::size_t capacity, std::size_t& message_start)
{
    std::size_t zero = 2;
    while (zero < em.size() && em[zero] != 0)
        ++zero;
    if (em[0] != 0 || em[1] != 2 || zero == em.size() || zero < 10)
        return vlrp11::DECRYPTED_BLOCK_INVALID;
    message_start = zero + 1;
    return em.size() - message_start > capacity ? vlrp11::DECRYPTED_MESSAGE_TOO_LARGE : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 12 || size > 1 + vlrp11::rsa_max_modulus_bytes)
        return 0;
    const std::vector<std::uint8_t> em(data + 1, data + size);
    const std::size_t k = em.size();
    const std::size_t capacity = data[0] * 2u;
    const std::size_t c = capacity < k - 11 ? capacity : k - 11;

    std::size_t message_start = 0;
    const std::uint32_t expected = plain_decode(em, c, message_start);
    std::vector<std::uint8_t> work = em;
    std::vector<std::uint8_t> out(c + 1, 0xA5);
    std::size_t length = capacity;
    const std::uint32_t status = vlrp11::pkcs1_v15_unpad(work.data(), k, out.data(), &length);
    if (status != expected || out[c] != 0xA5)
        std::abort();
    if (status == 0 && (length != k - message_start || std::memcmp(out.data(), em.data() + message_start, length) != 0))
        std::abort();
    if (status != 0 && length != c)
        std::abort();

    const vlrp11::HashKind kind = vlrp11::match_digest_info(em.data(), k);
    if (kind != vlrp11::HASH_NONE && vlrp11::digest_info_prefix(kind).size() >= k)
        std::abort();
    return 0;
}
