#include "device/json_parser.h"

#include <cstdlib>
#include <cstring>

#include "device/json_text.h"

namespace vlrp11 {
namespace {

// The "C" locale's isspace set, whatever locale the host application chose.
const char* skip_blanks(const char* p) noexcept
{
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') {
        ++p;
    }
    return p;
}

// The tree is built without recursion: `open` is the innermost container still being read and
// the parent links lead back out, so nesting costs heap, never stack.
struct Parser {
    const char* p;
    JsonValue* root = nullptr;
    JsonValue* open = nullptr;
    int depth = 0;            // depth of the next value to read
    char* key = nullptr;      // key read for the next member of an open object
};

char closing_bracket(const JsonValue& container) noexcept
{
    return container.kind == JsonKind::array ? ']' : '}';
}

// Reads `"key"` and the colon after it; the next value is the member's.
bool read_key(Parser& parser) noexcept
{
    if (*parser.p != '"') {
        return false;
    }
    JsonString key{};
    if (!read_json_string(parser.p, key)) {
        return false;
    }
    parser.key = key.bytes;
    parser.p = skip_blanks(parser.p);
    if (key.length != std::strlen(key.bytes) || *parser.p != ':') {
        return false;
    }
    ++parser.p;
    return true;
}

// Links a new node into the open container (or makes it the root); it is then owned by the tree.
bool attach(Parser& parser, JsonValue* node) noexcept
{
    if (parser.open == nullptr) {
        parser.root = node;
        return true;
    }
    if (parser.open->kind == JsonKind::array) {
        return append_json_item(*parser.open, node);
    }
    if (!insert_json_member(*parser.open, parser.key, node)) {
        return false;
    }
    parser.key = nullptr;
    return true;
}

bool read_literal(Parser& parser, const char* word) noexcept
{
    const std::size_t length = std::strlen(word);
    if (std::strncmp(parser.p, word, length) != 0) {
        return false;
    }
    parser.p += length;
    return true;
}

bool read_scalar(Parser& parser, JsonValue& node) noexcept
{
    switch (*parser.p) {
    case '"':
        return read_json_string(parser.p, node.string);
    case 't':
        node.boolean = 1;
        return read_literal(parser, "true");
    case 'f':
        return read_literal(parser, "false");
    case 'n':
        return read_literal(parser, "null");
    default:
        return read_json_number(parser.p, node.number);
    }
}

bool kind_of(char first, JsonKind& kind) noexcept
{
    switch (first) {
    case '"':
        kind = JsonKind::string;
        return true;
    case '{':
        kind = JsonKind::object;
        return true;
    case '[':
        kind = JsonKind::array;
        return true;
    case 't':
    case 'f':
        kind = JsonKind::boolean;
        return true;
    case 'n':
        kind = JsonKind::null;
        return true;
    default:
        kind = JsonKind::number;
        return first == '-' || (first >= '0' && first <= '9');
    }
}

// Reads one value at the current depth. An opened container that is not closed at once becomes
// the open one and its first key, if an object, is read.
bool read_value(Parser& parser) noexcept
{
    parser.p = skip_blanks(parser.p);
    JsonKind kind{};
    if (parser.depth > JSON_MAX_DEPTH || !kind_of(*parser.p, kind)) {
        return false;
    }
    JsonValue* const node = new_json_value(kind, parser.open);
    if (node == nullptr) {
        return false;
    }
    if (!attach(parser, node)) {
        free_json_value(node);
        return false;
    }
    if (kind != JsonKind::array && kind != JsonKind::object) {
        return read_scalar(parser, *node);
    }
    parser.p = skip_blanks(parser.p + 1);
    if (*parser.p == closing_bracket(*node)) {
        ++parser.p;
        return true;
    }
    parser.open = node;
    ++parser.depth;
    return kind == JsonKind::array || read_key(parser);
}

void close_open(Parser& parser) noexcept
{
    if (parser.open->kind == JsonKind::array) {
        trim_json_array(*parser.open);
    }
    parser.open = parser.open->parent;
    --parser.depth;
}

// After a complete value: a comma and the next member, or the closing bracket of the open
// container (once right after a comma too). Returns false on invalid text; `more` tells whether
// another value must be read.
bool read_separator(Parser& parser, bool& more) noexcept
{
    more = false;
    parser.p = skip_blanks(parser.p);
    const char close = closing_bracket(*parser.open);
    if (*parser.p == ',') {
        parser.p = skip_blanks(parser.p + 1);
        if (*parser.p != close) {
            more = true;
            return parser.open->kind == JsonKind::array || read_key(parser);
        }
    }
    if (*parser.p != close) {
        return false;
    }
    ++parser.p;
    close_open(parser);
    return true;
}

bool parse(Parser& parser) noexcept
{
    bool more = true;
    while (more) {
        const JsonValue* const open = parser.open;
        if (!read_value(parser)) {
            return false;
        }
        // A container just opened wants its first value; anything else a separator.
        more = parser.open != open;
        while (parser.open != nullptr && !more) {
            if (!read_separator(parser, more)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

JsonValue* parse_json_text(const char* text) noexcept
{
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t size = std::strlen(text) + 1;
    auto* const copy = static_cast<char*>(std::malloc(size));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, text, size);
    blank_json_comments(copy);
    Parser parser{copy};
    const bool parsed = parse(parser);
    std::free(parser.key);
    std::free(copy);
    if (!parsed) {
        free_json_value(parser.root);
        return nullptr;
    }
    return parser.root;
}

}  // namespace vlrp11
