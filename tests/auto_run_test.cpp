// Auto-run on its own, with no planner window: a started program's main window and simulation, a run clicking
// its controls by name and ticked by hand, and what the run says it shows. Its refusals, supply from an empty
// stock, a long fast run against the exact odds, the plan's recipes (least cost, and within a budget) and the
// route from money alone, checked against the record, the stock and the money.
#include <cmath>
#include <numeric>

#include "app_fixture.h"
#include "plan/planner.h"
#include "ui/auto_run.h"
#include "ui/bench_reading.h"
#include "ui/history.h"
#include "ui/planner_parts.h"

using moxtest::itemsHeld;
using moxtest::Program;
using moxtest::stock;
using namespace mox;
using mox::planner_parts::planRecipe;

namespace {

// A run on an app's main window and simulation, keeping every status it shows.
struct RunBench {
  explicit RunBench(App& app)
      : run(app.mainForm(), app.sim(), app.platform(),
            {.click = [&app](std::string_view n) { return app.click(n); },
             .select = [&app](std::string_view n, int i) { return app.select(n, i); }},
            [this](const RunStatus& s) { shown.push_back(s); }) {}

  // Starts a run the bench allows (a test fails otherwise) and ticks it until it stops, at most `limit` ticks.
  void runToEnd(const RunRequest& r, int limit = 2000) {
    ASSERT_EQ(run.refusal(r), "");
    run.start(r);
    for (int i = 0; i < limit && run.running(); ++i) run.tick(r.fast, r.supply);
  }
  const std::string& line() const { return shown.back().line; }

  AutoRun run;
  std::vector<RunStatus> shown;
};

// Starts the program with a +4 chip and a small crystal on the bench and `crystals` more in the stock.
void startOnSmallCrystals(Program& p, int32_t crystals) {
  p.withStock(stock({{kChip1 + 3, 1}, {kSmallCrystal, crystals + 1}}));
  p.start();
  p.place(kChip1 + 3);
  p.place(kSmallCrystal);
}

}  // namespace

TEST(AutoRun, MayStartOnlyFromABenchItCanWorkOnAndSaysWhyNot) {
  Program p;
  p.withStock(stock({{kChip1 + 1, 1}, {kBigCrystal, 4}}));
  p.start();
  RunBench bench(p.app());
  const RunRequest asLaid{.target = 5};
  const RunRequest planned{.way = AutoWay::PlanRecipes, .target = 5};
  EXPECT_EQ(bench.run.refusal(asLaid), "先把芯片放上强化台");
  p.click("合成显示按钮");
  EXPECT_EQ(bench.run.refusal(planned), "先切换到强化台");
  p.click("强化显示按钮");
  p.place(kChip1 + 1);
  EXPECT_EQ(bench.run.refusal(planned), "");
  EXPECT_EQ(bench.run.refusal(asLaid), "先放好晶体：自动补给会照这套配方买");
  p.place(kBigCrystal);
  EXPECT_EQ(bench.run.refusal(asLaid), "");
  EXPECT_EQ(bench.run.refusal({.target = 2}), "芯片已是 +2，选一个更高的目标等级");
  // The route starts from whatever is held, even an empty bench; only its target matters.
  EXPECT_EQ(bench.run.refusal({.way = AutoWay::Route, .target = 0}), "选一个高于 +0 的目标等级");
  EXPECT_EQ(bench.run.refusal({.way = AutoWay::Route, .target = 9}), "");
  // Asking changes nothing: no status, no run.
  EXPECT_TRUE(bench.shown.empty());
  EXPECT_FALSE(bench.run.running());
  EXPECT_EQ(bench.run.intervalMs(), 0);
}

