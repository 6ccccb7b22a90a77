#include "objects/object_table.h"

#include "objects/object_record.h"

namespace vlrp11 {
namespace {

CK_RV insert_in(ObjectTable* table, CK_OBJECT_HANDLE tableBit, ObjectRecord* record, CK_OBJECT_HANDLE& handle) noexcept
{
    if (table == nullptr)
        return CKR_HOST_MEMORY;
    for (unsigned i = 0; i < OBJECTS_PER_TABLE; ++i) {
        ObjectRecord*& entry = (*table)[i];
        if (entry != nullptr)
            continue;
        entry = record;
        handle = (i + 1) | tableBit;
        return CKR_OK;
    }
    return CKR_HOST_MEMORY;
}

CK_RV allocate_in(ObjectTable* table, CK_OBJECT_HANDLE tableBit, ObjectRecord*& record,
                  CK_OBJECT_HANDLE& handle) noexcept
{
    ObjectRecord* fresh = allocate_object();
    if (fresh == nullptr)
        return CKR_HOST_MEMORY;
    CK_RV rv = insert_in(table, tableBit, fresh, handle);
    if (rv != CKR_OK) {
        release_object(fresh);
        return rv;
    }
    record = fresh;
    return CKR_OK;
}

}  // namespace

ObjectRecord** object_entry(const ObjectContext& context, CK_OBJECT_HANDLE handle) noexcept
{
    unsigned index = object_index_of(handle);
    ObjectTable* table = (handle & SESSION_OBJECT_BIT) ? context.sessionObjects : context.tokenObjects;
    if (index >= OBJECTS_PER_TABLE || table == nullptr)
        return nullptr;
    return &(*table)[index];
}

ObjectRecord* resolve_object_handle(const ObjectContext& context, CK_OBJECT_HANDLE handle) noexcept
{
    ObjectRecord** entry = object_entry(context, handle);
    if (entry == nullptr || *entry == nullptr)
        return nullptr;
    ObjectRecord* record = *entry;
    if (is_public_view(handle) && (record->objectClass != CKO_PRIVATE_KEY || record->publicViewHidden == 1))
        return nullptr;
    return record;
}

CK_RV allocate_token_record(const ObjectContext& context, ObjectRecord*& record, CK_OBJECT_HANDLE& handle) noexcept
{
    CK_RV rv = allocate_in(context.tokenObjects, 0, record, handle);
    if (rv == CKR_OK)
        record->connection = context.connection;
    return rv;
}

CK_RV allocate_session_record(const ObjectContext& context, ObjectRecord*& record,
                              CK_OBJECT_HANDLE& handle) noexcept
{
    return allocate_in(context.sessionObjects, SESSION_OBJECT_BIT, record, handle);
}

CK_RV insert_record(const ObjectContext& context, bool token, ObjectRecord* record, CK_OBJECT_HANDLE& handle) noexcept
{
    if (!token)
        return insert_in(context.sessionObjects, SESSION_OBJECT_BIT, record, handle);
    CK_RV rv = insert_in(context.tokenObjects, 0, record, handle);
    if (rv == CKR_OK)
        record->connection = context.connection;
    return rv;
}

bool table_full(const ObjectTable* table) noexcept
{
    if (table == nullptr)
        return true;
    for (const ObjectRecord* record : *table)
        if (record == nullptr)
            return false;
    return true;
}

CK_RV release_record(const ObjectContext& context, CK_OBJECT_HANDLE handle) noexcept
{
    if (resolve_object_handle(context, handle) == nullptr)
        return CKR_OBJECT_HANDLE_INVALID;
    ObjectRecord** entry = object_entry(context, handle);
    release_object(*entry);
    *entry = nullptr;
    return CKR_OK;
}

void release_table(ObjectTable& table) noexcept
{
    for (ObjectRecord*& record : table) {
        release_object(record);
        record = nullptr;
    }
}

}  // namespace vlrp11
