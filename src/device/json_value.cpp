#include "device/json_value.h"

#include <cstdlib>
#include <cstring>

namespace vlrp11 {
namespace {

constexpr std::size_t MIN_STORAGE = 16;

// Resizes a malloc'd array to count elements; on failure the old block stays valid.
template <typename T>
bool resize_storage(T*& items, std::size_t count) noexcept
{
    if (count > SIZE_MAX / sizeof(T)) {
        return false;
    }
    void* const grown = std::realloc(items, count * sizeof(T));
    if (grown == nullptr) {
        return false;
    }
    items = static_cast<T*>(grown);
    return true;
}

bool same_key(const JsonObject& object, std::size_t index, std::string_view key, std::uint32_t hash) noexcept
{
    const char* const name = object.member_names[index];
    return object.member_hashes[index] == hash && std::strlen(name) == key.size() &&
           std::memcmp(name, key.data(), key.size()) == 0;
}

// Probes at most table_size cells from the hash's home cell. Returns the cell of the member with
// this key, or the first empty cell (found = false), or JSON_EMPTY_CELL when neither was met.
std::size_t probe(const JsonObject& object, std::string_view key, std::uint32_t hash, bool& found) noexcept
{
    found = false;
    const std::size_t mask = object.table_size - 1;
    for (std::size_t i = 0; i < object.table_size; ++i) {
        const std::size_t cell = (hash + i) & mask;
        const std::size_t index = object.table[cell];
        if (index == JSON_EMPTY_CELL) {
            return cell;
        }
        if (same_key(object, index, key, hash)) {
            found = true;
            return cell;
        }
    }
    return JSON_EMPTY_CELL;
}

// Rebuilds the index with twice the cells (at least 16), inserting every member again in order.
bool grow_object(JsonObject& object) noexcept
{
    const std::size_t table_size = object.table_size == 0 ? MIN_STORAGE : 2 * object.table_size;
    const std::size_t capacity = table_size * 7 / 10;
    std::size_t* table = nullptr;
    if (!resize_storage(table, table_size) || !resize_storage(object.member_names, capacity) ||
        !resize_storage(object.member_values, capacity) ||
        !resize_storage(object.member_hashes, capacity) || !resize_storage(object.member_cell, capacity)) {
        std::free(table);
        return false;
    }
    for (std::size_t cell = 0; cell < table_size; ++cell) {
        table[cell] = JSON_EMPTY_CELL;
    }
    std::free(object.table);
    object.table = table;
    object.table_size = table_size;
    object.member_capacity = capacity;
    for (std::size_t index = 0; index < object.count; ++index) {
        bool found = false;
        const std::size_t cell =
            probe(object, object.member_names[index], object.member_hashes[index], found);
        table[cell] = index;
        object.member_cell[index] = cell;
    }
    return true;
}

// Detaches the last element or member of a container (freeing a member's key), or returns null.
JsonValue* take_last_child(JsonValue& value) noexcept
{
    if (value.kind == JsonKind::array && value.array.count > 0) {
        return value.array.items[--value.array.count];
    }
    if (value.kind == JsonKind::object && value.object.count > 0) {
        JsonObject& object = value.object;
        --object.count;
        std::free(object.member_names[object.count]);
        return object.member_values[object.count];
    }
    return nullptr;
}

void free_storage(JsonValue& value) noexcept
{
    switch (value.kind) {
    case JsonKind::string:
        std::free(value.string.bytes);
        break;
    case JsonKind::array:
        std::free(value.array.items);
        break;
    case JsonKind::object:
        std::free(value.object.member_names);
        std::free(value.object.member_values);
        std::free(value.object.member_hashes);
        std::free(value.object.member_cell);
        std::free(value.object.table);
        break;
    default:
        break;
    }
}

}  // namespace

std::uint32_t json_key_hash(std::string_view key) noexcept
{
    std::uint32_t hash = 5381;
    for (const char c : key) {
        if (c == '\0') {
            break;
        }
        hash = hash * 33 + static_cast<unsigned char>(c);
    }
    return hash;
}

JsonValue* new_json_value(JsonKind kind, JsonValue* parent) noexcept
{
    auto* const value = static_cast<JsonValue*>(std::calloc(1, sizeof(JsonValue)));
    if (value != nullptr) {
        value->kind = kind;
        value->parent = parent;
    }
    return value;
}

void free_json_value(JsonValue* value) noexcept
{
    // Depth-first through the parent links instead of recursion, so that a deep tree cannot
    // exhaust the stack.
    JsonValue* node = value;
    while (node != nullptr) {
        if (JsonValue* const child = take_last_child(*node)) {
            node = child;
            continue;
        }
        JsonValue* const parent = node == value ? nullptr : node->parent;
        free_storage(*node);
        std::free(node);
        node = parent;
    }
}

bool append_json_item(JsonValue& array, JsonValue* item) noexcept
{
    JsonArray& items = array.array;
    if (items.count == items.capacity) {
        const std::size_t capacity = items.capacity == 0 ? MIN_STORAGE : 2 * items.capacity;
        if (!resize_storage(items.items, capacity)) {
            return false;
        }
        items.capacity = capacity;
    }
    items.items[items.count++] = item;
    return true;
}

void trim_json_array(JsonValue& array) noexcept
{
    JsonArray& items = array.array;
    if (items.count == items.capacity) {
        return;
    }
    if (items.count == 0) {
        std::free(items.items);
        items.items = nullptr;
        items.capacity = 0;
    } else if (resize_storage(items.items, items.count)) {
        items.capacity = items.count;
    }
}

bool insert_json_member(JsonValue& value, char* name, JsonValue* item) noexcept
{
    JsonObject& object = value.object;
    if (object.count == object.member_capacity && !grow_object(object)) {
        return false;
    }
    const std::uint32_t hash = json_key_hash(name);
    bool found = false;
    const std::size_t cell = probe(object, name, hash, found);
    if (found || cell == JSON_EMPTY_CELL) {
        return false;
    }
    const std::size_t index = object.count++;
    object.member_names[index] = name;
    object.member_values[index] = item;
    object.member_hashes[index] = hash;
    object.member_cell[index] = cell;
    object.table[cell] = index;
    return true;
}

const JsonValue* find_json_member(const JsonValue& value, std::string_view name) noexcept
{
    if (value.kind != JsonKind::object || value.object.table_size == 0) {
        return nullptr;
    }
    bool found = false;
    const std::size_t cell = probe(value.object, name, json_key_hash(name), found);
    return found ? value.object.member_values[value.object.table[cell]] : nullptr;
}

}  // namespace vlrp11