TEST(AutoRun, ASlowRunMakesOneAttemptATickAFastOneManyAndBothShowWhatTheyDo) {
  Program p;
  startOnSmallCrystals(p, 4999);
  RunBench bench(p.app());
  bench.run.start({.target = 9});
  ASSERT_EQ(bench.shown.size(), 1u);
  EXPECT_EQ(bench.shown[0].phase, RunStatus::Phase::Started);
  EXPECT_EQ(bench.line(), "正在强化到 +9：已 0 次，芯片 +4");
  EXPECT_EQ(bench.shown[0].money, "这次花了 0 Q币");
  EXPECT_EQ(bench.run.intervalMs(), AutoRun::kSlowIntervalMs);
  EXPECT_FALSE(bench.run.quiet());
  for (int i = 1; i <= 3; ++i) {
    bench.run.tick(false, false);
    EXPECT_EQ(p.app().history().total(), static_cast<uint64_t>(i));
    EXPECT_EQ(bench.shown.back().phase, RunStatus::Phase::Going);
    EXPECT_FALSE(bench.shown.back().catchUp);
  }
  EXPECT_EQ(bench.line().rfind("正在强化到 +9：已 3 次，芯片 +", 0), 0u) << bench.line();
  // Turned fast during the run: quiet, a batch a tick, and the rest of the window caught up every third tick.
  for (int i = 1; i <= 3; ++i) {
    bench.run.tick(true, false);
    EXPECT_EQ(p.app().history().total(), static_cast<uint64_t>(3 + i * AutoRun::kFastBatch));
    EXPECT_EQ(bench.shown.back().catchUp, i == 3);
  }
  EXPECT_TRUE(bench.run.quiet());
  EXPECT_EQ(bench.run.intervalMs(), AutoRun::kFastIntervalMs);
  bench.run.stop("按了停止");
  EXPECT_EQ(bench.shown.back().phase, RunStatus::Phase::Stopped);
  EXPECT_EQ(bench.line(), "已停止（按了停止），共强化 " + std::to_string(3 + 3 * AutoRun::kFastBatch) + " 次");
  EXPECT_EQ(bench.shown.back().money, "这次花了 0 Q币");
  EXPECT_EQ(bench.run.intervalMs(), 0);
  EXPECT_FALSE(bench.run.quiet());
}

TEST(AutoRun, SupplyFromAnEmptyStockReachesTheTargetAndTheMoneyAddsUp) {
  Program p;
  p.start();
  p.topUp(1);  // 50元: a chip and four big crystals
  p.select("组合框3", 0);
  p.select("组合框2", 0);
  p.click("图形按钮3");
  p.select("组合框2", 2);
  for (int i = 0; i < 4; ++i) p.click("图形按钮3");
  p.place(kChip0);
  for (int i = 0; i < 4; ++i) p.place(kBigCrystal);
  ASSERT_EQ(p.state().qCoinBalance, 0);
  for (int k = 1; k <= 15; ++k) ASSERT_EQ(p.count(k), 0);

  const int32_t spentBefore = p.state().spendTotal, rechargedBefore = p.state().rechargeTotal;
  RunBench bench(p.app());
  bench.runToEnd({.target = 5, .fast = true, .supply = true}, 1000);
  EXPECT_EQ(p.tag("芯片位"), std::to_string(kChip1 + 4));
  EXPECT_EQ(bench.line().rfind("已停止（已达到目标 +5）", 0), 0u) << bench.line();
  // What the climb cost is exactly what the record says the attempts used up, plus the chip.
  const SimState& s = p.state();
  int64_t cost = 0;
  for (const HistoryEntry& e : p.app().history().entries()) cost += e.cost;
  EXPECT_EQ(s.spendTotal, cost + 100);
  EXPECT_EQ(s.rechargeTotal - s.spendTotal, s.qCoinBalance);
  EXPECT_EQ(s.rechargeTotal % 100, 0);  // topped up in 10元 steps
  EXPECT_LT(s.qCoinBalance, 100);
  EXPECT_GT(p.app().history().entries().size(), 4u);
  EXPECT_EQ(bench.shown.back().money, "这次花了 " + qCoinText(s.spendTotal - spentBefore) + " Q币，自动充值 " +
                                          qCoinText(s.rechargeTotal - rechargedBefore) + " 元");
  // The shop lists are as the user left them.
  EXPECT_EQ(p.form().get("组合框2").selection, 2);
}

