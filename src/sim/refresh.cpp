// refreshAll: the one routine that turns the state into what the form shows, and computes the two success rates
// and the synthesis result level that the actions read.
#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/rates.h"
#include "sim/simulator.h"

namespace mox {

namespace {

// The bag shows chips from +0 to +9 first, then the consumables.
constexpr int kPackingOrder[15] = {1, 7, 8, 9, 10, 11, 12, 13, 14, 15, 2, 3, 4, 5, 6};

}  // namespace

// Tenths shown as a real: 25 reads "2.5", 100 reads "10".
void Simulator::showMoney() {
  form_.setCaption("标签5", toText(s_.qCoinBalance / 10.0) + " Q币");
  form_.setCaption("透明标签2", toText(s_.rechargeTotal / 10.0) + " 元人民币");
  form_.setCaption("透明标签4", toText(s_.spendTotal / 10.0) + " 元人民币");
}

void Simulator::refreshAll() {
  // The inventory grid, packed without gaps.
  const std::string emptyCell = form_.get("空图片").picture;
  for (int n = 1; n <= 15; ++n) {
    at1(s_.cellItem, n) = 0;
    form_.setPicture(at1(s_.cellButton, n), emptyCell);
    form_.setCaption(at1(s_.cellLabel, n), "");
  }
  int n = 0;
  for (int k : kPackingOrder) {
    if (at1(s_.itemCount, k) > 0) {
      ++n;
      form_.setPicture(at1(s_.cellButton, n), form_.at(at1(s_.stockPicture, k)).picture);
      form_.setCaption(at1(s_.cellLabel, n), toText(at1(s_.itemCount, k)));
      at1(s_.cellItem, n) = k;
    }
  }

  // Money and statistics.
  showMoney();
  const char* const usedLabels[5] = {"透明标签6", "透明标签7", "透明标签10", "透明标签14", "透明标签12"};
  for (int i = 0; i < 5; ++i) form_.setCaption(usedLabels[i], toText(s_.usedCount[static_cast<size_t>(i)]));

  // Enhancement rate.
  std::array<double, 4> crystals{};
  for (int i = 0; i < 4; ++i) crystals[static_cast<size_t>(i)] = slotCode(kCrystalSlots[i]);
  s_.enhanceRate = enhanceRate(form_.get("芯片位").tag, crystals, form_.get("选择框1").checked, slotCode("催化位"));
  for (const char* label : {"标签2", "标签4"}) {
    form_.setTextColour(label, rateColour(s_.enhanceRate));
    form_.setCaption(label, enhanceRateText(s_.enhanceRate));
  }
  form_.setDisabled("图形按钮1", false);

  // Synthesis rate and result level.
  SynthesisOutlook outlook =
      synthesisOutlook(slotCode("合成芯片位1"), slotCode("合成芯片位2"), form_.get("选择框1").checked);
  s_.synthesisRate = outlook.rate;
  s_.synthesisLevel = outlook.level;
  form_.setCaption("合成总合标签", outlook.label);
  for (const char* label : {"成功率结", "成功率结1"}) {
    form_.setTextColour(label, rateColour(s_.synthesisRate));
    form_.setCaption(label, synthesisRateText(s_.synthesisRate));
  }
  form_.setDisabled("图形按钮5", false);
  if (hooks_.refreshed) hooks_.refreshed();
}

}  // namespace mox
