#pragma once
// The pictures and sounds carried inside the program, looked up by name (the file name without extension).
#include <cstddef>
#include <span>
#include <string_view>

namespace mox::assets {

struct Asset {
  std::string_view name;
  std::span<const unsigned char> bytes;
};

// Every embedded asset, sorted by name.
std::span<const Asset> all();

// The asset of that name, or nullptr when there is none.
inline const Asset* find(std::string_view name) {
  auto table = all();
  size_t lo = 0, hi = table.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (table[mid].name < name) lo = mid + 1; else hi = mid;
  }
  return lo < table.size() && table[lo].name == name ? &table[lo] : nullptr;
}

}  // namespace mox::assets
