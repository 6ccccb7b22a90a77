// Feeds arbitrary text to the JSON reader and the network HSM list built from it, and checks
// that every object member can be found again through the object's index.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "device/config_file.h"
#include "device/json_parser.h"

namespace {

void check_tree(const vlrp11::JsonValue* root)
{
    // Walks the tree through the parent links, as deep trees would overflow a recursive walk.
    const vlrp11::JsonValue* node = root;
    static std::size_t next_child[vlrp11::JSON_MAX_DEPTH + 2];
    std::size_t depth = 0;
    next_child[0] = 0;
    while (node != nullptr) {
        const bool is_array = node->kind == vlrp11::JsonKind::array;
        const bool is_object = node->kind == vlrp11::JsonKind::object;
        const std::size_t count = is_array ? node->array.count : is_object ? node->object.count : 0;
        if (is_object && next_child[depth] < count) {
            const char* const name = node->object.member_names[next_child[depth]];
            if (vlrp11::find_json_member(*node, std::string_view(name, std::strlen(name))) !=
                node->object.member_values[next_child[depth]]) {
                std::abort();
            }
        }
        if (next_child[depth] < count) {
            const vlrp11::JsonValue* const child = is_array ? node->array.items[next_child[depth]]
                                                            : node->object.member_values[next_child[depth]];
            ++next_child[depth];
            if (child->parent != node) {
                std::abort();
            }
            node = child;
            next_child[++depth] = 0;
            continue;
        }
        if (is_array && node->array.capacity != node->array.count) {
            std::abort();
        }
        node = node == root ? nullptr : node->parent;
        depth = depth == 0 ? 0 : depth - 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    char* const text = static_cast<char*>(std::malloc(size + 1));
    std::memcpy(text, data, size);
    text[size] = '\0';
    vlrp11::JsonValue* const root = vlrp11::parse_json_text(text);
    check_tree(root);
    const bool is_array = root != nullptr && root->kind == vlrp11::JsonKind::array;
    vlrp11::free_json_value(root);
    if (is_array) {
        (void)vlrp11::read_network_hsm_text(text);
    }
    std::free(text);
    return 0;
}