TEST(AutoRun, TenThousandFastAttemptsMatchTheExactOdds) {
  Program p;
  startOnSmallCrystals(p, 19999);
  RunBench bench(p.app());
  bench.run.start({.target = 9, .fast = true});
  for (int i = 0; i < 10000 / AutoRun::kFastBatch; ++i) bench.run.tick(true, false);
  ASSERT_TRUE(bench.run.running()) << bench.line();
  bench.run.stop("按了停止");
  ASSERT_EQ(p.app().history().total(), 10000u);
  EXPECT_EQ(p.state().usedCount[0], 10000);
  EXPECT_EQ(itemsHeld(p), 1 + 20000 - 10000);

  // Successes per level against the exact chance of the recipe: within four standard deviations.
  std::array<int, 10> tries{}, ups{};
  for (const HistoryEntry& e : p.app().history().entries()) {
    const size_t l = static_cast<size_t>(e.attempt.levelBefore);
    ++tries[l];
    ups[l] += e.attempt.outcome == "强化成功";
    EXPECT_DOUBLE_EQ(e.exactChance, plan::odds(e.attempt.levelBefore, {.small = 1}, {}).success);
  }
  for (int l = 4; l <= 6; ++l) {
    if (tries[l] < 500) continue;
    const double chance = plan::odds(l, {.small = 1}, {}).success;
    const double sd = std::sqrt(tries[l] * chance * (1 - chance));
    EXPECT_NEAR(ups[l], tries[l] * chance, 4 * sd + 1) << "+" << l;
  }
}

TEST(AutoRun, OnAClockAFastTickFillsItsSliceAndTicksQueuedBehindItAreDropped) {
  Program p;
  startOnSmallCrystals(p, 4999);
  RunBench bench(p.app());
  uint64_t now = 5000;  // microseconds; every reading of the clock takes 10
  bench.run.setClock([&now] { return now += 10; }, 1000);
  bench.run.start({.target = 9, .fast = true});
  bench.run.tick(true, false);
  // The clock is read once every sixteen attempts: the slice ends at the first reading 1000 us on.
  const uint64_t first = p.app().history().total();
  EXPECT_GT(first, 0u);
  EXPECT_EQ(first % 16, 0u);
  bench.run.tick(true, false);  // within a millisecond of the last slice's end
  EXPECT_EQ(p.app().history().total(), first);
  now += 1000;
  bench.run.tick(true, false);
  EXPECT_EQ(p.app().history().total(), 2 * first);
}

TEST(AutoRun, WithoutSupplyTheRouteStopsWhenTheStockRunsOut) {
  Program p;
  p.start();
  RunBench bench(p.app());
  bench.runToEnd({.way = AutoWay::Route, .target = 3});
  EXPECT_FALSE(bench.run.running());
  EXPECT_EQ(bench.line(), "已停止（库存里没有+0芯片了），共 0 次");
  EXPECT_EQ(bench.shown.back().money, "");
  EXPECT_FALSE(bench.run.routeSpent());
}

TEST(AutoRun, PlanRecipesChangeTheRecipeWhereThePlanDoes) {
  const plan::RecipePlan best = plan::bestRecipes({});
  int changes = 0;
  for (size_t l = 1; l < 9; ++l) changes += !(*best[l] == *best[l - 1]);
  ASSERT_GT(changes, 0);

  Program p;
  p.start();
  p.topUp(0);
  p.buy(0, 0);
  p.place(kChip0);
  RunBench bench(p.app());
  bench.runToEnd({.way = AutoWay::PlanRecipes, .target = 9, .fast = true, .supply = true});
  EXPECT_EQ(bench.line().rfind("已停止（已达到目标 +9）", 0), 0u) << bench.line();
  std::array<bool, 9> seen{};
  for (const HistoryEntry& e : p.app().history().entries()) {
    const AttemptRecord& a = e.attempt;
    ASSERT_FALSE(a.synthesis);
    EXPECT_EQ(planRecipe(a.crystals, a.catalyst > 0, a.protectant > 0), *best[static_cast<size_t>(a.levelBefore)])
        << History::csvLine(e);
    seen[static_cast<size_t>(a.levelBefore)] = true;
  }
  for (size_t l = 0; l < 9; ++l) EXPECT_TRUE(seen[l]) << "+" << l;
  int64_t cost = 0;
  for (const HistoryEntry& e : p.app().history().entries()) cost += e.cost;
  EXPECT_EQ(p.state().spendTotal, cost + 100);
  // What is left is the chip: every consumable bought was used.
  for (int k = kSmallCrystal; k <= kProtectant; ++k) EXPECT_EQ(p.count(k), 0) << "code " << k;
}

