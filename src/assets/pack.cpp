#include <cstring>
#include <optional>
#include <string_view>

#include "assets/assets.h"

namespace mox::assets {

size_t adoptPack(std::span<const unsigned char> pack) { return detail::adoptPack(pack, detail::awaitingPack()); }

size_t detail::adoptPack(std::span<const unsigned char> pack, std::span<Asset> table) {
  constexpr std::string_view kMagic = "MOXPACK1";
  if (pack.size() < kMagic.size() || std::memcmp(pack.data(), kMagic.data(), kMagic.size()) != 0) return 0;
  size_t at = kMagic.size(), adopted = 0;
  // A length, or nothing when fewer than four bytes or fewer than it says are left.
  auto length = [&pack, &at]() -> std::optional<size_t> {
    if (pack.size() - at < 4) return std::nullopt;
    const size_t n = pack[at] | pack[at + 1] << 8 | pack[at + 2] << 16 | static_cast<size_t>(pack[at + 3]) << 24;
    at += 4;
    if (pack.size() - at < n) return std::nullopt;
    return n;
  };
  while (at < pack.size()) {
    const std::optional<size_t> nameSize = length();
    if (!nameSize) break;
    const std::string_view name(reinterpret_cast<const char*>(pack.data() + at), *nameSize);
    at += *nameSize;
    const std::optional<size_t> size = length();
    if (!size) break;
    for (Asset& a : table) {
      if (a.name == name && a.bytes.empty()) {
        a.bytes = pack.subspan(at, *size);
        ++adopted;
      }
    }
    at += *size;
  }
  return adopted;
}

}  // namespace mox::assets
