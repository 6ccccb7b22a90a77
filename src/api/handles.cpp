#include "api/handles.h"

#include "api/library_state.h"
#include "api/session_record.h"

#include <iterator>

namespace vlrp11 {
namespace {

// The slot record a handle's slot byte names, occupied or not; null outside the table.
SlotRecord* slot_named(CK_ULONG handle)
{
    SlotRecord (&slots)[SLOT_COUNT] = library_state().slots;
    unsigned index = slot_index_of(handle);
    return index < std::size(slots) ? &slots[index] : nullptr;
}

}  // namespace

SlotRecord* resolveSlot(CK_SLOT_ID slotId) noexcept
{
    SlotRecord* slot = slot_named(slotId);
    return slot != nullptr && slot->connection != nullptr ? slot : nullptr;
}

CK_RV resolveSlotId(CK_SLOT_ID slotId, SlotRecord*& slot) noexcept
{
    if (!library_state().initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    SlotRecord* named = resolveSlot(slotId);
    if (named == nullptr)
        return CKR_SLOT_ID_INVALID;
    slot = named;
    return CKR_OK;
}

CK_SESSION_HANDLE make_session_handle(CK_SLOT_ID slotId, unsigned sessionIndex) noexcept
{
    // Bits 8..15 of the slot ID would add to the session byte and name another session.
    CK_SLOT_ID slotBits = slotId & ~CK_SLOT_ID{0xFF00};
    return static_cast<CK_SESSION_HANDLE>(static_cast<std::uint32_t>(slotBits + 256u * (sessionIndex + 1u)));
}

CK_RV resolveSession(CK_SESSION_HANDLE hSession, ResolvedSession& out) noexcept
{
    if (!library_state().initialised)
        return CKR_CRYPTOKI_NOT_INITIALIZED;
    SlotRecord* slot = resolveSlot(hSession);
    if (slot == nullptr)
        return CKR_SESSION_HANDLE_INVALID;
    SessionRecord* session = entry_at(slot->sessions, session_index_of(hSession));
    if (session == nullptr)
        return CKR_SESSION_HANDLE_INVALID;
    out = ResolvedSession{slot_index_of(hSession), slot, slot->connection, session};
    return CKR_OK;
}

ObjectContext object_context(const ResolvedSession& session) noexcept
{
    return ObjectContext{session.connection, &session.slot->tokenObjects, &session.session->sessionObjects};
}

ObjectRecord* resolveObject(const ResolvedSession& session, CK_OBJECT_HANDLE hObject) noexcept
{
    return resolve_object_handle(object_context(session), hObject);
}

}  // namespace vlrp11
