// Creating, destroying and reading objects. Attributes are never changed: setting succeeds only
// where the object already has the values.
#include "api/creation_template.h"
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/session_record.h"
#include "device/device_connection.h"
#include "objects/attributes.h"
#include "objects/object_create.h"
#include "objects/object_record.h"
#include "objects/directory.h"

namespace vlrp11 {
namespace {

bool read_only(const SessionRecord& session) noexcept
{
    return (session.flags & CKF_RW_SESSION) == 0;
}

// HSM objects are visible only after login, so an HSM takes no public token objects.
bool refused_on_device(const DeviceConnection& connection, const CreationDescriptor& descriptor) noexcept
{
    return connection.kind != DEVICE_TOKEN && descriptor.token && !descriptor.isPrivate;
}

// Session objects take no device storage; private and secret token keys one entry; other token
// objects their header and value in whole entries.
CK_ULONG object_size(const ObjectRecord& record) noexcept
{
    if (record.token != 1)
        return 0;
    if (record.objectClass == CKO_PRIVATE_KEY || record.objectClass == CKO_SECRET_KEY)
        return STORAGE_ENTRY_BYTES;
    return (record.valueLength + OBJECT_HEADER_BYTES + STORAGE_ENTRY_BYTES - 1) / STORAGE_ENTRY_BYTES *
           STORAGE_ENTRY_BYTES;
}

// Codes after which C_GetAttributeValue goes on with the next entry.
bool answer_goes_on(CK_RV rv) noexcept
{
    return rv == CKR_ATTRIBUTE_SENSITIVE || rv == CKR_ATTRIBUTE_TYPE_INVALID || rv == CKR_BUFFER_TOO_SMALL;
}

}  // namespace

CK_RV C_CreateObject(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount,
                     CK_OBJECT_HANDLE_PTR phObject)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pTemplate == nullptr || ulCount == 0 || phObject == nullptr)
        return CKR_ARGUMENTS_BAD;
    if (read_only(*resolved.session))
        return CKR_SESSION_READ_ONLY;
    CreationDescriptor descriptor;
    if (CK_RV rv = read_creation_template(pTemplate, ulCount, descriptor); rv != CKR_OK)
        return rv;
    if (refused_on_device(*resolved.connection, descriptor))
        return CKR_ATTRIBUTE_TYPE_INVALID;
    CK_OBJECT_HANDLE handle = 0;
    CK_RV rv = create_object(object_context(resolved), resolved.session->deviceError, descriptor, handle);
    *phObject = handle;
    return rv;
}

CK_RV C_DestroyObject(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (read_only(*resolved.session))
        return CKR_SESSION_READ_ONLY;
    return destroy_object(object_context(resolved), resolved.session->deviceError, hObject);
}

CK_RV C_GetObjectSize(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject, CK_ULONG_PTR pulSize)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pulSize == nullptr)
        return CKR_ARGUMENTS_BAD;
    const ObjectRecord* record = resolveObject(resolved, hObject);
    if (record == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    *pulSize = object_size(*record);
    return CKR_OK;
}

CK_RV C_GetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_PTR pTemplate,
                          CK_ULONG ulCount)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (pTemplate == nullptr || ulCount == 0)
        return CKR_ARGUMENTS_BAD;
    // Every entry is answered; the last refusal that lets the others go on is reported.
    CK_RV reported = CKR_OK;
    for (CK_ULONG i = 0; i < ulCount; ++i) {
        CK_RV rv = get_attribute(object_context(resolved), hObject, pTemplate[i]);
        if (answer_goes_on(rv))
            reported = rv;
        else if (rv != CKR_OK)
            return rv;
    }
    return reported;
}

CK_RV C_SetAttributeValue(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE hObject, CK_ATTRIBUTE_PTR pTemplate,
                          CK_ULONG ulCount)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (read_only(*resolved.session))
        return CKR_SESSION_READ_ONLY;
    if (pTemplate == nullptr || ulCount == 0)
        return CKR_ARGUMENTS_BAD;
    return match_template(object_context(resolved), hObject, pTemplate, ulCount) ? CKR_OK : CKR_ATTRIBUTE_READ_ONLY;
}

}  // namespace vlrp11
