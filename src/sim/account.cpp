// The pretend account: top-ups, the shop and the two bonus options.
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/simulator.h"

namespace mox {

namespace {
constexpr int64_t kMaxInt32 = std::numeric_limits<int32_t>::max();
}

void Simulator::topUp() {
  const int32_t amount = form_.comboItemData("组合框1", form_.get("组合框1").selection);
  if (amount <= 0) return;  // no amount chosen
  // The balance never exceeds the top-up total (purchases only move money from one to the spending total), so
  // guarding the total keeps all three figures within 32 bits. A top-up that would pass the limit is refused.
  if (static_cast<int64_t>(s_.rechargeTotal) + amount > kMaxInt32 ||
      static_cast<int64_t>(s_.qCoinBalance) + amount > kMaxInt32) {
    playSound(kRefusalSound);
    return;
  }
  s_.rechargeTotal = truncToInt(static_cast<double>(s_.rechargeTotal) + amount);
  s_.qCoinBalance = truncToInt(static_cast<double>(s_.qCoinBalance) + amount);
  showMoney();
  playSound(kPurchaseSound);
  refreshAll();
}

void Simulator::buyGoods() {
  const int32_t price = form_.comboItemData("组合框2", form_.get("组合框2").selection);
  const int32_t quantity = form_.comboItemData("组合框3", form_.get("组合框3").selection);
  const int position = form_.get("组合框2").selection;
  if (price <= 0 || quantity <= 0 || position < 0 || position >= 15) return;  // no goods or quantity chosen
  const int64_t cost = static_cast<int64_t>(price) * quantity;
  if (s_.qCoinBalance < cost) {
    playSound(kRefusalSound);
    showResult("余额不足");
    return;
  }
  // A stock count at the 32-bit limit takes no more: the purchase is refused before any money moves.
  if (static_cast<int64_t>(at1(s_.itemCount, position + 1)) + quantity > kMaxInt32) {
    playSound(kRefusalSound);
    return;
  }
  s_.qCoinBalance = static_cast<int32_t>(s_.qCoinBalance - cost);
  s_.spendTotal = static_cast<int32_t>(s_.spendTotal + cost);
  at1(s_.itemCount, position + 1) += quantity;
  playSound(kPurchaseSound);
  refreshAll();
}

void Simulator::toggleExpertBonus() {
  const bool checked = form_.get("选择框1").checked;
  for (const char* label : {"标签3", "标签4", "成功率标1", "成功率结1"}) form_.setVisible(label, checked);
  refreshAll();
}

void Simulator::toggleLabBonus() { refreshAll(); }

}  // namespace mox
