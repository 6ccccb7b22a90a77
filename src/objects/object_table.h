#pragma once

#include "vlrp11/pkcs11.h"

namespace vlrp11 {

struct DeviceConnection;
struct ObjectRecord;

// A slot's token objects and a session's own objects are each a table of 64 entries; entry i
// answers the handle whose low 15 bits are i + 1.
constexpr unsigned OBJECTS_PER_TABLE = 64;
using ObjectTable = ObjectRecord* [OBJECTS_PER_TABLE];

// Object handles keep this 32-bit encoding on every platform: bits 0..14 table index + 1, bit 15
// selects the session's own objects, bit 31 names the public view of a private key; bits 16..30
// (and any above 31) are ignored.
constexpr CK_OBJECT_HANDLE SESSION_OBJECT_BIT = 0x8000;
constexpr CK_OBJECT_HANDLE PUBLIC_VIEW_BIT = 0x80000000;

// The table index an object handle names; a zero index field gives a huge index, so one bound
// check rejects both 0 and values above the table.
constexpr unsigned object_index_of(CK_OBJECT_HANDLE handle) noexcept
{
    return static_cast<unsigned>(handle & 0x7FFF) - 1u;
}

inline bool is_public_view(CK_OBJECT_HANDLE handle) noexcept
{
    return (handle & PUBLIC_VIEW_BIT) != 0;
}

// What the object operations work on: the slot's connection and token objects, and the calling
// session's own objects (null where no session takes part).
struct ObjectContext {
    DeviceConnection* connection;
    ObjectTable* tokenObjects;
    ObjectTable* sessionObjects;
};

// The table entry a handle names, whether it holds a record or not; null when the index is out
// of range or the handle names session objects and the context has none.
ObjectRecord** object_entry(const ObjectContext& context, CK_OBJECT_HANDLE handle) noexcept;

// The record a handle names, or null (CKR_OBJECT_HANDLE_INVALID): an index outside 1..64, an
// empty entry, or bit 31 on anything but a private key whose public view still stands.
ObjectRecord* resolve_object_handle(const ObjectContext& context, CK_OBJECT_HANDLE handle) noexcept;

// A new record in the first empty entry of the slot's token objects (connection set) or the
// session's objects, and its handle. CKR_HOST_MEMORY when the table is full or memory runs out.
CK_RV allocate_token_record(const ObjectContext& context, ObjectRecord*& record, CK_OBJECT_HANDLE& handle) noexcept;
CK_RV allocate_session_record(const ObjectContext& context, ObjectRecord*& record,
                              CK_OBJECT_HANDLE& handle) noexcept;

// Places a record made by allocate_object in the first empty entry of the token objects
// (connection set) or the session's objects, and gives its handle. CKR_HOST_MEMORY, with the
// record still the caller's, when the table is full.
CK_RV insert_record(const ObjectContext& context, bool token, ObjectRecord* record, CK_OBJECT_HANDLE& handle) noexcept;

// Whether a table (null: none) has no empty entry.
bool table_full(const ObjectTable* table) noexcept;

// Frees the record a handle names and empties its entry; CKR_OBJECT_HANDLE_INVALID for a bad handle.
CK_RV release_record(const ObjectContext& context, CK_OBJECT_HANDLE handle) noexcept;

// Frees every record of a table.
void release_table(ObjectTable& table) noexcept;

}  // namespace vlrp11
