#include "objects/object_record.h"

#include "objects/certificate.h"
#include "platform/clock.h"
#include "platform/wipe.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::uint64_t FILETIME_UNIX_EPOCH = 116444736000000000ULL;
constexpr std::uint64_t FILETIME_TICKS_PER_SECOND = 10000000;

void release_buffer(std::uint8_t* buffer, std::uint32_t length) noexcept
{
    if (buffer == nullptr)
        return;
    secure_wipe(buffer, length);
    std::free(buffer);
}

void release_certificate(ObjectRecord& record) noexcept
{
    free_certificate_names(*reinterpret_cast<CertificateRecord*>(record.cache));
}

void release_plain(ObjectRecord&) noexcept {}

// What each cache kind owns beyond its buffer, indexed by ObjectCacheKind.
using CacheRelease = void (*)(ObjectRecord&) noexcept;
constexpr CacheRelease cache_release[] = {
    release_plain,        // CACHE_NONE
    release_certificate,  // CACHE_CERTIFICATE: the name lists
    release_plain,        // CACHE_PUBLIC_KEY
    release_plain,        // CACHE_KEY_SCHEDULE
};

// The clock may answer the same tick twice (it advances every 16 ms on some systems); a session
// object's unique ID comes from its stamp, so the stamp moves on by one tick where the clock did not.
std::uint64_t next_creation_tick() noexcept
{
    static std::atomic<std::uint64_t> last{0};
    std::uint64_t now = system_time_filetime();
    std::uint64_t previous = last.load();
    std::uint64_t stamp;
    do {
        stamp = now > previous ? now : previous + 1;
    } while (!last.compare_exchange_weak(previous, stamp));
    return stamp;
}

std::uint8_t clamp_text(std::uint8_t length) noexcept
{
    return length > HEADER_TEXT_BYTES ? HEADER_TEXT_BYTES : length;
}

}  // namespace

std::uint16_t header_parameter(const ObjectHeader& header) noexcept
{
    return static_cast<std::uint16_t>(header.length[0] | header.length[1] << 8);
}

std::uint8_t header_id_length(const ObjectHeader& header) noexcept
{
    return clamp_text(header.idLength);
}

std::uint8_t header_label_length(const ObjectHeader& header) noexcept
{
    return clamp_text(header.labelLength);
}

std::uint8_t header_application_length(const ObjectHeader& header) noexcept
{
    return clamp_text(header.applicationLength);
}

ObjectRecord* allocate_object() noexcept
{
    auto* record = static_cast<ObjectRecord*>(std::calloc(1, sizeof(ObjectRecord)));
    if (record == nullptr)
        return nullptr;
    std::uint64_t unix_ticks = next_creation_tick() - FILETIME_UNIX_EPOCH;
    record->createdSeconds = static_cast<std::int64_t>(unix_ticks / FILETIME_TICKS_PER_SECOND);
    record->createdNanoseconds = static_cast<std::int64_t>(unix_ticks % FILETIME_TICKS_PER_SECOND) * 100;
    return record;
}

void release_cache(ObjectRecord& record) noexcept
{
    if (record.cache != nullptr && record.cacheKind < std::size(cache_release))
        cache_release[record.cacheKind](record);
    release_buffer(record.cache, record.cacheLength);
    record.cache = nullptr;
    record.cacheLength = 0;
    record.cacheKind = CACHE_NONE;
}

std::uint8_t* allocate_cache(ObjectRecord& record, ObjectCacheKind kind, std::uint32_t length) noexcept
{
    release_cache(record);
    auto* cache = static_cast<std::uint8_t*>(std::calloc(1, length));
    if (cache == nullptr)
        return nullptr;
    record.cache = cache;
    record.cacheLength = length;
    record.cacheKind = kind;
    return cache;
}

void release_object(ObjectRecord* record) noexcept
{
    if (record == nullptr)
        return;
    release_cache(*record);
    release_buffer(record->value, record->valueLength);
    secure_wipe(*record);
    std::free(record);
}

CK_RV rebuild_object_cache(ObjectRecord& record) noexcept
{
    release_cache(record);
    if (record.objectClass != CKO_CERTIFICATE)
        return CKR_OK;
    auto* certificate = reinterpret_cast<CertificateRecord*>(
        allocate_cache(record, CACHE_CERTIFICATE, CERTIFICATE_RECORD_SIZE));
    if (certificate == nullptr)
        return CKR_HOST_MEMORY;
    if (parse_certificate(certificate, record.value, record.valueLength) != CERT_OK) {
        // The parser freed its name nodes already; nothing is left for the certificate release.
        std::memset(certificate, 0, sizeof *certificate);
        release_cache(record);
        return CKR_ATTRIBUTE_VALUE_INVALID;
    }
    return CKR_OK;
}

CK_RV adopt_object_value(ObjectRecord& record, std::uint8_t* value, std::uint32_t length) noexcept
{
    release_cache(record);
    release_buffer(record.value, record.valueLength);
    record.value = value;
    record.valueLength = value != nullptr ? length : 0;
    return rebuild_object_cache(record);
}

CK_RV set_object_value(ObjectRecord& record, const std::uint8_t* bytes, std::uint32_t length) noexcept
{
    std::uint8_t* copy = nullptr;
    if (length != 0) {
        copy = static_cast<std::uint8_t*>(std::malloc(length));
        if (copy == nullptr)
            return CKR_HOST_MEMORY;
        std::memcpy(copy, bytes, length);
    }
    return adopt_object_value(record, copy, length);
}

}  // namespace vlrp11
