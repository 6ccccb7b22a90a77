#pragma once

// The pieces every attribute answer is made of, shared by the class tables.
#include "objects/object_record.h"
#include "objects/object_table.h"
#include "vlrp11/pkcs11.h"

#include <cstdint>
#include <span>

namespace vlrp11 {

// One attribute request against one resolved object.
struct AttributeQuery {
    const ObjectContext& context;
    ObjectRecord& record;
    bool publicView;
};

using AttributeAnswer = CK_RV (*)(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;

// One row of an attribute table: the first row whose type matches answers.
struct AttributeRow {
    CK_ATTRIBUTE_TYPE type;
    AttributeAnswer answer;
};

// The output rule: a null pValue asks for the length, a short buffer gets the length and
// CKR_BUFFER_TOO_SMALL, otherwise the bytes are copied.
CK_RV answer_bytes(CK_ATTRIBUTE& entry, const void* bytes, CK_ULONG length) noexcept;
CK_RV answer_bool(CK_ATTRIBUTE& entry, bool value) noexcept;
CK_RV answer_ulong(CK_ATTRIBUTE& entry, CK_ULONG value) noexcept;
CK_RV answer_type_invalid(CK_ATTRIBUTE& entry) noexcept;
CK_RV answer_sensitive(CK_ATTRIBUTE& entry) noexcept;

// Fixed answers for table rows.
CK_RV always_true(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;
CK_RV always_false(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;
CK_RV always_sensitive(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;
CK_RV flag_local(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;
CK_RV never_extractable(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;

// Looks the entry's type up in rows; false when no row has it.
bool answer_from(std::span<const AttributeRow> rows, const AttributeQuery& query, CK_ATTRIBUTE& entry,
                 CK_RV& rv) noexcept;

// Tables of the classes with more than fixed rows (key_attributes.cpp, certificate_attributes.cpp).
// Each answers CKR_ATTRIBUTE_TYPE_INVALID for what it does not have.
CK_RV answer_private_key(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;
CK_RV answer_public_view(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;
CK_RV answer_certificate(const AttributeQuery& query, CK_ATTRIBUTE& entry) noexcept;

}  // namespace vlrp11
