#pragma once

// Whole-file state storage that survives a kill at any moment: the new content goes to a
// temporary file beside the target, is flushed to the disk, and then replaces the target by
// rename, after which the directory itself is flushed.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vlrp11::sim {

bool write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> content,
                           std::string& error);
std::optional<std::vector<std::uint8_t>> read_whole_file(const std::filesystem::path& path);

}  // namespace vlrp11::sim
