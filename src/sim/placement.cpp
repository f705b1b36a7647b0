// Moving items between the stock and the benches by clicking bag cells and slots.
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/simulator.h"

namespace mox {

void Simulator::takeFromStock(int32_t code) { --at1(s_.itemCount, code); }

void Simulator::placeFromCell(int n) {
  const int32_t k = at1(s_.cellItem, n);
  if (k < 1) return;
  if (synthesisShowing())
    placeOnSynthesisBench(k);
  else
    placeOnEnhanceBench(k);
}

int32_t Simulator::slotItem(const char* slot) const { return truncToInt(slotCode(slot)); }

bool Simulator::crystalOnBench(int32_t code) const {
  for (const char* slot : kCrystalSlots) {
    if (slotItem(slot) == code) return true;
  }
  return false;
}

void Simulator::placeInto(const char* slot, int32_t code) {
  playSound(kClickSound);
  takeFromStock(code);
  fillSlot(slot, code);
  refreshAll();
}

void Simulator::placeOnEnhanceBench(int32_t k) {
  if ((k == kChip0 || k >= kChip1) && slotItem("芯片位") < 1) {
    // Small crystals go only with chips below +7, magic crystals only with chips of +7 and above.
    if (crystalOnBench(kSmallCrystal) && k >= kChip7) return;
    if (crystalOnBench(kMagicCrystal) && k < kChip7) return;
    placeInto("芯片位", k);
    return;
  }
  if (k >= kSmallCrystal && k <= kMagicCrystal) {
    const char* freeSlot = nullptr;
    for (const char* slot : kCrystalSlots) {
      if (slotItem(slot) < 1) {
        freeSlot = slot;
        break;
      }
    }
    if (freeSlot) {
      if (crystalOnBench(kSmallCrystal) && k == kMagicCrystal) return;
      if (crystalOnBench(kMagicCrystal) && k == kSmallCrystal) return;
      const int32_t chip = slotItem("芯片位");
      if (chip >= kChip7 && k == kSmallCrystal) return;
      if (chip >= 1 && chip <= 12 && k == kMagicCrystal) return;
      placeInto(freeSlot, k);
      return;
    }
  }
  if (k == kCatalyst && slotItem("催化位") < 1) {
    placeInto("催化位", k);
    return;
  }
  if (k == kProtectant && slotItem("防护位") < 1) placeInto("防护位", k);
}

void Simulator::placeOnSynthesisBench(int32_t k) {
  if (k >= kChip1 && k <= kChip8 && (slotItem("合成芯片位1") < kChip1 || slotItem("合成芯片位2") < kChip1) &&
      slotItem("合成芯片位") < 8) {
    if (slotItem("合成芯片位1") < kChip1) {
      takeFromStock(k);
      fillSlot("合成芯片位1", k);
      playSound(kClickSound);
      refreshAll();
      return;
    }
    // Chips below +7 and chips of +7 and above never meet on the synthesis bench.
    const int32_t first = slotItem("合成芯片位1");
    if ((first < kChip7) != (k < kChip7)) {
      playSound(kRefusalSound);
      refreshAll();
      return;
    }
    takeFromStock(k);
    fillSlot("合成芯片位2", k);
    playSound(kClickSound);
    refreshAll();
    return;
  }
  if (k == kProtectant && slotItem("合成防护位") < 1) placeInto("合成防护位", k);
}

void Simulator::addToStock(int32_t code, int32_t amount) { at1(s_.itemCount, code) += amount; }

void Simulator::takeBack(std::string_view slot) {
  double t = slotCode(slot);
  if (!(t > 0)) return;
  int32_t j = truncToInt(t);
  // A count already at the 32-bit limit cannot take one more: the item stays on the bench rather than the
  // count wrapping round to a negative number.
  if (at1(s_.itemCount, j) == std::numeric_limits<int32_t>::max()) {
    playSound(kRefusalSound);
    return;
  }
  playSound(kClickSound);
  addToStock(j, 1);
  emptySlot(slot);
  refreshAll();
}

void Simulator::redrawCellLabel(int n) { form_.markDirty(at1(s_.cellLabel, n)); }

}  // namespace mox
