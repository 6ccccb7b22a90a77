#include "device/config_file.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "device/json_parser.h"
#include "platform/environment.h"

namespace vlrp11 {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

struct JsonFree {
    void operator()(JsonValue* value) const noexcept { free_json_value(value); }
};

struct MallocFree {
    void operator()(char* text) const noexcept { std::free(text); }
};

// Truncated toward zero; the low 32 bits of the integer, as a cast to a wider integer type and
// back would give. Doubles beyond 2^64 keep their low 32 bits too (all zero there).
std::uint32_t partition_number(double number) noexcept
{
    const double truncated = std::trunc(number);
    const double low = std::fmod(truncated, 4294967296.0);  // exact, sign of truncated
    const double wrapped = low < 0 ? low + 4294967296.0 : low;
    return static_cast<std::uint32_t>(wrapped);
}

bool is_kind(const JsonValue* value, JsonKind kind) noexcept
{
    return value != nullptr && value->kind == kind;
}

}  // namespace

char* load_text_file(const char* path) noexcept
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "r"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return nullptr;
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        return nullptr;
    }
    // A stream that cannot be read (a directory reports an absurd size) fails before the
    // buffer is allocated.
    std::rewind(file.get());
    if (std::fgetc(file.get()) == EOF) {
        return nullptr;
    }
    std::rewind(file.get());
    const auto capacity = static_cast<std::size_t>(size);
    std::unique_ptr<char, MallocFree> text(static_cast<char*>(std::malloc(capacity + 1)));
    if (!text) {
        return nullptr;
    }
    const std::size_t read = std::fread(text.get(), 1, capacity, file.get());
    if (read == 0 || std::ferror(file.get())) {
        return nullptr;
    }
    text.get()[read] = '\0';
    return text.release();
}

std::vector<NetworkHsmEntry> read_network_hsm_text(const char* text) noexcept
{
    std::vector<NetworkHsmEntry> entries;
    const std::unique_ptr<JsonValue, JsonFree> root(parse_json_text(text));
    if (!is_kind(root.get(), JsonKind::array)) {
        return entries;
    }
    try {
        for (std::size_t i = 0; i < root->array.count; ++i) {
            const JsonValue* const element = root->array.items[i];
            if (element->kind != JsonKind::object) {
                continue;
            }
            const JsonValue* const address = find_json_member(*element, "address");
            const JsonValue* const partition = find_json_member(*element, "partition");
            if (is_kind(address, JsonKind::string) && is_kind(partition, JsonKind::number)) {
                entries.push_back({std::string(address->string.bytes, address->string.length),
                                   partition_number(partition->number)});
            }
        }
    } catch (const std::bad_alloc&) {
        entries.clear();
    }
    return entries;
}

std::vector<NetworkHsmEntry> read_network_hsm_list() noexcept
{
    std::string path;
    if (!read_environment(NETWORK_HSM_CONFIG_VARIABLE, path)) {
        return {};
    }
    const std::unique_ptr<char, MallocFree> text(load_text_file(path.c_str()));
    if (!text) {
        return {};
    }
    return read_network_hsm_text(text.get());
}

}  // namespace vlrp11
