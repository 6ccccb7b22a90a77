#include "objects/token_objects.h"

#include "device/device_connection.h"
#include "device/object_commands.h"
#include "device/status.h"
#include "objects/directory.h"
#include "objects/key_kinds.h"
#include "objects/object_record.h"

#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::uint8_t NO_HEAD = 0xFF;
constexpr std::uint32_t CHUNK_HEADER_BYTES = 4;

bool user_logged_in(const DeviceConnection& connection) noexcept
{
    return connection.login_state == LOGGED_IN_USER || connection.login_state == LOGGED_IN_USER_RO;
}

bool already_loaded(const ObjectTable& table, unsigned index) noexcept
{
    for (const ObjectRecord* record : table)
        if (record != nullptr && record->token != 0 && record->deviceIndex == index)
            return true;
    return false;
}

void drop_private_objects(ObjectTable& table) noexcept
{
    for (ObjectRecord*& record : table) {
        if (record != nullptr && record->isPrivate != 0) {
            release_object(record);
            record = nullptr;
        }
    }
}

// One chunk of a file: the reply must hold the whole chunk its header announces, and no chunk
// is longer than a storage entry. Returns the chunk length, or -1.
long read_chunk(DeviceConnection& connection, unsigned index, std::uint8_t (&reply)[OBJECT_CHUNK_REPLY_CAPACITY]) noexcept
{
    std::uint32_t length = sizeof reply;
    if (read_object(connection, static_cast<std::uint8_t>(index), reply, &length) != DEVICE_OK || length < CHUNK_HEADER_BYTES)
        return -1;
    std::uint32_t chunk = reply[2] | reply[3] << 8;
    if (length < CHUNK_HEADER_BYTES + chunk || chunk > STORAGE_ENTRY_BYTES)
        return -1;
    return chunk;
}

bool load_key(DeviceConnection& connection, ObjectRecord& record) noexcept
{
    std::uint8_t header[KEY_INFO_REPLY_CAPACITY] = {};
    std::uint32_t length = sizeof header;
    if (get_key_info(connection, record.deviceIndex, header, &length) != DEVICE_OK)
        return false;
    std::memcpy(&record.header, header, sizeof record.header);
    record.objectClass = is_private_key_kind(record.header.keyKind) ? CKO_PRIVATE_KEY : CKO_SECRET_KEY;
    return true;
}

// A file is its head chunk (header, then the start of the value) and the chunks at lower
// indexes that name the head, in descending order.
bool load_file(DeviceConnection& connection, const DirectoryEntry (&directory)[DIRECTORY_ENTRY_COUNT],
               unsigned count, ObjectRecord& record, bool certificate) noexcept
{
    std::uint8_t reply[OBJECT_CHUNK_REPLY_CAPACITY];
    long chunk = read_chunk(connection, record.deviceIndex, reply);
    if (chunk < static_cast<long>(OBJECT_HEADER_BYTES))
        return false;
    record.objectClass = certificate ? CKO_CERTIFICATE : CKO_DATA;
    std::memcpy(&record.header, reply + CHUNK_HEADER_BYTES, OBJECT_HEADER_BYTES);
    std::uint32_t total = header_parameter(record.header);
    if (total == 0)
        return true;
    std::uint32_t have = static_cast<std::uint32_t>(chunk) - OBJECT_HEADER_BYTES;
    if (have > total)
        return false;
    auto* value = static_cast<std::uint8_t*>(std::malloc(total));
    if (value == nullptr)
        return false;
    std::memcpy(value, reply + CHUNK_HEADER_BYTES + OBJECT_HEADER_BYTES, have);
    bool failed = false;
    for (unsigned j = record.deviceIndex; j-- > 0 && !failed;) {
        if (j >= count || entry_free(directory[j]) || directory[j].head != record.deviceIndex)
            continue;
        chunk = read_chunk(connection, j, reply);
        failed = chunk < 0 || static_cast<std::uint32_t>(chunk) > total - have;
        if (!failed) {
            std::memcpy(value + have, reply + CHUNK_HEADER_BYTES, static_cast<std::size_t>(chunk));
            have += static_cast<std::uint32_t>(chunk);
        }
    }
    if (failed || have != total) {
        std::free(value);
        return false;
    }
    return adopt_object_value(record, value, total) == CKR_OK;
}

void load_entry(DeviceConnection& connection, ObjectTable& table, const DirectoryEntry (&directory)[DIRECTORY_ENTRY_COUNT],
                unsigned count, unsigned index) noexcept
{
    ObjectContext context{&connection, &table, nullptr};
    ObjectRecord* record = nullptr;
    CK_OBJECT_HANDLE handle = 0;
    if (allocate_token_record(context, record, handle) != CKR_OK)
        return;
    const DirectoryEntry& entry = directory[index];
    record->token = 1;
    record->deviceIndex = static_cast<std::uint8_t>(index);
    record->isPrivate = entry_public(entry) ? 0 : 1;
    bool loaded = entry_is_key(entry) ? load_key(connection, *record)
                                      : load_file(connection, directory, count, *record, entry_is_certificate(entry));
    if (!loaded)
        release_record(context, handle);
}

}  // namespace

CK_RV refresh_token_objects(DeviceConnection& connection, ObjectTable& tokenObjects, bool publicPass) noexcept
{
    if (connection.login_state == LOGGED_OUT || connection.login_state == LOGGED_IN_SO) {
        drop_private_objects(tokenObjects);
        if (!publicPass || connection.kind != DEVICE_TOKEN)
            return CKR_OK;
    }
    DirectoryEntry directory[DIRECTORY_ENTRY_COUNT];
    unsigned count = 0;
    if (read_directory(connection, directory, count) != DEVICE_OK)
        return CKR_DEVICE_ERROR;

    for (unsigned i = count; i-- > 0;) {
        const DirectoryEntry& entry = directory[i];
        if (entry_free(entry) || (entry_public(entry) && !publicPass) || (!entry_public(entry) && !user_logged_in(connection)))
            continue;
        // Only a head loads as an object: a chunk naming another entry is part of that entry's
        // file, and an object already in the table (loaded before a logout that failed) stays
        // as it is.
        if ((entry.head != NO_HEAD && entry.head != i) || already_loaded(tokenObjects, i))
            continue;
        load_entry(connection, tokenObjects, directory, count, i);
    }
    return CKR_OK;
}

}  // namespace vlrp11
