// Auto-run: the ways of choosing each attempt, laying the benches, supply from the shop and the route's moves,
// all through the same clicks a user makes.
#include "ui/auto_run.h"

#include <algorithm>
#include <cstdio>

#include "ui/bench_reading.h"
#include "ui/history.h"
#include "ui/planner_parts.h"

namespace mox {

using namespace planner_parts;

AutoRun::AutoRun(const Form& main, Simulator& sim, Platform& platform, PlannerInput input,
                 std::function<void(const RunStatus&)> shown)
    : main_(main), sim_(sim), platform_(platform), input_(std::move(input)), shown_(std::move(shown)) {}

std::string AutoRun::refusal(const RunRequest& r) const {
  if (r.way == AutoWay::Route) {
    try {
      if (r.target == 0) return "选一个高于 +0 的目标等级";
      if (!RouteRun(r.target, r.bonuses).reachable()) return "没有路线能做到 " + lvl(r.target);
      const int32_t held = chipsHeld(main_, sim_)[static_cast<size_t>(r.target)];
      if (held >= r.count) {
        return r.count > 1 ? "已经有 " + std::to_string(held) + " 枚 " + lvl(r.target) : "已经有一枚 " + lvl(r.target);
      }
    } catch (const plan::PlanError& e) {
      return e.what();
    }
    return {};
  }
  const int level = benchLevel(main_);
  if (main_.get("合成框").visible) return "先切换到强化台";
  if (level < 0) return "先把芯片放上强化台";
  if (level >= r.target) return "芯片已是 " + lvl(level) + "，选一个更高的目标等级";
  bool anyCrystal = false;
  for (const char* slot : kCrystalSlots) anyCrystal = anyCrystal || tagCode(main_, slot) > 0;
  if (r.way == AutoWay::AsLaid && !anyCrystal) return "先放好晶体：自动补给会照这套配方买";
  return {};
}

void AutoRun::start(const RunRequest& r) {
  const int level = benchLevel(main_);
  target_ = r.target;
  way_ = r.way;
  count_ = std::clamp(r.count, 1, plan::kMaxChips);
  startLevel_ = level;
  bonuses_ = r.bonuses;
  budget_ = r.budget;
  // Chips of the target's level held: for the route always among those it makes, for the climbs out of the stock
  // (the chip on the bench is climbed all the same).
  const int32_t held = chipsHeld(main_, sim_)[static_cast<size_t>(std::clamp(target_, 0, plan::kTopLevel))];
  made_ = way_ == AutoWay::Route ? std::min(held, count_) : r.fromStock ? std::min(held, count_ - 1) : 0;
  for (size_t i = 0; i < 6; ++i) recipeKinds_[i] = tagCode(main_, kBenchSlots[i]);
  runStock_ = heldStock(main_, sim_);
  runBudget_.reset();
  if (way_ == AutoWay::PlanRecipes && r.budgetGoal) {
    // The plan's choice depends on the money left as well as the level: figured for this chip's level (a dozen
    // milliseconds at most), it holds from any level and sum on the way.
    runBudget_ = plan::bestWithinBudget(level, target_, r.budget, r.bonuses, count_ - made_);
    runBudgetLeft_ = runBudget_->budget;
  } else if (way_ == AutoWay::PlanRecipes) {
    planRecipes_ = r.fromStock ? plan::bestRecipesFrom(level, target_, r.bonuses, runStock_, count_ - made_)
                               : plan::bestRecipes(r.bonuses);
  }
  if (way_ == AutoWay::Route) {
    // Several chips: the route's moves are chosen for one, so the chips held are taken as the plan takes them.
    if (count_ > 1)
      route_.emplace(target_, r.bonuses);
    else
      route_.emplace(target_, r.bonuses, chipsHeld(main_, sim_));
    routeCost_ = 0;
    routeDoing_.clear();
    routeMade_ = false;
  } else {
    route_.reset();
  }
  running_ = true;
  // The gaps' generator goes on from where the last run left it, moved by the clock: runs started in the same
  // millisecond (a clock that stands still, as in a script) must not space their attempts alike, or their seeds
  // would follow one pattern from run to run and the draws would lean one way.
  pace_ += platform_.tickCount();
  fast_ = r.fast;
  supply_ = r.supply;
  runAttempts_ = 0;
  runStartSpend_ = sim_.state().spendTotal;
  runStartRecharge_ = sim_.state().rechargeTotal;
  show(RunStatus::Phase::Started);
}

void AutoRun::tick(bool fast, bool supply) {
  if (!running_) return;
  fast_ = fast;
  supply_ = supply;
  std::string why;
  if (fast_ && clock_) {
    // Ticks that queued up while the last slice ran are dropped, so the window gets its frame between slices.
    const uint64_t start = clock_();
    if (start - lastTickEnd_ < 1000) return;
    for (int i = 0; running_; ++i) {
      if (i % 16 == 0 && clock_() - start >= static_cast<uint64_t>(sliceUs_)) break;
      if (!step(why)) stop(why);
    }
    lastTickEnd_ = clock_();
  } else {
    const int n = fast_ ? kFastBatch : 1;
    for (int i = 0; i < n && running_; ++i) {
      if (!step(why)) stop(why);
    }
  }
  if (!running_) return;
  // The rest of the window follows a fast run a few times a second: its record and luck take longer to redo.
  show(RunStatus::Phase::Going, fast_ && ++fastTicks_ % kFullUpdateTicks == 0);
}

void AutoRun::stop(const std::string& why) {
  running_ = false;
  endStock_ = heldStock(main_, sim_);
  if (way_ == AutoWay::Route) made_ = std::min(chipsHeld(main_, sim_)[static_cast<size_t>(target_)], count_);
  // Several chips short of their count: how many were made, the attempts said more briefly to fit the line.
  std::string line = "已停止（" + why + "）";
  const bool shortOf = count_ > 1 && made_ < count_;
  if (shortOf) line += "，做成 " + std::to_string(made_) + "/" + std::to_string(count_) + " 枚";
  show(RunStatus::Phase::Stopped, false,
       line + "，共" + (way_ == AutoWay::Route || shortOf ? " " : "强化 ") + std::to_string(runAttempts_) + " 次");
}

void AutoRun::attempted(const AttemptRecord& record) {
  if (running_ && way_ == AutoWay::Route) routeCost_ += History::costOf(record);
}

std::optional<AutoRun::RouteSpent> AutoRun::routeSpent() const {
  if (!route_ || runAttempts_ == 0) return std::nullopt;
  return RouteSpent{.to = route_->to(), .cost = routeCost_, .made = routeMade_, .count = count_};
}

void AutoRun::show(RunStatus::Phase phase, bool catchUp, std::string line) {
  RunStatus s{.phase = phase, .line = std::move(line), .catchUp = catchUp};
  // Several chips: which one the run is on.
  const std::string which =
      count_ > 1 ? "第 " + std::to_string(std::min(made_ + 1, count_)) + "/" + std::to_string(count_) + " 枚，" : "";
  if (running_ && way_ == AutoWay::Route) {
    s.line = which + "按路线做 " + lvl(target_) + "：已 " + std::to_string(runAttempts_) + " 次" +
             (routeDoing_.empty() ? "" : "，在" + routeDoing_);
  } else if (running_) {
    const int level = benchLevel(main_);
    s.line = which + "正在强化到 " + lvl(target_) + "：已 " + std::to_string(runAttempts_) + " 次，芯片 " +
             (level >= 0 ? lvl(level) : std::string("-"));
  }
  const SimState& st = sim_.state();
  if (runAttempts_ > 0 || running_) {
    s.money = "这次花了 " + qCoinText(st.spendTotal - runStartSpend_) + " Q币";
    if (st.rechargeTotal > runStartRecharge_) {
      s.money += "，自动充值 " + qCoinText(st.rechargeTotal - runStartRecharge_) + " 元";
    }
    if (runBudget_) s.money += "，预算剩 " + qCoinFigure(plan::toQ(runBudgetLeft_));
  }
  if (shown_) shown_(s);
}

bool AutoRun::step(std::string& why) {
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
bool AutoRun::enhance(std::string& why) {
  input_.click("图形按钮1");
  ++runAttempts_;
  return benchLevel(main_) < target_ || chipMade(why);
}

// A chip at the target: the last one ends the run; any other goes into the bag and the next is laid at the level
// the run started from.
bool AutoRun::chipMade(std::string& why) {
  if (++made_ >= count_) {
    why = count_ > 1 ? madeText() : "已达到目标 " + lvl(target_);
    return false;
  }
  input_.click("芯片位");
  if (benchLevel(main_) >= 0) {
    why = "没能把芯片收进库存";
    return false;
  }
  if (!layFromStock(chipCode(startLevel_), why)) return false;
  // Within a budget, the choice is by the money left and the chips still to make.
  if (runBudget_) runBudget_ = plan::bestWithinBudget(startLevel_, target_, budget_, bonuses_, count_ - made_);
  return true;
}

// Why a run that made all its chips stopped: "已做成一枚 +7", "已做成 3 枚 +7".
std::string AutoRun::madeText() const {
  return "已做成" + (count_ > 1 ? " " + std::to_string(count_) + " 枚 " : std::string("一枚 ")) + lvl(target_);
}

// The chip on the enhancement bench while it has yet to reach the target; -1 (and why) otherwise.
int AutoRun::climbingLevel(std::string& why) const {
  const int level = benchLevel(main_);
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

bool AutoRun::stepAsLaid(std::string& why) {
  if (climbingLevel(why) < 0) return false;
  if (supply_ && !supply(why)) return false;
  if (sim_.state().enhanceRate <= 0) {
    why = "强化台上的晶体用完了";
    return false;
  }
  return enhance(why);
}

bool AutoRun::stepPlanRecipes(std::string& why) {
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

bool AutoRun::stepRoute(std::string& why) {
  // A chip made by synthesis waits in the result slot; it goes to the stock like any other.
  if (main_.get("合成框").visible && tagCode(main_, "合成芯片位") > 0) input_.click("合成芯片位");
  for (int bought = 0;; ++bought) {
    // Chips of the target held and still to make: the route works towards one more.
    ChipsHeld held = chipsHeld(main_, sim_);
    int32_t& made = held[static_cast<size_t>(target_)];
    made_ = std::min(made, count_);
    if (made < count_) made = 0;
    const RouteMove move = route_->next(held);
    switch (move.kind) {
      case RouteMove::Kind::Reached:
        routeMade_ = true;
        why = madeText();
        return false;
      case RouteMove::Kind::BuyChip:
        if (bought > 0 || !supply_) {
          why = "库存里没有" + itemName(kChip0) + "了";
          return false;
        }
        if (!buy(kChip0, why)) return false;
        continue;
      case RouteMove::Kind::Enhance: {
        if (!layEnhancement(move.level, move.recipe, why)) return false;
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
    made_ = std::min(chipsHeld(main_, sim_)[static_cast<size_t>(target_)], count_);
    if (routeReached()) {
      routeMade_ = true;
      why = madeText();
      return false;
    }
    return true;
  }
}

bool AutoRun::routeReached() const { return route_ && chipsHeld(main_, sim_)[static_cast<size_t>(target_)] >= count_; }

// Shows the enhancement or the synthesis bench, as the view buttons do (what lies on the other goes back).
bool AutoRun::useBench(bool synthesis) {
  if (main_.get("合成框").visible != synthesis) input_.click(synthesis ? "合成显示按钮" : "强化显示按钮");
  return main_.get("合成框").visible == synthesis;
}

// Lays a chip of `level` and the recipe on the enhancement bench, taking back whatever does not belong.
bool AutoRun::layEnhancement(int level, const plan::Recipe& r, std::string& why) {
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
bool AutoRun::layFusion(const RouteMove& m, std::string& why) {
  if (!useBench(true)) {
    why = "没能切换到合成台";
    return false;
  }
  std::array<int32_t, 2> want{chipCode(m.a), chipCode(m.b)};
  for (const char* slot : {"合成芯片位1", "合成芯片位2"}) {
    const int32_t k = tagCode(main_, slot);
    if (k == 0) continue;
    if (k == want[0])
      want[0] = 0;
    else if (k == want[1])
      want[1] = 0;
    else
      input_.click(slot);
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
bool AutoRun::layFromStock(int32_t code, std::string& why) {
  if (sim_.itemCount(code) <= 0) {
    if (!supply_ || shopPrice(code) <= 0) {
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
bool AutoRun::supply(std::string& why) {
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
bool AutoRun::buy(int32_t code, std::string& why) {
  const int amount = main_.get("组合框1").selection, goods = main_.get("组合框2").selection,
            quantity = main_.get("组合框3").selection;
  const int32_t price = shopPrice(code);
  int entry = 0;
  while (entry < static_cast<int>(kShopGoods.size()) - 1 && kShopGoods[static_cast<size_t>(entry)].code != code) {
    ++entry;
  }
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

}  // namespace mox