TEST(AutoRun, RunsOfTheRouteSpendWhatItsDistributionSays) {
  // Many fast runs to +7 (through synthesis with the expert bonus), each making a chip, all on a clock
  // that never moves: their mean cost against the route's exact distribution, within four standard errors. (Were
  // the attempts seeded in the millisecond they are made in, each seed would follow from the last and the runs
  // would spend about 653 Q币 against 742.6.)
  const plan::Bonuses b{true, false};
  const std::vector<plan::RouteStep> route = plan::route(7, b);
  const plan::CostDistribution whole = plan::routeCost(route, 7, b);
  double mean = 0, square = 0, below = 0;
  for (size_t i = 0; i < whole.cdf.size(); ++i) {
    const double x = plan::toQ(static_cast<plan::Steps>(i)), share = whole.cdf[i] - below;
    mean += x * share;
    square += x * x * share;
    below = whole.cdf[i];
  }
  ASSERT_NEAR(mean, *route[7].expectedCost, 0.01 * mean);
  Program p;
  p.start();
  p.click("选择框1");
  RunBench bench(p.app());
#ifdef NDEBUG
  constexpr int kRuns = 200;
#else
  constexpr int kRuns = 20;  // the sanitised build is slow
#endif
  int made = 0;
  for (int run = 0; run < kRuns; ++run) {
    bench.runToEnd({.way = AutoWay::Route, .target = 7, .bonuses = b, .fast = true, .supply = true});
    ASSERT_EQ(bench.line().rfind("已停止（已做成一枚 +7）", 0), 0u) << bench.line();
    ASSERT_TRUE(bench.run.routeSpent() && bench.run.routeSpent()->made);
    if (p.tag("合成芯片位") == std::to_string(kChip7)) p.click("合成芯片位");
    made += p.count(kChip7);
    // The chip made leaves the bag: with a +7 held the route has nothing left to do.
    p.app().sim().state().itemCount[kChip7 - 1] = 0;
    p.app().sim().refreshAll();
  }
  EXPECT_EQ(made, kRuns);
  const double average = p.state().spendTotal / 10.0 / kRuns;
  EXPECT_NEAR(average, mean, 4 * std::sqrt((square - mean * mean) / kRuns));
}

TEST(AutoRun, PlanRecipesWithinABudgetFollowThePlanByLevelAndMoneyLeft) {
  // Each attempt of each run uses the recipe the plan gives for the chip's level and the money the run's attempts
  // have left, and a run stops at the target or where that money pays for no recipe that could still get there.
  // From +0 to +5 within 200 Q币 (the plan: 30.02 %), every attempt replayed against the plan; from +0 to +6
  // within 200 Q币 (the plan: 2.33 %, the least-cost recipes 0.46 %), how often many runs through the real rules
  // arrive, on a clock that never moves.
  for (const int target : {5, 6}) {
    const plan::BudgetPlan best = plan::bestWithinBudget(0, target, 200, {});
    ASSERT_NEAR(best.chance, target == 5 ? 0.3002 : 0.0233, 0.0001);
#ifdef NDEBUG
    const int kRuns = target == 5 ? 60 : 2000;
#else
    const int kRuns = 30;    // the sanitised build is slow
#endif
    Program p;
    p.withStock(stock({{kChip0, kRuns}}));
    p.start();
    RunBench bench(p.app());
    const RunRequest request{
        .way = AutoWay::PlanRecipes, .target = target, .fast = true, .supply = true, .budgetGoal = true, .budget = 200};
    std::array<int, 2> stops{};
    for (int run = 0; run < kRuns; ++run) {
      if (run > 0) p.click("芯片位");  // the last run's chip back to the stock
      p.place(kChip0);
      const size_t before = p.app().history().entries().size();
      const int32_t spent = p.state().spendTotal;
      bench.runToEnd(request);
      // The record keeps the last 100,000 attempts: the long series is replayed only in its money.
      const bool replay = target == 5;
      double left = 200 - (p.state().spendTotal - spent) / 10.0;
      const auto& entries = p.app().history().entries();
      if (replay) left = 200;
      for (size_t k = before; replay && k < entries.size(); ++k) {
        const AttemptRecord& a = entries[k].attempt;
        const plan::Recipe r = planRecipe(a.crystals, a.catalyst > 0, a.protectant > 0);
        const std::optional<plan::Recipe> planned = best.recipeAt(a.levelBefore, left);
        ASSERT_TRUE(planned && *planned == r) << "run " << run << ": " << History::csvLine(entries[k]);
        left -= plan::toQ(plan::recipeCost(r));
      }
      EXPECT_EQ(p.state().spendTotal - spent, std::lround((200 - left) * 10)) << "run " << run;
      EXPECT_GE(left, 0) << "run " << run;
      EXPECT_NE(bench.shown.back().money.find("，预算剩 " + qCoinFigure(left)), std::string::npos)
          << bench.shown.back().money;
      const std::string why = bench.line();
      if (why.rfind("已停止（已达到目标 +" + std::to_string(target) + "）", 0) == 0) {
        ++stops[0];
      } else {
        ++stops[1];
        EXPECT_EQ(why.rfind("已停止（预算不够到 +" + std::to_string(target) + " 了）", 0), 0u) << why;
        ASSERT_FALSE(entries.empty());
        EXPECT_FALSE(best.recipeAt(entries.back().attempt.levelAfter, left)) << why;
      }
    }
    EXPECT_GT(stops[0], 0);
    EXPECT_GT(stops[1], 0);
#ifdef NDEBUG
    if (target == 6) {
      const double share = static_cast<double>(stops[0]) / kRuns;
      EXPECT_NEAR(share, best.chance, 4 * std::sqrt(best.chance * (1 - best.chance) / kRuns)) << stops[0];
    }
#endif
  }
}

