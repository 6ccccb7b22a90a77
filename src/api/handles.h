#pragma once

#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

#include <cstddef>

namespace vlrp11 {

struct DeviceConnection;
struct ObjectRecord;
struct SessionRecord;
struct SlotRecord;

// Handle encodings. Slot ID: index + 1, only its low 8 bits count. Session handle: bits 0..7
// slot index + 1, bits 8..15 session index + 1, higher bits ignored. Object handles: see
// objects/object_table.h. Handles keep this 32-bit encoding on every platform.

// The table index a handle names. A zero field gives a huge index, so the bound check of the
// table rejects both 0 and values above it.
constexpr unsigned slot_index_of(CK_ULONG slotIdOrSessionHandle) noexcept
{
    return static_cast<unsigned>(slotIdOrSessionHandle & 0xFF) - 1u;
}
constexpr unsigned session_index_of(CK_SESSION_HANDLE hSession) noexcept
{
    return static_cast<unsigned>((hSession >> 8) & 0xFF) - 1u;
}

// Entry `index` of a table, or null when the index lies outside it: the bound is the table's own
// size, so no call site writes it.
template <typename T, std::size_t N>
T* entry_at(T* (&table)[N], unsigned index) noexcept
{
    return index < N ? table[index] : nullptr;
}

// resolveSlot, resolveSession and resolveObject run under the library lock, and what they yield
// stays valid only while the caller holds it.

// The occupied slot a slot ID names, or null (CKR_SLOT_ID_INVALID).
SlotRecord* resolveSlot(CK_SLOT_ID slotId) noexcept;

// Opens every call that takes a slot ID: library initialised (CKR_CRYPTOKI_NOT_INITIALIZED), then
// an occupied slot (CKR_SLOT_ID_INVALID). Sets slot only on CKR_OK.
CK_RV resolveSlotId(CK_SLOT_ID slotId, SlotRecord*& slot) noexcept;

// The handle C_OpenSession returns: slot ID + 256 × (session index + 1), from the slot ID as the
// caller passed it but for bits 8..15, which would change the session byte.
CK_SESSION_HANDLE make_session_handle(CK_SLOT_ID slotId, unsigned sessionIndex) noexcept;

struct ResolvedSession {
    unsigned slotIndex;
    SlotRecord* slot;
    DeviceConnection* connection;
    SessionRecord* session;
};

// Opens every call that takes a session handle: library initialised, slot byte, occupied slot,
// session byte, open session, in that order. Fills out only on CKR_OK.
CK_RV resolveSession(CK_SESSION_HANDLE hSession, ResolvedSession& out) noexcept;

// What the object layer works on for a session: its slot's connection and token objects and the
// session's own objects.
ObjectContext object_context(const ResolvedSession& session) noexcept;

// The record an object handle names within the session's slot, or null when the handle does
// not resolve (each call chooses its own return code for that).
ObjectRecord* resolveObject(const ResolvedSession& session, CK_OBJECT_HANDLE hObject) noexcept;

}  // namespace vlrp11
