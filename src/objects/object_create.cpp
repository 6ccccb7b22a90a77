#include "objects/object_create.h"

#include "device/device_connection.h"
#include "device/key_commands.h"
#include "device/status.h"
#include "objects/certificate.h"
#include "objects/directory.h"
#include "objects/secret_keys.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

// deviceError of a token-user certificate whose private key is not on the token.
constexpr std::uint32_t CERTIFICATE_WITHOUT_KEY = 300;
constexpr std::uint8_t CATEGORY_TOKEN_USER = 1;
constexpr std::uint8_t NO_VALUE_MARK = 0xFF;  // kind and key-length bytes of a stored data object

// Directory state bytes of the files written here; a private file has low nibble 3.
constexpr std::uint8_t DATA_FILE_STATE = 0x8C;
constexpr std::uint8_t CERTIFICATE_FILE_STATE = 0xCC;
constexpr std::uint8_t PRIVATE_LOW_NIBBLE = 0x03;

// The record being made, freed with everything it holds unless it went into a table.
struct PendingRecord {
    ObjectRecord* record = allocate_object();
    ~PendingRecord() { release_object(record); }
};

bool storable_class(std::uint32_t objectClass) noexcept
{
    return objectClass == CKO_DATA || objectClass == CKO_CERTIFICATE || objectClass == CKO_SECRET_KEY;
}

bool token_has_private_key(const ObjectContext& context, const ObjectHeader& header) noexcept
{
    if (context.tokenObjects == nullptr)
        return false;
    for (const ObjectRecord* record : *context.tokenObjects)
        if (record != nullptr && record->objectClass == CKO_PRIVATE_KEY && same_object_id(record->header, header))
            return true;
    return false;
}

// A certificate's ID is its subject key identifier: taken from it when the template gave none,
// compared with it otherwise.
CK_RV settle_certificate_id(const ObjectContext& context, std::uint32_t& deviceError, ObjectRecord& record) noexcept
{
    const KeyIdentifier& subject = reinterpret_cast<const CertificateRecord*>(record.cache)->subjectKeyId;
    ObjectHeader& header = record.header;
    if (header.idLength == 0) {
        if (subject.length != 20 && subject.length != 32)
            return CKR_ATTRIBUTE_VALUE_INVALID;
        std::memcpy(header.id, subject.p, subject.length);
        header.idLength = static_cast<std::uint8_t>(subject.length);
    } else if (header.idLength != subject.length || std::memcmp(header.id, subject.p, subject.length) != 0) {
        return CKR_ATTRIBUTE_VALUE_INVALID;
    }
    if (header.flags == CATEGORY_TOKEN_USER && !token_has_private_key(context, header)) {
        deviceError = CERTIFICATE_WITHOUT_KEY;
        return CKR_DEVICE_ERROR;
    }
    return CKR_OK;
}

struct FreeEntries {
    unsigned count = 0;
    unsigned highest = 0;  // the head of a new file
    unsigned lowest = 0;   // the entry of a new key
};

FreeEntries free_entries(const Directory& directory) noexcept
{
    FreeEntries found;
    for (unsigned i = directory.count; i-- > 0;) {
        if (!entry_free(directory.entries[i]))
            continue;
        if (found.count++ == 0)
            found.highest = i;
        found.lowest = i;
    }
    return found;
}

// Writes the file (header ‖ value) as chunks of at most 2040 bytes into the entries that were
// free, from the head down.
std::uint32_t write_file(DeviceConnection& connection, const Directory& directory, std::uint8_t head,
                         std::uint8_t state, const std::uint8_t* file, std::size_t length) noexcept
{
    std::size_t written = 0;
    for (unsigned i = head + 1u; i-- > 0 && written < length;) {
        if (!entry_free(directory.entries[i]))
            continue;
        std::size_t chunk = std::min<std::size_t>(length - written, WRITE_CHUNK_MAX_BYTES);
        if (std::uint32_t status = write_object(connection, static_cast<std::uint8_t>(i), state, head, file + written, chunk);
            status != DEVICE_OK)
            return status;
        written += chunk;
    }
    return DEVICE_OK;
}

// What a failed write left behind is taken off again, as far as the device lets it.
void remove_partial_file(DeviceConnection& connection, std::uint8_t head) noexcept
{
    Directory directory;
    if (read_directory(connection, directory) == DEVICE_OK)
        delete_file(connection, directory, head);
}

