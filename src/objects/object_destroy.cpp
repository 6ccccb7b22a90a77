#include "device/key_commands.h"
#include "device/status.h"
#include "objects/directory.h"
#include "objects/object_create.h"

namespace vlrp11 {
namespace {

bool is_token_key(const ObjectRecord& record) noexcept
{
    return record.objectClass == CKO_PRIVATE_KEY || record.objectClass == CKO_SECRET_KEY;
}

// Takes a token object off the device; the status of the delete that failed, or DEVICE_OK.
std::uint32_t delete_from_device(DeviceConnection& connection, const ObjectRecord& record) noexcept
{
    if (is_token_key(record))
        return delete_object(connection, record.deviceIndex);
    Directory directory;
    if (std::uint32_t status = read_directory(connection, directory); status != DEVICE_OK)
        return status;
    return delete_file(connection, directory, record.deviceIndex);
}

CK_RV destroy_record(const ObjectContext& context, std::uint32_t& deviceError, CK_OBJECT_HANDLE handle,
                     ObjectRecord& record) noexcept
{
    if (record.token != 0) {
        if (record.connection == nullptr)
            return CKR_DEVICE_ERROR;
        if (std::uint32_t status = delete_from_device(*record.connection, record); status != DEVICE_OK) {
            deviceError = status;
            return CKR_DEVICE_ERROR;
        }
    }
    return release_record(context, handle);
}

}  // namespace

CK_RV destroy_object(const ObjectContext& context, std::uint32_t& deviceError, CK_OBJECT_HANDLE handle) noexcept
{
    ObjectRecord* record = resolve_object_handle(context, handle);
    if (record == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    if (is_public_view(handle)) {
        // The public key is part of the private key's record: only the view goes.
        record->publicViewHidden = 1;
        return CKR_OK;
    }
    const bool token_private_key = record->token != 0 && record->objectClass == CKO_PRIVATE_KEY;
    const ObjectHeader key_header = record->header;
    if (CK_RV rv = destroy_record(context, deviceError, handle, *record); rv != CKR_OK)
        return rv;
    if (!token_private_key || context.tokenObjects == nullptr)
        return CKR_OK;
    // The key's certificates go with it; whether each goes does not change the answer.
    for (unsigned i = 0; i < OBJECTS_PER_TABLE; ++i) {
        ObjectRecord* certificate = (*context.tokenObjects)[i];
        if (certificate != nullptr && certificate->objectClass == CKO_CERTIFICATE &&
            same_object_id(certificate->header, key_header)) {
            std::uint32_t ignored = 0;
            static_cast<void>(destroy_record(context, ignored, i + 1, *certificate));
        }
    }
    return CKR_OK;
}

}  // namespace vlrp11