// 数量 for the climbs: each chip that arrives goes into the bag and the next is laid from it at the run's start
// level; the run says which chip it is on, and at its end how many it made, also when the bag runs out first. Out
// of the stock, a chip of the target's level held is one of them.
TEST(AutoRun, SeveralChipsAreClimbedOneAfterAnotherIntoTheBag) {
  Program p;
  startOnSmallCrystals(p, 2999);
  p.app().sim().state().itemCount[kChip1 + 3 - 1] = 2;  // two more +4 chips in the bag
  p.app().sim().refreshAll();
  RunBench bench(p.app());
  bench.run.start({.target = 5, .count = 3});
  EXPECT_EQ(bench.line(), "第 1/3 枚，正在强化到 +5：已 0 次，芯片 +4");
  for (int i = 0; i < 5000 && bench.run.running(); ++i) bench.run.tick(false, false);
  ASSERT_FALSE(bench.run.running());
  const uint64_t attempts = p.app().history().total();
  EXPECT_EQ(bench.line(), "已停止（已做成 3 枚 +5），共强化 " + std::to_string(attempts) + " 次");
  // The last chip stays on the bench, as one chip's run leaves it; the others are in the bag.
  EXPECT_EQ(p.tag("芯片位"), std::to_string(kChip1 + 4));
  EXPECT_EQ(p.count(kChip1 + 4), 2);
  EXPECT_EQ(p.count(kChip1 + 3), 0);
  int ups = 0;
  for (const HistoryEntry& e : p.app().history().entries()) ups += e.attempt.levelAfter == 5;
  EXPECT_EQ(ups, 3);
  std::array<bool, 4> seen{};
  for (const RunStatus& s : bench.shown) {
    for (int k = 1; k <= 3; ++k)
      seen[static_cast<size_t>(k)] |= s.line.rfind("第 " + std::to_string(k) + "/3 枚", 0) == 0;
  }
  EXPECT_TRUE(seen[1] && seen[2] && seen[3]);

  // A bag with no chip of the start level left: the run stops and says how many it made.
  p.click("芯片位");
  p.app().sim().state().itemCount[kChip1 + 3 - 1] = 1;
  p.app().sim().refreshAll();
  p.place(kChip1 + 3);
  bench.runToEnd({.target = 5, .fast = true, .count = 2});
  EXPECT_EQ(bench.line().rfind("已停止（库存里没有" + itemName(kChip1 + 3) + "了），做成 1/2 枚，共 ", 0), 0u)
      << bench.line();
  EXPECT_EQ(p.count(kChip1 + 4), 4);

  // Out of the stock, the four +5 chips held are among five: the chip on the bench is the last.
  p.app().sim().state().itemCount[kChip1 + 3 - 1] = 1;
  p.app().sim().refreshAll();
  p.place(kChip1 + 3);
  bench.runToEnd({.target = 5, .fast = true, .fromStock = true, .count = 5});
  EXPECT_EQ(bench.line().rfind("已停止（已做成 5 枚 +5），共强化 ", 0), 0u) << bench.line();
  EXPECT_EQ(p.count(kChip1 + 4), 4);
  EXPECT_EQ(p.tag("芯片位"), std::to_string(kChip1 + 4));
}

