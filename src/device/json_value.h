#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vlrp11 {

enum class JsonKind : std::uint8_t {
    null = 1,
    string = 2,
    number = 3,
    object = 4,
    array = 5,
    boolean = 6,
};

struct JsonValue;

// Text of a string value: NUL-terminated, but length counts every byte, since the escape of
// code point 0 puts NUL bytes inside.
struct JsonString {
    char* bytes;
    std::size_t length;
};

// Members in insertion order, indexed by an open-addressing table of the djb2 key hashes.
// member_capacity is table_size * 7 / 10, so 16 cells hold at most 11 members; both are 0 until
// the first member arrives.
struct JsonObject {
    char** member_names;           // owned, NUL-terminated; keys never contain NUL
    JsonValue** member_values;     // owned
    std::uint32_t* member_hashes;
    std::size_t* member_cell;      // table cell that points to each member
    std::size_t* table;            // member indexes; JSON_EMPTY_CELL marks a free cell
    std::size_t count;
    std::size_t member_capacity;
    std::size_t table_size;        // 0 or a power of two
};

// Owned elements. Capacity doubles from 16 while reading and is cut to count at the closing ].
struct JsonArray {
    JsonValue** items;
    std::size_t count;
    std::size_t capacity;
};

// A node of the tree. Allocated with malloc and owned by its container; the root is owned by
// whoever parsed it and released with free_json_value.
struct JsonValue {
    JsonKind kind;
    JsonValue* parent;  // null for the root
    union {
        JsonString string;
        double number;  // always finite
        JsonObject object;
        JsonArray array;
        int boolean;    // 1 or 0
    };
};

constexpr std::size_t JSON_EMPTY_CELL = ~static_cast<std::size_t>(0);

// djb2 over the key's bytes, stopping at a NUL byte.
std::uint32_t json_key_hash(std::string_view key) noexcept;

// A zero-filled node of the given kind inside parent (not yet linked into it); null when out of
// memory.
JsonValue* new_json_value(JsonKind kind, JsonValue* parent) noexcept;

// Frees the value and everything it owns. Nesting depth costs no stack. Null is ignored.
void free_json_value(JsonValue* value) noexcept;

// Appends item to the array value; false when out of memory (item stays the caller's).
bool append_json_item(JsonValue& array, JsonValue* item) noexcept;

// Cuts the array's storage to exactly its count.
void trim_json_array(JsonValue& array) noexcept;

// Adds a member to the object value, taking ownership of name (malloc'd, no NUL inside) and
// item. False when the key is already present or memory runs out; name and item then stay the
// caller's.
bool insert_json_member(JsonValue& object, char* name, JsonValue* item) noexcept;

// The member whose key equals name byte for byte, or null. object must be an object value.
const JsonValue* find_json_member(const JsonValue& object, std::string_view name) noexcept;

}  // namespace vlrp11
