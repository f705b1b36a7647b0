#include "store/saved_stock.h"

#include <cmath>
#include <limits>

#include "runtime/value.h"
#include "store/cipher.h"

namespace mox {

std::optional<std::array<int32_t, 15>> savedStock(std::string_view scrambled, Platform& platform) {
  const TextArray pieces = splitText(unscrambleText(scrambled, "", platform), "|");
  if (pieces.size() < 15) return std::nullopt;
  std::array<int32_t, 15> counts{};
  for (size_t k = 0; k < 15; ++k) {
    const double value = std::trunc(toNumber(pieces[k]));
    // A count that does not fit in 32 bits is not one this program wrote: the file is foreign.
    if (!(value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max())) {
      return std::nullopt;
    }
    counts[k] = static_cast<int32_t>(value);
  }
  return counts;
}

}  // namespace mox
