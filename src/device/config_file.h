#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vlrp11 {

// Environment variable naming the JSON file that lists the network HSM partitions.
constexpr const char* NETWORK_HSM_CONFIG_VARIABLE = "VLRP11_MORVA_HSM_CONFIG";

struct NetworkHsmEntry {
    std::string address;     // as written in the file; may hold NUL bytes from \u0000
    std::uint32_t partition; // low 32 bits of the number truncated toward zero
};

// Reads a whole file in text mode into a malloc'd NUL-terminated buffer that the caller frees
// with std::free. Null when the file cannot be opened, sized or read, or reads as empty. The text
// ends at the first NUL byte for every later use.
char* load_text_file(const char* path) noexcept;

// The network HSM partitions listed in a JSON text: its root array's elements that are objects
// with a string "address" and a number "partition", in file order; anything else is skipped. Empty
// when the text is not valid JSON, the root is not an array, or memory runs out.
std::vector<NetworkHsmEntry> read_network_hsm_text(const char* text) noexcept;

// The entries of the file named by VLRP11_MORVA_HSM_CONFIG, read again on every call. Every
// failure is silent and yields a shorter (usually empty) list.
std::vector<NetworkHsmEntry> read_network_hsm_list() noexcept;

}  // namespace vlrp11