// 数量 for the route: it works until it holds that many chips of the target (those held at the start among them),
// and refuses to start when it holds them already.
TEST(AutoRun, TheRouteMakesSeveralChipsCountingThoseHeld) {
  Program p;
  p.start();
  RunBench bench(p.app());
  bench.runToEnd({.way = AutoWay::Route, .target = 3, .fast = true, .supply = true, .count = 2});
  ASSERT_EQ(bench.line().rfind("已停止（已做成 2 枚 +3），共 ", 0), 0u) << bench.line();
  EXPECT_EQ(chipsHeld(p.form(), p.app().sim())[3], 2);
  ASSERT_TRUE(bench.run.routeSpent());
  EXPECT_TRUE(bench.run.routeSpent()->made);
  EXPECT_EQ(bench.run.routeSpent()->count, 2);
  EXPECT_EQ(bench.run.refusal({.way = AutoWay::Route, .target = 3, .count = 2}), "已经有 2 枚 +3");
  EXPECT_EQ(bench.run.refusal({.way = AutoWay::Route, .target = 3}), "已经有一枚 +3");
  // Three: the two held and one more.
  const size_t started = bench.shown.size();
  bench.runToEnd({.way = AutoWay::Route, .target = 3, .fast = true, .supply = true, .count = 3});
  EXPECT_EQ(bench.line().rfind("已停止（已做成 3 枚 +3），共 ", 0), 0u) << bench.line();
  EXPECT_EQ(bench.shown[started].line, "第 3/3 枚，按路线做 +3：已 0 次");
}

// 数量 within a budget: every attempt uses the recipe the plan gives for the level, the money the run's attempts
// have left and the chips still to make.
TEST(AutoRun, SeveralChipsWithinABudgetFollowThePlanForTheChipsStillToMake) {
  const std::array<plan::BudgetPlan, 2> plans{plan::bestWithinBudget(0, 3, 300, {}, 2),
                                              plan::bestWithinBudget(0, 3, 300, {}, 1)};
  Program p;
  p.withStock(stock({{kChip0, 1}}));
  p.start();
  p.place(kChip0);
  RunBench bench(p.app());
  bench.runToEnd({.way = AutoWay::PlanRecipes,
                  .target = 3,
                  .fast = true,
                  .supply = true,
                  .budgetGoal = true,
                  .budget = 300,
                  .count = 2});
  double left = 300;
  size_t chip = 0;
  for (const HistoryEntry& e : p.app().history().entries()) {
    const AttemptRecord& a = e.attempt;
    ASSERT_LT(chip, plans.size());
    const std::optional<plan::Recipe> planned = plans[chip].recipeAt(a.levelBefore, left);
    ASSERT_TRUE(planned && *planned == planRecipe(a.crystals, a.catalyst > 0, a.protectant > 0))
        << "chip " << chip << ": " << History::csvLine(e);
    left -= plan::toQ(plan::recipeCost(*planned));
    chip += a.levelAfter == 3;
  }
  const std::string why = bench.line();
  EXPECT_TRUE(why.rfind("已停止（已做成 2 枚 +3）", 0) == 0 || why.rfind("已停止（预算不够到 +3 了），做成 ", 0) == 0)
      << why;
  EXPECT_EQ(chip == 2, why.rfind("已停止（已做成 2 枚 +3）", 0) == 0) << why;
  EXPECT_GE(chip, 1u) << why;  // the second chip's plan was followed
}
