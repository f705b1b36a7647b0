// Switching between the two benches, the help panels and the statistics reset.
#include <cmath>
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/simulator.h"

namespace mox {

namespace {
constexpr double kTolerance = 0.0000001;

enum class Test { AtLeast, GreaterThan, EqualTo };

bool holds(double t, Test test, double k) {
  switch (test) {
    case Test::AtLeast: return t - k >= -kTolerance;
    case Test::GreaterThan: return t - k > kTolerance;
    case Test::EqualTo: return std::fabs(t - k) <= kTolerance;
  }
  return false;
}

struct SlotTest {
  const char* slot;
  Test test;
  double k;
};
}  // namespace

// Gives a slot's item back to the stock. A count at the 32-bit limit cannot take it: the item then stays where
// it lies instead of the count wrapping.
void Simulator::returnSlotItem(std::string_view slot) {
  const int32_t code = truncToInt(slotCode(slot));
  if (at1(s_.itemCount, code) == std::numeric_limits<int32_t>::max()) return;
  addToStock(code, 1);
  emptySlot(slot);
}

// Before a bench is closed: every item on it must fit back into the stock, or the switch is refused (with the
// refusal sound) so that no item is left lying on a hidden bench.
bool Simulator::benchFitsInStock(std::span<const char* const> slots) {
  for (const char* slot : slots) {
    const int32_t code = truncToInt(slotCode(slot));
    if (code >= 1 && code <= 15 && at1(s_.itemCount, code) == std::numeric_limits<int32_t>::max()) {
      playSound(kRefusalSound);
      return false;
    }
  }
  return true;
}

void Simulator::showSynthesisView() {
  if (form_.get("合成框").visible) return;
  static constexpr const char* kBench[] = {"晶体位0", "晶体位1", "晶体位2", "晶体位3", "芯片位", "防护位", "催化位"};
  if (!benchFitsInStock(kBench)) return;
  static constexpr SlotTest kSlots[] = {
      {"晶体位0", Test::GreaterThan, 1}, {"晶体位1", Test::GreaterThan, 1}, {"晶体位2", Test::GreaterThan, 1},
      {"晶体位3", Test::GreaterThan, 1}, {"芯片位", Test::AtLeast, 1},      {"防护位", Test::EqualTo, 6},
      {"催化位", Test::EqualTo, 5},
  };
  for (const SlotTest& s : kSlots) {
    if (holds(slotCode(s.slot), s.test, s.k)) returnSlotItem(s.slot);
  }
  refreshAll();
  form_.setDisabled("强化显示按钮", false);
  form_.setDisabled("合成显示按钮", true);
  form_.setVisible("合成框", true);
}

void Simulator::showEnhanceView() {
  if (!form_.get("合成框").visible) return;
  static constexpr const char* kBench[] = {"合成芯片位", "合成芯片位1", "合成芯片位2", "合成防护位"};
  if (!benchFitsInStock(kBench)) return;
  static constexpr SlotTest kSlots[] = {
      {"合成芯片位", Test::AtLeast, 8},
      {"合成芯片位1", Test::AtLeast, 7},
      {"合成芯片位2", Test::AtLeast, 7},
      {"合成防护位", Test::EqualTo, 6},
  };
  for (const SlotTest& s : kSlots) {
    if (holds(slotCode(s.slot), s.test, s.k)) returnSlotItem(s.slot);
  }
  refreshAll();
  form_.setDisabled("强化显示按钮", true);
  form_.setDisabled("合成显示按钮", false);
  form_.setVisible("合成框", false);
}

void Simulator::showEnhanceHelp() {
  for (const char* c : {"强化说明", "关闭说明1", "关闭说明2"}) form_.setVisible(c, true);
}

void Simulator::hideEnhanceHelp() {
  for (const char* c : {"强化说明", "关闭说明1", "关闭说明2"}) form_.setVisible(c, false);
}

void Simulator::showSynthesisHelp() { form_.setVisible("强化说明1", true); }

void Simulator::hideSynthesisHelp() { form_.setVisible("强化说明1", false); }

void Simulator::clearUsage() {
  s_.usedCount.fill(0);
  refreshAll();
}

}  // namespace mox
