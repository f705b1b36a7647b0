#pragma once
// Reading and atomically replacing a small file on disk, shared by every platform.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace mox {

// True if a directory search for `pattern` (which may hold * and ? wildcards) in `dir` finds any entry.
bool dataFileExists(const std::filesystem::path& dir, const std::string& pattern);
// The whole file; nothing when it is missing, unreadable, not a regular file or larger than `limit` bytes.
std::optional<std::string> readDataFile(const std::filesystem::path& path, size_t limit);
// Writes a temporary file beside `path`, flushes it to disk and renames it over `path`. On any failure the
// temporary file is removed, the previous file is untouched and false is returned.
bool replaceDataFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace mox
