// Switching between the two benches, the help panels and the statistics reset.
#include <array>
#include <cmath>
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/simulator.h"
#include "sim/slot_tests.h"

namespace mox {

namespace {
using enum SlotTestKind;

constexpr SlotTest kEnhanceBench[] = {
    {"晶体位0", GreaterThan, 1}, {"晶体位1", GreaterThan, 1}, {"晶体位2", GreaterThan, 1}, {"晶体位3", GreaterThan, 1},
    {"芯片位", AtLeast, 1},      {"防护位", EqualTo, 6},      {"催化位", EqualTo, 5},
};
constexpr SlotTest kSynthesisBench[] = {
    {"合成芯片位", AtLeast, 8},
    {"合成芯片位1", AtLeast, 7},
    {"合成芯片位2", AtLeast, 7},
    {"合成防护位", EqualTo, 6},
};
}  // namespace

// Gives every item the slots hold back to the stock, or none of them: when the items of one kind would take its
// count past the 32-bit limit (two crystals of a kind need room for two), nothing moves and the answer is false,
// so no item is ever left alone on a bench nobody can see.
bool Simulator::returnBench(std::span<const SlotTest> slots) {
  std::array<int64_t, 15> back{};
  for (const SlotTest& s : slots) {
    if (s.holds(slotCode(s.slot))) ++at1(back, truncToInt(slotCode(s.slot)));
  }
  for (int code = 1; code <= 15; ++code) {
    if (at1(s_.itemCount, code) + at1(back, code) > std::numeric_limits<int32_t>::max()) return false;
  }
  for (const SlotTest& s : slots) {
    if (!s.holds(slotCode(s.slot))) continue;
    addToStock(truncToInt(slotCode(s.slot)), 1);
    emptySlot(s.slot);
  }
  return true;
}

// Closes one bench and opens the other. Every item on the closing bench goes back to the stock first; if they
// cannot all go back the switch is refused with the refusal sound.
void Simulator::switchBench(bool toSynthesis) {
  if (form_.get("合成框").visible == toSynthesis) return;
  const std::span<const SlotTest> closing = toSynthesis ? std::span<const SlotTest>(kEnhanceBench) : kSynthesisBench;
  if (!returnBench(closing)) {
    playSound(kRefusalSound);
    return;
  }
  refreshAll();
  form_.setDisabled("强化显示按钮", !toSynthesis);
  form_.setDisabled("合成显示按钮", toSynthesis);
  form_.setVisible("合成框", toSynthesis);
}

void Simulator::showSynthesisView() { switchBench(true); }

void Simulator::showEnhanceView() { switchBench(false); }

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
