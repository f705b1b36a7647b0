// Moving items between the stock and the benches by clicking bag cells and slots.
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/simulator.h"

namespace mox {

void Simulator::takeFromStock(int32_t code) { --at1(s_.itemCount, code); }

void Simulator::placeFromCell(int n) {
  const int k = at1(s_.cellItem, n);
  auto code = [&](const char* slot) { return truncToInt(slotCode(slot)); };
  auto anyCrystal = [&](int wanted) {
    for (const char* slot : kCrystalSlots) {
      if (code(slot) == wanted) return true;
    }
    return false;
  };
  const bool synthesis = synthesisShowing();
  auto place = [&](const char* slot) {
    playSound(kClickSound);
    takeFromStock(k);
    fillSlot(slot, k);
    refreshAll();
  };

  if (k < 1) return;

  if ((k == kChip0 || k >= kChip1) && code("芯片位") < 1 && !synthesis) {
    // Small crystals go only with chips below +7, magic crystals only with chips of +7 and above.
    if (anyCrystal(kSmallCrystal) && k >= kChip7) return;
    if (anyCrystal(kMagicCrystal) && k < kChip7) return;
    place("芯片位");
    return;
  }

  if (k >= kSmallCrystal && k <= kMagicCrystal && !synthesis) {
    const char* freeSlot = nullptr;
    for (const char* slot : kCrystalSlots) {
      if (code(slot) < 1) {
        freeSlot = slot;
        break;
      }
    }
    if (freeSlot) {
      if (anyCrystal(kSmallCrystal) && k == kMagicCrystal) return;
      if (anyCrystal(kMagicCrystal) && k == kSmallCrystal) return;
      int chip = code("芯片位");
      if (chip >= kChip7 && k == kSmallCrystal) return;
      if (chip >= 1 && chip <= 12 && k == kMagicCrystal) return;
      place(freeSlot);
      return;
    }
  }

  if (k == kCatalyst && code("催化位") < 1 && !synthesis) {
    place("催化位");
    return;
  }

  if (k == kProtectant && code("防护位") < 1 && !synthesis) {
    place("防护位");
    return;
  }

  if (k >= kChip1 && k <= kChip8 && synthesis && (code("合成芯片位1") < kChip1 || code("合成芯片位2") < kChip1) &&
      code("合成芯片位") < 8) {
    if (code("合成芯片位1") < kChip1) {
      takeFromStock(k);
      fillSlot("合成芯片位1", k);
      playSound(kClickSound);
      refreshAll();
      return;
    }
    // Chips below +7 and chips of +7 and above never meet on the synthesis bench.
    int first = code("合成芯片位1");
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

  if (k == kProtectant && code("合成防护位") < 1 && synthesis) {
    place("合成防护位");
    return;
  }
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
