#include "objects/key_generate.h"

#include "crypto/byte_order.h"
#include "device/device_connection.h"
#include "device/key_commands.h"
#include "device/object_commands.h"
#include "device/status.h"
#include "objects/device_random.h"
#include "objects/directory.h"
#include "objects/key_kinds.h"
#include "objects/public_keys.h"
#include "objects/secret_keys.h"
#include "platform/clock.h"

#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::uint32_t RSA_POLL_MS = 200;
// Model 1000 makes no RSA keys, and with firmware up to 6 only EC keys.
constexpr std::uint32_t LIMITED_MODEL = 1000;
constexpr std::uint8_t LIMITED_FIRMWARE_LAST = 6;

bool model_makes(const DeviceConnection& connection, std::uint8_t kind) noexcept
{
    if (load_le32(connection.device_info + DEVICE_INFO_MODEL) != LIMITED_MODEL)
        return true;
    if (kind == KEY_KIND_RSA || kind == KEY_KIND_RSA_GENERATED)
        return false;
    return connection.device_info[DEVICE_INFO_VERSION] > LIMITED_FIRMWARE_LAST || kind == KEY_KIND_EC;
}

bool lowest_free_entry(const Directory& directory, std::uint8_t& index) noexcept
{
    for (unsigned i = 0; i < directory.count; ++i) {
        if (entry_free(directory.entries[i])) {
            index = static_cast<std::uint8_t>(i);
            return true;
        }
    }
    return false;
}

// Starts the generation and waits for the public key: an RSA key answers 63 at once and is
// read back every 200 ms while the device answers busy. A generation that was started and then
// failed is dropped again.
std::uint32_t make_key_pair(DeviceConnection& connection, std::uint8_t index, const ObjectHeader& header,
                            std::uint8_t* public_key, std::uint32_t& length) noexcept
{
    const std::uint32_t capacity = length;
    std::uint32_t status =
        generate_key(connection, index, reinterpret_cast<const std::uint8_t*>(&header), public_key, &length);
    if (status != OPERATION_STARTED || key_family(header.keyKind) != FAMILY_RSA)
        return status;
    do {
        sleep_ms(RSA_POLL_MS);
        length = capacity;
        status = read_public_key(connection, index, public_key, &length);
    } while (status == DEVICE_BUSY);
    if (status != DEVICE_OK)
        delete_object(connection, index);
    return status;
}

// A public key that does not fit the cache of its family is left to be read again on first use.
void cache_public_key(ObjectRecord& record, const std::uint8_t* public_key, std::uint32_t length) noexcept
{
    if (length == 0 || length > public_key_capacity(key_family(record.header.keyKind)))
        return;
    std::uint8_t* cache = allocate_cache(record, CACHE_PUBLIC_KEY, length);
    if (cache != nullptr)
        std::memcpy(cache, public_key, length);
}

}  // namespace

CK_RV generate_secret_key(const ObjectContext& context, std::uint32_t& deviceError, const ObjectHeader& header,
                          CK_OBJECT_HANDLE& handle) noexcept
{
    handle = 0;
    const std::uint16_t length = header_parameter(header);
    if (!secret_key_length_allowed(header.keyKind, length))
        return CKR_ATTRIBUTE_VALUE_INVALID;
    if (context.connection == nullptr)
        return CKR_DEVICE_ERROR;
    ObjectRecord* record = nullptr;
    CK_OBJECT_HANDLE made = 0;
    if (CK_RV rv = allocate_session_record(context, record, made); rv != CKR_OK)
        return rv;
    record->objectClass = CKO_SECRET_KEY;
    record->isPrivate = 1;
    record->header = header;
    record->header.secretKeyLength = static_cast<std::uint8_t>(length);
    auto* value = static_cast<std::uint8_t*>(std::calloc(1, length));
    CK_RV rv = value != nullptr ? adopt_object_value(*record, value, length) : CKR_HOST_MEMORY;
    if (rv == CKR_OK) {
        if (std::uint32_t status = device_random(*context.connection, record->value, length); status != DEVICE_OK) {
            deviceError = status;
            rv = CKR_DEVICE_ERROR;
        }
    }
    if (rv == CKR_OK)
        rv = build_key_schedule(*record);
    if (rv != CKR_OK) {
        release_record(context, made);
        return rv;
    }
    handle = made;
    return CKR_OK;
}

CK_RV generate_key_pair(const ObjectContext& context, std::uint32_t& deviceError, const ObjectHeader& header,
                        CK_OBJECT_HANDLE& privateHandle, CK_OBJECT_HANDLE& publicHandle) noexcept
{
    privateHandle = publicHandle = 0;
    if (table_full(context.tokenObjects))
        return CKR_HOST_MEMORY;
    if (context.connection == nullptr)
        return CKR_DEVICE_ERROR;
    DeviceConnection& connection = *context.connection;
    Directory directory;
    if (std::uint32_t status = read_directory(connection, directory); status != DEVICE_OK) {
        deviceError = status;
        return CKR_DEVICE_ERROR;
    }
    std::uint8_t index = 0;
    if (!lowest_free_entry(directory, index))
        return CKR_DEVICE_MEMORY;
    if (!model_makes(connection, header.keyKind))
        return CKR_KEY_TYPE_INCONSISTENT;

    std::uint8_t public_key[GENERATED_KEY_REPLY_CAPACITY];
    std::uint32_t length = sizeof public_key;
    if (std::uint32_t status = make_key_pair(connection, index, header, public_key, length); status != DEVICE_OK) {
        deviceError = status;
        return CKR_DEVICE_ERROR;
    }
    length = public_key_length(connection, length);

    ObjectRecord* record = nullptr;
    CK_OBJECT_HANDLE made = 0;
    if (CK_RV rv = allocate_token_record(context, record, made); rv != CKR_OK) {
        delete_object(connection, index);
        return rv;
    }
    record->token = 1;
    record->isPrivate = 1;
    record->objectClass = CKO_PRIVATE_KEY;
    record->deviceIndex = index;
    record->header = header;
    std::uint8_t key_info[KEY_INFO_REPLY_CAPACITY] = {};
    std::uint32_t info_length = sizeof key_info;
    if (std::uint32_t status = get_key_info(connection, index, key_info, &info_length); status != DEVICE_OK) {
        deviceError = status;
        delete_object(connection, index);
        release_record(context, made);
        return CKR_DEVICE_ERROR;
    }
    std::memcpy(&record->header, key_info, sizeof record->header);
    cache_public_key(*record, public_key, length);
    privateHandle = made;
    publicHandle = made | PUBLIC_VIEW_BIT;
    return CKR_OK;
}

}  // namespace vlrp11
