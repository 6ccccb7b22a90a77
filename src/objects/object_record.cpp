#include "objects/object_record.h"

#include "objects/certificate.h"
#include "platform/wipe.h"
#include "vlrp11/pkcs11.h"

#include <cstdlib>

namespace vlrp11 {
namespace {

void release_buffer(std::uint8_t* buffer, std::uint32_t length) noexcept
{
    if (buffer == nullptr)
        return;
    secure_wipe(buffer, length);
    std::free(buffer);
}

}  // namespace

void release_object(ObjectRecord* record) noexcept
{
    if (record == nullptr)
        return;
    // A certificate's cache is its parsed record, whose name lists live on the heap.
    if (record->objectClass == CKO_CERTIFICATE && record->cache != nullptr &&
        record->cacheLength == sizeof(CertificateRecord))
        free_certificate_names(*reinterpret_cast<CertificateRecord*>(record->cache));
    release_buffer(record->value, record->valueLength);
    release_buffer(record->cache, record->cacheLength);
    secure_wipe(*record);
    std::free(record);
}

}  // namespace vlrp11
