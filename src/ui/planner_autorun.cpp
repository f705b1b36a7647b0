// Auto-run: the ways of choosing each attempt, laying the benches, supply from the shop and the route's moves,
// all through the same clicks a user makes.
#include <algorithm>
#include <cstdio>

#include "ui/planner_parts.h"
#include "ui/planner_window.h"

namespace mox {

using namespace planner_parts;

bool PlannerWindow::stopOnEscape() {
  if (!running_) return false;
  stopAutoRun("按了 Esc");
  return true;
}

AutoWay PlannerWindow::selectedWay() const {
  return static_cast<AutoWay>(std::clamp(window_.get("自动方式").selection, 0, 2));
}

void PlannerWindow::autoWayChanged() {
  static const char* const kExplained[] = {
      "照强化台上这套配方一直强化；快速：不放横幅和声音；补给：用完就买",
      "每一级换上规划的最佳配方；快速：不放横幅和声音；补给：缺什么买什么",
      "照最省路线买芯片、强化、合成到目标；快速：不放横幅和声音；补给：缺就买"};
  window_.setCaption("自动说明标签", kExplained[static_cast<int>(selectedWay())]);
  showPlan();
  showClimbState();
}

void PlannerWindow::toggleAutoRun() {
  if (running_) {
    stopAutoRun("按了停止");
    return;
  }
  const int level = benchLevel();
  target_ = std::max(window_.get("目标等级").selection, 0);
  way_ = selectedWay();
  std::string refusal;
  bool anyCrystal = false;
  for (size_t i = 0; i < 6; ++i) {
    recipeKinds_[i] = tagCode(main_, kBenchSlots[i]);
    if (i < 4) anyCrystal = anyCrystal || recipeKinds_[i] > 0;
  }
  if (way_ == AutoWay::Route) {
    try {
      route_.emplace(target_, bonuses());
      if (target_ == 0) refusal = "选一个高于 +0 的目标等级";
      else if (!route_->reachable()) refusal = "没有路线能做到 " + lvl(target_);
    } catch (const plan::PlanError& e) {
      refusal = e.what();
    }
  } else if (main_.get("合成框").visible) {
    refusal = "先切换到强化台";
  } else if (level < 0) {
    refusal = "先把芯片放上强化台";
  } else if (level >= target_) {
    refusal = "芯片已是 " + lvl(level) + "，选一个更高的目标等级";
  } else if (way_ == AutoWay::AsLaid && !anyCrystal) {
    refusal = "先放好晶体：自动补给会照这套配方买";
  }
  if (!refusal.empty()) {
    window_.setCaption("自动状态标签", refusal);
    window_.setTextColour("自动状态标签", kCoral);
    return;
  }
  runBudget_.reset();
  link_.reset();  // a run works on the player's own bag and bench
  if (way_ == AutoWay::PlanRecipes) {
    const PlanInputs in = currentInputs();
    if (in.budgetGoal) {
      // The plan's choice depends on the money left as well as the level: figured for this chip's level (a
      // dozen milliseconds at most), it holds from any level and sum on the way.
      runBudget_ = plan::bestWithinBudget(level, target_, in.budget, bonuses());
      runBudgetLeft_ = runBudget_->budget;
    } else {
      planRecipes_ = in.fromStock ? plan::bestRecipesFrom(level, target_, bonuses(), in.stock)
                                  : plan::bestRecipes(bonuses());
    }
  }
  if (way_ == AutoWay::Route) {
    routeBaseline_ = chipsHeld()[static_cast<size_t>(target_)];
    routeCost_ = 0;
    routeDoing_.clear();
    routeMade_ = false;
  } else {
    route_.reset();
    history_.startClimb(level);
  }
  runStock_ = heldStock();
  running_ = true;
  // The gaps' generator goes on from where the last run left it, moved by the clock: runs started in the same
  // millisecond (a clock that stands still, as in a script) must not space their attempts alike, or their seeds
  // would follow one pattern from run to run and the draws would lean one way.
  pace_ += platform_.tickCount();
  fast_ = window_.get("快速").checked;
  runAttempts_ = 0;
  runStartSpend_ = sim_.state().spendTotal;
  runStartRecharge_ = sim_.state().rechargeTotal;
  window_.setInterval("自动强化时钟", fast_ ? kFastIntervalMs : kSlowIntervalMs);
  window_.setCaption("自动强化按钮", "停止");
  setButtonLook(true);
  window_.setTextColour("自动状态标签", kWhite);
  showAutoRun();
  showClimbState();
  startWork();
}

void PlannerWindow::setButtonLook(bool running) {
  const std::string base = running ? "wide_stop_" : "wide_autorun_";
  const int i = window_.indexOf("自动强化按钮");
  window_.setButtonPictures(i, base + "normal", base + "hover", base + "pressed", base + "disabled");
}

void PlannerWindow::autoRunTick() {
  if (!running_) {
    window_.setInterval("自动强化时钟", 0);
    return;
  }
  fast_ = window_.get("快速").checked;
  window_.setInterval("自动强化时钟", fast_ ? kFastIntervalMs : kSlowIntervalMs);
  std::string why;
  if (fast_ && clock_) {
    // Ticks that queued up while the last slice ran are dropped, so the window gets its frame between slices.
    const uint64_t start = clock_();
    if (start - lastTickEnd_ < 1000) return;
    for (int i = 0; running_; ++i) {
      if (i % 16 == 0 && clock_() - start >= static_cast<uint64_t>(sliceUs_)) break;
      if (!step(why)) stopAutoRun(why);
    }
    lastTickEnd_ = clock_();
  } else {
    const int n = fast_ ? kFastBatch : 1;
    for (int i = 0; i < n && running_; ++i) {
      if (!step(why)) stopAutoRun(why);
    }
  }
  if (!running_) return;
  showAutoRun();
  // The rest of the window follows a fast run a few times a second: its record and luck take longer to redo.
  if (fast_ && ++fastTicks_ % kFullUpdateTicks == 0) {
    showOdds();
    showHistory();
    showClimbState();
    startWork();
  }
}

bool PlannerWindow::step(std::string& why) {
  // Each attempt comes some time after the last, as a player's next click would: anywhere in the next minute
  // (SplitMix64 on the run's own state), so the seeds of successive attempts do not follow from each other.
  pace_ += 0x9E3779B97F4A7C15ull;
  uint64_t z = pace_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  sim_.random().skipAhead(static_cast<uint32_t>(1 + ((z ^ (z >> 31)) & 0xFFFF)));
  switch (way_) {
    case AutoWay::AsLaid: return stepAsLaid(why);
    case AutoWay::PlanRecipes: return stepPlanRecipes(why);
    case AutoWay::Route: return stepRoute(why);
  }
  return false;
}

// One click on the enhance button, and whether the run goes on.
bool PlannerWindow::enhance(std::string& why) {
  input_.click("图形按钮1");
  ++runAttempts_;
  if (benchLevel() >= target_) {
    why = "已达到目标 " + lvl(target_);
    return false;
  }
  return true;
}

// The chip on the enhancement bench while it has yet to reach the target; -1 (and why) otherwise.
int PlannerWindow::climbingLevel(std::string& why) const {
  const int level = benchLevel();
  if (level < 0) {
    why = main_.get("合成框").visible ? "强化台已关闭" : "强化台上没有芯片了";
    return -1;
  }
  if (level >= target_) {
    why = "已达到目标 " + lvl(target_);
    return -1;
  }
  return level;
}

bool PlannerWindow::stepAsLaid(std::string& why) {
  if (climbingLevel(why) < 0) return false;
  if (window_.get("自动补给").checked && !supply(why)) return false;
  if (sim_.state().enhanceRate <= 0) {
    why = "强化台上的晶体用完了";
    return false;
  }
  return enhance(why);
}

bool PlannerWindow::stepPlanRecipes(std::string& why) {
  const int level = climbingLevel(why);
  if (level < 0) return false;
  if (runBudget_) {
    const double left = plan::toQ(runBudgetLeft_);
    const std::optional<plan::Recipe> r = runBudget_->recipeAt(level, left);
    if (!r) {
      // What is left pays for no attempt, or for none that could still end at the target.
      why = "预算不够到 " + lvl(target_) + " 了";
      return false;
    }
    if (!layEnhancement(level, *r, why)) return false;
    runBudgetLeft_ -= plan::recipeCost(*r);
    return enhance(why);
  }
  const std::optional<plan::Recipe>& r = planRecipes_[static_cast<size_t>(level)];
  if (!r) {
    why = lvl(level) + " 没有可用的配方";
    return false;
  }
  return layEnhancement(level, *r, why) && enhance(why);
}

bool PlannerWindow::stepRoute(std::string& why) {
  // A chip made by synthesis waits in the result slot; it goes to the stock like any other.
  if (main_.get("合成框").visible && tagCode(main_, "合成芯片位") > 0) input_.click("合成芯片位");
  for (int bought = 0;; ++bought) {
    ChipsHeld held = chipsHeld();
    held[static_cast<size_t>(target_)] -= routeBaseline_;
    const RouteMove move = route_->next(held);
    switch (move.kind) {
      case RouteMove::Kind::Reached:
        routeMade_ = true;
        why = "已做成一枚 " + lvl(target_);
        return false;
      case RouteMove::Kind::BuyChip:
        if (bought > 0 || !window_.get("自动补给").checked) {
          why = "库存里没有" + itemName(kChip0) + "了";
          return false;
        }
        if (!buy(kChip0, why)) return false;
        continue;
      case RouteMove::Kind::Enhance: {
        const std::optional<plan::Recipe>& r = route_->recipes()[static_cast<size_t>(move.level)];
        if (!r || !layEnhancement(move.level, *r, why)) return false;
        routeDoing_ = "强化 " + lvl(move.level);
        input_.click("图形按钮1");
        break;
      }
      case RouteMove::Kind::Fuse:
        if (!layFusion(move, why)) return false;
        routeDoing_ = "合成 " + lvl(move.a) + "/" + lvl(move.b);
        input_.click("图形按钮5");
        break;
    }
    ++runAttempts_;
    if (routeReached()) {
      routeMade_ = true;
      why = "已做成一枚 " + lvl(target_);
      return false;
    }
    return true;
  }
}

// The chips the route may use: the stock's, and those on the bench showing.
ChipsHeld PlannerWindow::chipsHeld() const {
  ChipsHeld held{};
  for (int l = 0; l <= plan::kTopLevel; ++l) held[static_cast<size_t>(l)] = std::max(sim_.itemCount(chipCode(l)), 0);
  for (const char* slot : {"芯片位", "合成芯片位1", "合成芯片位2", "合成芯片位"}) {
    const int l = chipLevel(tagCode(main_, slot));
    if (l >= 0) ++held[static_cast<size_t>(l)];
  }
  return held;
}

bool PlannerWindow::routeReached() const {
  return route_ && chipsHeld()[static_cast<size_t>(target_)] > routeBaseline_;
}

// Shows the enhancement or the synthesis bench, as the view buttons do (what lies on the other goes back).
bool PlannerWindow::useBench(bool synthesis) {
  if (main_.get("合成框").visible != synthesis) input_.click(synthesis ? "合成显示按钮" : "强化显示按钮");
  return main_.get("合成框").visible == synthesis;
}

// Lays a chip of `level` and the recipe on the enhancement bench, taking back whatever does not belong.
bool PlannerWindow::layEnhancement(int level, const plan::Recipe& r, std::string& why) {
  if (!useBench(false)) {
    why = "没能切换到强化台";
    return false;
  }
  std::array<int, 3> want{r.small, r.big, r.magic};  // by crystal code - kSmallCrystal
  for (size_t i = 0; i < 4; ++i) {
    const int32_t k = tagCode(main_, kCrystalSlots[i]);
    if (k == 0) continue;
    if (k >= kSmallCrystal && k <= kMagicCrystal && want[static_cast<size_t>(k - kSmallCrystal)] > 0) {
      --want[static_cast<size_t>(k - kSmallCrystal)];
    } else {
      input_.click(kCrystalSlots[i]);
    }
  }
  const bool catalyst = tagCode(main_, "催化位") == kCatalyst, protectant = tagCode(main_, "防护位") == kProtectant;
  if (catalyst && !r.catalyst) input_.click("催化位");
  if (protectant && !r.protectant) input_.click("防护位");
  const int32_t chip = tagCode(main_, "芯片位");
  if (chip != 0 && chip != chipCode(level)) input_.click("芯片位");
  if (tagCode(main_, "芯片位") == 0 && !layFromStock(chipCode(level), why)) return false;
  for (size_t k = 0; k < want.size(); ++k) {
    for (int n = 0; n < want[k]; ++n) {
      if (!layFromStock(kSmallCrystal + static_cast<int32_t>(k), why)) return false;
    }
  }
  if (r.catalyst && !catalyst && !layFromStock(kCatalyst, why)) return false;
  if (r.protectant && !protectant && !layFromStock(kProtectant, why)) return false;
  return true;
}

// Lays the two chips of a fusion on the synthesis bench, with a protectant when the route protects it.
bool PlannerWindow::layFusion(const RouteMove& m, std::string& why) {
  if (!useBench(true)) {
    why = "没能切换到合成台";
    return false;
  }
  std::array<int32_t, 2> want{chipCode(m.a), chipCode(m.b)};
  for (const char* slot : {"合成芯片位1", "合成芯片位2"}) {
    const int32_t k = tagCode(main_, slot);
    if (k == 0) continue;
    if (k == want[0]) want[0] = 0;
    else if (k == want[1]) want[1] = 0;
    else input_.click(slot);
  }
  for (int32_t code : want) {
    if (code && !layFromStock(code, why)) return false;
  }
  const bool protectant = tagCode(main_, "合成防护位") == kProtectant;
  if (protectant && !m.protectant) input_.click("合成防护位");
  if (m.protectant && !protectant && !layFromStock(kProtectant, why)) return false;
  if (sim_.state().synthesisRate <= 0) {
    why = "合成台上的两枚芯片不能合成";
    return false;
  }
  return true;
}

// Takes one of an item out of the stock onto the bench showing, buying it first when the stock has none and
// auto-supply is on.
bool PlannerWindow::layFromStock(int32_t code, std::string& why) {
  if (sim_.itemCount(code) <= 0) {
    if (!window_.get("自动补给").checked || shopPrice(code) <= 0) {
      why = "库存里没有" + itemName(code) + "了";
      return false;
    }
    if (!buy(code, why)) return false;
  }
  const int32_t before = sim_.itemCount(code);
  for (int n = 1; n <= 15; ++n) {
    if (sim_.state().cellItem[static_cast<size_t>(n - 1)] != code) continue;
    char cell[8];
    std::snprintf(cell, sizeof cell, "a%02d", n);
    input_.click(cell);
    break;
  }
  if (sim_.itemCount(code) == before) {
    why = "没能把" + itemName(code) + "放上" + (main_.get("合成框").visible ? "合成台" : "强化台");
    return false;
  }
  if (way_ == AutoWay::Route && code == kChip0) routeCost_ += shopPrice(kChip0);
  return true;
}

// Lays again every kind the run's bench held and the stock has run out of, buying it first.
bool PlannerWindow::supply(std::string& why) {
  const int32_t chip = tagCode(main_, "芯片位");
  for (size_t i = 0; i < 6; ++i) {
    const int32_t kind = recipeKinds_[i];
    if (kind <= 0 || tagCode(main_, kBenchSlots[i]) != 0) continue;
    // The bench's own rules: no small crystal beside a chip of +7 or more, no magic crystal below it.
    if (kind == kSmallCrystal && chip >= kChip7) continue;
    if (kind == kMagicCrystal && chip < kChip7) continue;
    if (!layFromStock(kind, why)) return false;
  }
  return true;
}

// Buys one of an item through the shop, topping up 10元 at a time while the balance is short; the shop lists
// are left as the user set them.
bool PlannerWindow::buy(int32_t code, std::string& why) {
  const int amount = main_.get("组合框1").selection, goods = main_.get("组合框2").selection,
            quantity = main_.get("组合框3").selection;
  const int32_t price = shopPrice(code);
  int entry = 0;
  while (entry < static_cast<int>(kShopGoods.size()) - 1 && kShopGoods[static_cast<size_t>(entry)].code != code) ++entry;
  bool ok = true;
  input_.select("组合框1", 0);
  while (ok && sim_.state().qCoinBalance < price) {
    const int32_t before = sim_.state().qCoinBalance;
    input_.click("图形按钮2");
    if (sim_.state().qCoinBalance == before) {
      why = "无法再充值";
      ok = false;
    }
  }
  if (ok) {
    const int32_t before = sim_.itemCount(code);
    input_.select("组合框2", entry);
    input_.select("组合框3", 0);
    input_.click("图形按钮3");
    if (sim_.itemCount(code) == before) {
      why = "买不到" + itemName(code);
      ok = false;
    }
  }
  input_.select("组合框1", amount);
  input_.select("组合框2", goods);
  input_.select("组合框3", quantity);
  return ok;
}

void PlannerWindow::stopAutoRun(const std::string& why) {
  running_ = false;
  window_.setInterval("自动强化时钟", 0);
  window_.setCaption("自动强化按钮", "自动强化");
  setButtonLook(false);
  window_.setCaption("自动状态标签", "已停止（" + why + "），共" + (way_ == AutoWay::Route ? " " : "强化 ") +
                                        std::to_string(runAttempts_) + " 次");
  window_.setTextColour("自动状态标签", kGrey);
  showAutoRun();
  showOdds();
  showHistory();
  showClimbState();
  startWork();
}

void PlannerWindow::showAutoRun() {
  const SimState& s = sim_.state();
  if (running_ && way_ == AutoWay::Route) {
    window_.setCaption("自动状态标签", "按路线做 " + lvl(target_) + "：已 " + std::to_string(runAttempts_) + " 次" +
                                          (routeDoing_.empty() ? "" : "，在" + routeDoing_));
  } else if (running_) {
    const int level = benchLevel();
    window_.setCaption("自动状态标签", "正在强化到 " + lvl(target_) + "：已 " + std::to_string(runAttempts_) +
                                          " 次，芯片 " + (level >= 0 ? lvl(level) : std::string("-")));
  }
  std::string money = "这次花了 " + qCoinText(s.spendTotal - runStartSpend_) + " Q币";
  if (s.rechargeTotal > runStartRecharge_) money += "，自动充值 " + qCoinText(s.rechargeTotal - runStartRecharge_) + " 元";
  if (runBudget_) money += "，预算剩 " + qCoinFigure(plan::toQ(runBudgetLeft_));
  window_.setCaption("自动花费标签", runAttempts_ > 0 || running_ ? money : "");
}

}  // namespace mox
