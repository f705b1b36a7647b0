#include "ui/bench_reading.h"

#include <algorithm>
#include <limits>

#include "ui/planner_parts.h"

namespace mox {

using planner_parts::tagCode;

int benchLevel(const Form& main) {
  if (main.get("合成框").visible) return -1;
  return chipLevel(tagCode(main, "芯片位"));
}

plan::Bonuses bonusesShown(const Form& main) { return {main.get("选择框1").checked, main.get("选择框2").checked}; }

plan::Stock heldStock(const Form& main, const Simulator& sim) {
  plan::Stock held{};
  for (int code = 1; code <= plan::kItemKinds; ++code) {
    held[static_cast<size_t>(code - 1)] = std::max(sim.itemCount(code), 0);
  }
  for (const char* slot : {"晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位", "合成芯片位1", "合成芯片位2",
                           "合成芯片位", "合成防护位"}) {
    const int32_t code = tagCode(main, slot);
    // A count at the stock's limit stays there (the bag holds at most that many of a kind anyway).
    if (code >= 1 && code <= plan::kItemKinds) {
      int32_t& n = held[static_cast<size_t>(code - 1)];
      if (n < std::numeric_limits<int32_t>::max()) ++n;
    }
  }
  return held;
}

ChipsHeld chipsHeld(const Form& main, const Simulator& sim) {
  ChipsHeld held{};
  for (int l = 0; l <= plan::kTopLevel; ++l) held[static_cast<size_t>(l)] = std::max(sim.itemCount(chipCode(l)), 0);
  for (const char* slot : {"芯片位", "合成芯片位1", "合成芯片位2", "合成芯片位"}) {
    const int l = chipLevel(tagCode(main, slot));
    if (l >= 0) ++held[static_cast<size_t>(l)];
  }
  return held;
}

}  // namespace mox
