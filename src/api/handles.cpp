#include "api/handles.h"

#include "api/library_state.h"
#include "api/session_record.h"
#include "objects/object_record.h"

namespace vlrp11 {
namespace {

// Byte n of a handle minus one, as an unsigned index: a zero byte gives a huge index, so one
// range check rejects both 0 and values above the table.
unsigned index_in_byte(CK_ULONG handle, unsigned byte)
{
    return static_cast<unsigned>((handle >> (8 * byte)) & 0xFF) - 1u;
}

}  // namespace

SlotRecord* resolveSlot(CK_SLOT_ID slotId) noexcept
{
    unsigned index = index_in_byte(slotId, 0);
    if (index >= SLOT_COUNT)
        return nullptr;
    SlotRecord& slot = library_state().slots[index];
    return slot.connection != nullptr ? &slot : nullptr;
}

CK_SESSION_HANDLE make_session_handle(CK_SLOT_ID slotId, unsigned sessionIndex) noexcept
{
    return static_cast<CK_SESSION_HANDLE>(static_cast<std::uint32_t>(slotId + 256u * (sessionIndex + 1u)));
}

CK_RV resolveSession(CK_SESSION_HANDLE hSession, ResolvedSession& out) noexcept
{
    LibraryState& library = library_state();
    if (!library.initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    unsigned slotIndex = index_in_byte(hSession, 0);
    if (slotIndex >= SLOT_COUNT)
        return CKR_SESSION_HANDLE_INVALID;
    SlotRecord& slot = library.slots[slotIndex];
    if (slot.connection == nullptr)
        return CKR_SESSION_HANDLE_INVALID;
    unsigned sessionIndex = index_in_byte(hSession, 1);
    if (sessionIndex >= SESSIONS_PER_SLOT || slot.sessions[sessionIndex] == nullptr)
        return CKR_SESSION_HANDLE_INVALID;
    out = ResolvedSession{slotIndex, &slot, slot.connection, slot.sessions[sessionIndex]};
    return CKR_OK;
}

ObjectRecord* resolveObject(const ResolvedSession& session, CK_OBJECT_HANDLE hObject) noexcept
{
    unsigned index = static_cast<unsigned>(hObject & 0x7FFF) - 1u;
    if (index >= OBJECTS_PER_TABLE)
        return nullptr;
    ObjectRecord* record = (hObject & SESSION_OBJECT_BIT) ? session.session->sessionObjects[index]
                                                          : session.slot->tokenObjects[index];
    if (record == nullptr)
        return nullptr;
    bool publicView = (hObject & PUBLIC_VIEW_BIT) != 0;
    if (publicView && (record->objectClass != CKO_PRIVATE_KEY || record->publicViewHidden == 1))
        return nullptr;
    return record;
}

}  // namespace vlrp11
