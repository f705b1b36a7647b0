// One synthesis attempt: two chips fused into one of a higher level.
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

  random_.seedRandom();
  const int32_t r = random_.randomInt(kFirstDraw.low, kFirstDraw.high);
  form_.setDisabled("图形按钮5", true);
  const int32_t threshold = drawThreshold(s_.synthesisRate);

  if (r <= threshold) {
    emptySlot("合成芯片位2");
    emptySlot("合成芯片位1");
    fillSlot("合成芯片位", s_.synthesisLevel + 6);
    showResult("合成成功");
    playSound(kSuccessSound);
  } else {
    // Without a protectant the lower chip is destroyed (the second one when both are equal).
    const bool protectedBench = form_.get("合成防护位").tag == "6";
    if (code("合成芯片位1") >= code("合成芯片位2") && !protectedBench) emptySlot("合成芯片位2");
    if (code("合成芯片位1") < code("合成芯片位2") && !protectedBench) emptySlot("合成芯片位1");
    showResult("合成失败");
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
  refreshAll();
}

}  // namespace mox
