// The chance of a chip +8's two draws, counted over every first seed.
#include <algorithm>

#include "plan/chain.h"
#include "plan/planner.h"
#include "runtime/random.h"
#include "sim/rates.h"

namespace mox::plan {

static_assert(kFirstDraw.high == kMaxThreshold && kFirstDraw.low >= 0 && kSecondDraw.low >= 0,
              "the table's thresholds run over the first draw's range");

SeedCounts countBothDraws(uint64_t begin, uint64_t end) {
  // randomInt(low, high) takes one output d (never negative) as low + d mod (high - low + 1).
  constexpr uint32_t firstRange = kFirstDraw.high - kFirstDraw.low + 1;
  constexpr uint32_t secondRange = kSecondDraw.high - kSecondDraw.low + 1;
  std::array<uint64_t, kMaxThreshold + 1> highest{};  // seeds by the higher of their two draws
  end = std::min(end, kSeeds);
  for (uint64_t s = begin; s < end; ++s) {
    const auto first = static_cast<uint32_t>(s);
    const auto second = first + Random::counterStep(first);
    const uint32_t a = kFirstDraw.low + static_cast<uint32_t>(Random::output(Random::step(first))) % firstRange;
    const uint32_t b = kSecondDraw.low + static_cast<uint32_t>(Random::output(Random::step(second))) % secondRange;
    ++highest[std::min<uint32_t>(std::max(a, b), kMaxThreshold)];
  }
  SeedCounts counts{};
  uint64_t sum = 0;
  for (size_t t = 0; t < counts.size(); ++t) counts[t] = sum += highest[t];
  return counts;
}

double bothDrawsChance(int32_t threshold) {
  if (threshold < 0) return 0;
  if (threshold >= kMaxThreshold) return 1;
  return static_cast<double>(kBothDrawsPassing[static_cast<size_t>(threshold)]) / static_cast<double>(kSeeds);
}

}  // namespace mox::plan
