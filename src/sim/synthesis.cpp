// One synthesis attempt: two chips fused into one of a higher level.
#include <algorithm>
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/rates.h"
#include "sim/simulator.h"

namespace mox {

void Simulator::synthesize() {
  if (hooks_.hideBanner) hooks_.hideBanner();
  auto code = [&](const char* slot) { return truncToInt(slotCode(slot)); };

  if (s_.synthesisRate <= 0) {
    if (code("合成芯片位1") < kChip1 || code("合成芯片位2") < kChip1) {
      showResult("必须两枚");
      playSound(kRefusalSound);
    }
    return;
  }

  AttemptRecord record{.synthesis = true,
                       .levelBefore = slotLevel("合成芯片位1"),
                       .otherLevelBefore = slotLevel("合成芯片位2"),
                       .shownRate = s_.synthesisRate,
                       .protectant = code("合成防护位"),
                       .expertBonus = form_.get("选择框1").checked};

  random_.seedRandom();
  const int32_t r = random_.randomInt(kFirstDraw.low, kFirstDraw.high);
  form_.setDisabled("图形按钮5", true);
  const int32_t threshold = drawThreshold(s_.synthesisRate);
  record.threshold = threshold;

  if (r <= threshold) {
    emptySlot("合成芯片位2");
    emptySlot("合成芯片位1");
    fillSlot("合成芯片位", s_.synthesisLevel + 6);
    record.outcome = "合成成功";
    showResult(record.outcome);
    playSound(kSuccessSound);
  } else {
    // Without a protectant the lower chip is destroyed (the second one when both are equal).
    const bool protectedBench = form_.get("合成防护位").tag == "6";
    if (code("合成芯片位1") >= code("合成芯片位2") && !protectedBench) emptySlot("合成芯片位2");
    if (code("合成芯片位1") < code("合成芯片位2") && !protectedBench) emptySlot("合成芯片位1");
    record.outcome = "合成失败";
    showResult(record.outcome);
    playSound(kFailureSound);
  }

  const int32_t k = code("合成防护位");
  emptySlot("合成防护位");
  if (k > 0) {
    int32_t& used = at1(s_.usedCount, k - 1);
    if (used < std::numeric_limits<int32_t>::max()) ++used;
    if (at1(s_.itemCount, k) > 0) {
      --at1(s_.itemCount, k);
      fillSlot("合成防护位", k);
    }
  }
  // What is left of the fused pair: the new chip, or the chip a failure spared.
  record.levelAfter = slotLevel("合成芯片位");
  if (record.levelAfter < 0) record.levelAfter = std::max(slotLevel("合成芯片位1"), slotLevel("合成芯片位2"));
  refreshAll();
  if (hooks_.attempted) hooks_.attempted(record);
}

}  // namespace mox
