#pragma once
// The pictures and sounds carried inside the program, looked up by name (the file name without extension).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace mox::assets {

struct Asset {
  std::string_view name;
  std::span<const unsigned char> bytes;
  // Set when the build also carries the picture decoded: premultiplied 0xAARRGGBB pixels, rows top to bottom.
  int width = 0, height = 0;
  std::span<const std::uint32_t> pixels;
};

// Every embedded asset, sorted by name.
std::span<const Asset> all();

// The asset of that name, or nullptr when there is none.
inline const Asset* find(std::string_view name) {
  auto table = all();
  size_t lo = 0, hi = table.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (table[mid].name < name)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < table.size() && table[lo].name == name ? &table[lo] : nullptr;
}

// For a build that keeps some assets in a pack beside the program (the web page's moxsim-assets.bin): takes the
// pack's bytes, which must stay where they are for as long as the program runs, and gives every asset the table
// names without bytes its bytes in the pack. Returns how many it gave; 0 for bytes that are not such a pack (what
// a pack holds past the first damaged entry is left out).
size_t adoptPack(std::span<const unsigned char> pack);

namespace detail {
// The table, writable, where the build leaves assets to a pack; empty where it does not.
std::span<Asset> awaitingPack();
// adoptPack for the entries of `table`.
size_t adoptPack(std::span<const unsigned char> pack, std::span<Asset> table);
}  // namespace detail

}  // namespace mox::assets
