#include "objects/attributes.h"

#include "crypto/byte_order.h"
#include "crypto/sha256.h"
#include "device/device_connection.h"
#include "objects/object_record.h"

namespace vlrp11 {

// SHA-256 over the device serial and the token byte, then what fixes the object: its directory
// index, ID and view on the device, or its creation stamp in the library.
void unique_id(const ObjectContext& context, const ObjectRecord& record, bool publicView,
               char (&out)[UNIQUE_ID_CHARS]) noexcept
{
    Sha256Context sha;
    sha256_init(sha, false);
    static constexpr std::uint8_t no_serial[4] = {};
    sha256_update(sha, context.connection != nullptr ? context.connection->device_info + DEVICE_INFO_SERIAL : no_serial,
                  4);
    sha256_update(sha, &record.token, 1);
    if (record.token != 0) {
        sha256_update(sha, &record.deviceIndex, 1);
        if (record.header.idLength <= HEADER_TEXT_BYTES)
            sha256_update(sha, record.header.id, record.header.idLength);
        std::uint8_t view = publicView ? 1 : 0;
        sha256_update(sha, &view, 1);
    } else {
        std::uint8_t stamp[16];
        store_le64(stamp, static_cast<std::uint64_t>(record.createdSeconds));
        store_le64(stamp + 8, static_cast<std::uint64_t>(record.createdNanoseconds));
        sha256_update(sha, stamp, sizeof stamp);
    }
    std::uint8_t digest[sha256_output_size];
    sha256_final(sha, digest);
    static constexpr char hex[] = "0123456789ABCDEF";
    for (unsigned i = 0; i < UNIQUE_ID_CHARS / 2; ++i) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 0x0F];
    }
}

}  // namespace vlrp11
