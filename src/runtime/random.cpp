#include "runtime/random.h"

#include <algorithm>
#include <cstdlib>

namespace mox {

void Random::seedRandom(std::optional<uint32_t> seed) {
  if (seed) {
    state_ = *seed;
    return;
  }
  uint32_t v = ticks_() + counter_;
  counter_ += counterStep(v);
  state_ = v;
}

int32_t Random::draw() {
  state_ = step(state_);
  return output(state_);
}

int32_t Random::randomInt(int32_t low, int32_t high) {
  low = std::max(low, 0);
  high = std::max(high, 0);
  if (low > high) std::swap(low, high);
  if (low == high) return low;
  int64_t range = std::min<int64_t>(static_cast<int64_t>(high) - low, 2147483646);
  int64_t d = std::abs(draw());
  return static_cast<int32_t>(low + d % (range + 1));
}

}  // namespace mox
