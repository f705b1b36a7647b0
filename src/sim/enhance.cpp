// One enhancement attempt with what lies on the enhancement bench.
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/rates.h"
#include "sim/simulator.h"

namespace mox {

namespace {
void countUse(int32_t& counter) {
  if (counter < std::numeric_limits<int32_t>::max()) ++counter;
}
}  // namespace

void Simulator::enhanceAttempt() {
  if (hooks_.hideBanner) hooks_.hideBanner();
  const int32_t v = truncToInt(slotCode("芯片位"));

  if (s_.enhanceRate <= 0) {
    if (v >= 1 && v <= 14) {
      showResult("放入晶体");
    } else if (v == kChip9) {
      showResult("最高等级");
    } else {
      showResult("放入芯片");
    }
    playSound(kRefusalSound);
    return;
  }

  AttemptRecord record{.levelBefore = slotLevel("芯片位"),
                       .shownRate = s_.enhanceRate,
                       .catalyst = truncToInt(slotCode("催化位")),
                       .protectant = truncToInt(slotCode("防护位")),
                       .expertBonus = form_.get("选择框1").checked,
                       .labBonus = form_.get("选择框2").checked};
  for (int i = 0; i < 4; ++i) record.crystals[static_cast<size_t>(i)] = truncToInt(slotCode(kCrystalSlots[i]));

  random_.seedRandom();
  int32_t r = random_.randomInt(kFirstDraw.low, kFirstDraw.high);
  form_.setDisabled("图形按钮1", true);
  s_.enhanceRate = labRate(s_.enhanceRate, form_.get("选择框2").checked);
  const int32_t threshold = drawThreshold(s_.enhanceRate);
  record.threshold = threshold;
  record.secondDraw = form_.get("芯片位").tag == "14";
  // A chip +8 must pass a second, harder draw as well.
  if (form_.get("芯片位").tag == "14" && r <= threshold) {
    random_.seedRandom();
    r = random_.randomInt(kSecondDraw.low, kSecondDraw.high);
  }

  auto setChip = [&](int32_t code) { fillSlot("芯片位", code); };
  auto result = [&](const char* word) {
    record.outcome = word;
    showResult(word);
  };
  if (r <= threshold) {
    setChip(v == kChip0 ? kChip1 : v + 1);
    result("强化成功");
    playSound(kSuccessSound);
  } else {
    const bool protectedChip = form_.get("防护位").tag == "6";
    int32_t lowered = 0;
    if (!protectedChip && failureLowers(chipLevel(v))) lowered = v - 1;
    if (lowered) {
      result("升级失败降低");
      setChip(lowered);
    } else {
      result("升级失败没变");
    }
    playSound(kFailureSound);
  }

  record.levelAfter = slotLevel("芯片位");
  consumeAndReload();
  refreshAll();
  if (hooks_.attempted) hooks_.attempted(record);
}

int32_t Simulator::slotLevel(std::string_view slot) const { return chipLevel(truncToInt(slotCode(slot))); }

// Uses up the crystals, catalyst and protectant of an attempt, counts them, and lays the same kinds again from
// the stock where the stock still has them.
void Simulator::consumeAndReload() {
  std::string crystalTags[4];
  for (int i = 0; i < 4; ++i) crystalTags[i] = form_.get(kCrystalSlots[i]).tag;
  const std::string catalystTag = form_.get("催化位").tag;
  const std::string protectantTag = form_.get("防护位").tag;
  for (const char* slot : kCrystalSlots) emptySlot(slot);
  emptySlot("催化位");
  emptySlot("防护位");

  auto codeOf = [](const std::string& tag) { return truncToInt(toNumber(tag)); };
  auto count = [&](const std::string& tag) {
    int32_t k = codeOf(tag);
    if (k > 0) countUse(at1(s_.usedCount, k - 1));
  };
  count(catalystTag);
  count(protectantTag);
  for (const std::string& tag : crystalTags) count(tag);

  auto reload = [&](const char* slot, const std::string& tag) {
    int32_t k = codeOf(tag);
    if (k > 0 && at1(s_.itemCount, k) > 0) {
      --at1(s_.itemCount, k);
      fillSlot(slot, k);
    }
  };
  reload("催化位", catalystTag);
  reload("防护位", protectantTag);

  const std::string chipTag = form_.get("芯片位").tag;
  bool fourSmall = true;
  for (const std::string& tag : crystalTags) fourSmall = fourSmall && tag == "2";
  if (chipTag == "13" && fourSmall) return;
  const int32_t chip = truncToInt(toNumber(chipTag));
  for (int i = 0; i < 4; ++i) {
    // No rate exists for a small crystal beside a chip of +7 or more, so none is laid there; the other
    // crystals of the attempt are reloaded as usual.
    if (codeOf(crystalTags[i]) == kSmallCrystal && chip >= kChip7) continue;
    reload(kCrystalSlots[i], crystalTags[i]);
  }
}

}  // namespace mox