CK_RV store_on_device(DeviceConnection& connection, std::uint32_t& deviceError, const Directory& directory,
                      const FreeEntries& free, ObjectRecord& record) noexcept
{
    if (record.objectClass == CKO_SECRET_KEY) {
        record.header.length[0] = record.header.length[1] = 0xFF;
        record.deviceIndex = static_cast<std::uint8_t>(free.lowest);
        std::uint32_t status = write_key(connection, record.deviceIndex, reinterpret_cast<const std::uint8_t*>(&record.header),
                                         record.value, record.valueLength);
        // The key lives only on the device from here on.
        static_cast<void>(adopt_object_value(record, nullptr, 0));
        if (status != DEVICE_OK) {
            deviceError = status;
            return CKR_DEVICE_ERROR;
        }
        return CKR_OK;
    }
    std::uint8_t state = record.objectClass == CKO_CERTIFICATE ? CERTIFICATE_FILE_STATE : DATA_FILE_STATE;
    if (record.isPrivate)
        state = static_cast<std::uint8_t>((state & 0xF0) | PRIVATE_LOW_NIBBLE);
    record.deviceIndex = static_cast<std::uint8_t>(free.highest);
    const std::size_t length = OBJECT_HEADER_BYTES + record.valueLength;
    auto* file = static_cast<std::uint8_t*>(std::malloc(length));
    if (file == nullptr)
        return CKR_HOST_MEMORY;
    std::memcpy(file, &record.header, OBJECT_HEADER_BYTES);
    std::memcpy(file + OBJECT_HEADER_BYTES, record.value, record.valueLength);
    std::uint32_t status = write_file(connection, directory, record.deviceIndex, state, file, length);
    std::free(file);
    if (status != DEVICE_OK) {
        remove_partial_file(connection, record.deviceIndex);
        return CKR_DEVICE_ERROR;
    }
    return CKR_OK;
}

// Class, header and value of the new record; a certificate is parsed, a secret key's length
// checked.
CK_RV fill_record(const ObjectContext& context, std::uint32_t& deviceError, const CreationDescriptor& descriptor,
                  ObjectRecord& record) noexcept
{
    record.objectClass = descriptor.objectClass;
    record.isPrivate = descriptor.isPrivate ? 1 : 0;
    record.token = descriptor.token ? 1 : 0;
    record.header = descriptor.header;
    if (descriptor.objectClass == CKO_SECRET_KEY) {
        if (!secret_key_length_allowed(record.header.keyKind, descriptor.valueLength))
            return CKR_ATTRIBUTE_VALUE_INVALID;
        record.header.secretKeyLength = static_cast<std::uint8_t>(descriptor.valueLength);
    } else if (record.token != 0) {
        // A file's header carries the value length the loader reads back.
        record.header.length[0] = static_cast<std::uint8_t>(descriptor.valueLength);
        record.header.length[1] = static_cast<std::uint8_t>(descriptor.valueLength >> 8);
        if (descriptor.objectClass == CKO_DATA)
            record.header.keyKind = record.header.secretKeyLength = NO_VALUE_MARK;
    }
    if (CK_RV rv = set_object_value(record, descriptor.value, descriptor.valueLength); rv != CKR_OK)
        return rv;
    if (descriptor.objectClass == CKO_CERTIFICATE)
        return settle_certificate_id(context, deviceError, record);
    return CKR_OK;
}

}  // namespace

bool same_object_id(const ObjectHeader& a, const ObjectHeader& b) noexcept
{
    std::uint8_t length = header_id_length(a);
    return length == header_id_length(b) && std::memcmp(a.id, b.id, length) == 0;
}

CK_RV create_object(const ObjectContext& context, std::uint32_t& deviceError, const CreationDescriptor& descriptor,
                    CK_OBJECT_HANDLE& handle) noexcept
{
    handle = 0;
    if (descriptor.value == nullptr || descriptor.valueLength == 0)
        return CKR_TEMPLATE_INCOMPLETE;
    if (descriptor.token && !storable_class(descriptor.objectClass))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    if (descriptor.token && context.connection == nullptr)
        return CKR_DEVICE_ERROR;
    PendingRecord pending;
    if (pending.record == nullptr)
        return CKR_HOST_MEMORY;
    ObjectRecord& record = *pending.record;
    if (CK_RV rv = fill_record(context, deviceError, descriptor, record); rv != CKR_OK)
        return rv;
    if (table_full(descriptor.token ? context.tokenObjects : context.sessionObjects))
        return CKR_HOST_MEMORY;

    Directory directory{};
    FreeEntries free;
    if (descriptor.token) {
        if (std::uint32_t status = read_directory(*context.connection, directory); status != DEVICE_OK) {
            deviceError = status;
            return CKR_DEVICE_ERROR;
        }
        free = free_entries(directory);
        if (OBJECT_HEADER_BYTES + std::uint64_t{descriptor.valueLength} > std::uint64_t{STORAGE_ENTRY_BYTES} * free.count)
            return CKR_DEVICE_MEMORY;
    } else if (descriptor.objectClass == CKO_SECRET_KEY) {
        if (CK_RV rv = build_key_schedule(record); rv != CKR_OK)
            return rv;
    }
    if (descriptor.token) {
        record.connection = context.connection;
        if (CK_RV rv = store_on_device(*context.connection, deviceError, directory, free, record); rv != CKR_OK)
            return rv;
    }
    CK_OBJECT_HANDLE placed = 0;
    if (CK_RV rv = insert_record(context, descriptor.token, pending.record, placed); rv != CKR_OK)
        return rv;
    pending.record = nullptr;
    handle = placed;
    return CKR_OK;
}

}  // namespace vlrp11
