// Object search: C_FindObjectsInit keeps the matching handles in the session, C_FindObjects
// hands them out in order.
#include "api/entry_points.h"
#include "api/handles.h"
#include "api/library_lock.h"
#include "api/session_record.h"
#include "objects/attributes.h"
#include "objects/object_record.h"

#include <algorithm>
#include <iterator>

namespace vlrp11 {
namespace {

// Appends the handle when it matches; a full list takes no more.
void add_if_matching(const ObjectContext& context, SessionRecord& session, CK_OBJECT_HANDLE handle,
                     const CK_ATTRIBUTE* entries, CK_ULONG count) noexcept
{
    if (session.findCount < std::size(session.findResults) && match_template(context, handle, entries, count))
        session.findResults[session.findCount++] = static_cast<std::uint32_t>(handle);
}

// Every object of a table, each private key followed by its public view while that stands.
void search_table(const ObjectContext& context, SessionRecord& session, const ObjectTable& table,
                  CK_OBJECT_HANDLE tableBit, const CK_ATTRIBUTE* entries, CK_ULONG count) noexcept
{
    for (unsigned i = 0; i < OBJECTS_PER_TABLE; ++i) {
        const ObjectRecord* record = table[i];
        if (record == nullptr)
            continue;
        const CK_OBJECT_HANDLE handle = (i + 1) | tableBit;
        add_if_matching(context, session, handle, entries, count);
        if (record->objectClass == CKO_PRIVATE_KEY && record->publicViewHidden == 0)
            add_if_matching(context, session, handle | PUBLIC_VIEW_BIT, entries, count);
    }
}

}  // namespace

CK_RV C_FindObjectsInit(CK_SESSION_HANDLE hSession, CK_ATTRIBUTE_PTR pTemplate, CK_ULONG ulCount)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    // A null template with a count would be read; without one it matches everything.
    if (pTemplate == nullptr && ulCount != 0)
        return CKR_ARGUMENTS_BAD;
    SessionRecord& session = *resolved.session;
    session.findCount = 0;
    session.findCursor = 0;
    const ObjectContext context = object_context(resolved);
    search_table(context, session, resolved.slot->tokenObjects, 0, pTemplate, ulCount);
    search_table(context, session, session.sessionObjects, SESSION_OBJECT_BIT, pTemplate, ulCount);
    return CKR_OK;
}

CK_RV C_FindObjects(CK_SESSION_HANDLE hSession, CK_OBJECT_HANDLE_PTR phObject, CK_ULONG ulMaxObjectCount,
                    CK_ULONG_PTR pulObjectCount)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    if (phObject == nullptr || pulObjectCount == nullptr || ulMaxObjectCount == 0)
        return CKR_ARGUMENTS_BAD;
    SessionRecord& session = *resolved.session;
    const CK_ULONG n = std::min<CK_ULONG>(ulMaxObjectCount, session.findCount - session.findCursor);
    std::copy_n(session.findResults + session.findCursor, n, phObject);
    *pulObjectCount = n;
    session.findCursor += static_cast<std::uint32_t>(n);
    return CKR_OK;
}

CK_RV C_FindObjectsFinal(CK_SESSION_HANDLE hSession)
{
    LibraryLock lock;
    ResolvedSession resolved;
    if (CK_RV rv = resolveSession(hSession, resolved); rv != CKR_OK)
        return rv;
    resolved.session->findCount = 0;
    resolved.session->findCursor = 0;
    return CKR_OK;
}

}  // namespace vlrp11
