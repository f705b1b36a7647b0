// Plans out of what the player holds: the money still to spend, exact, against cases figured by hand, against
// auto-runs through the real handlers from the same stock, and on the command line.
#include <cmath>
#include <nlohmann/json.hpp>

#include "app_fixture.h"
#include "run_program.h"
#include "plan/planner.h"
#include "sim/items.h"
#include "ui/planner_window.h"

using moxtest::fastRunsFrom;
using moxtest::Program;
using namespace mox;
using namespace mox::plan;

namespace {

Stock stockOf(std::initializer_list<std::pair<int, int32_t>> items) {
  Stock s{};
  for (auto [code, n] : items) s[static_cast<size_t>(code - 1)] = n;
  return s;
}

// The bag of the measured example: 40 small and 10 big crystals, 3 catalysts, a protectant.
const Stock kBag = stockOf({{kSmallCrystal, 40}, {kBigCrystal, 10}, {kCatalyst, 3}, {kProtectant, 1}});

std::string stockText(const Stock& s) {
  std::string out;
  for (int32_t n : s) out += (out.empty() ? "" : " ") + std::to_string(n);
  return out;
}

// The bag with a +0 chip more, the chip laid on the bench, the planner open.
void planFromBench(Program& p, Stock bag) {
  ++bag[kChip0 - 1];
  p.withStock(bag);
  p.start();
  p.place(kChip0);
  p.click("规划按钮");
}

double meanOf(const CostDistribution& d) {
  double mean = 0, below = 0;
  for (size_t i = 0; i < d.cdf.size(); ++i) {
    mean += toQ(static_cast<Steps>(i)) * (d.cdf[i] - below);
    below = d.cdf[i];
  }
  return mean;
}

}  // namespace

TEST(PlanStock, TheMoneyStillToSpend) {
  // +0 to +7 with the least-cost recipes: 3,216.04 Q币 from an empty bag, 2,956.77 from the bag above.
  const RecipePlan best = bestRecipes({});
  const plan::Climb empty = climb({.from = 0, .to = 7, .recipes = best});
  const plan::Climb bag = climb({.from = 0, .to = 7, .recipes = best, .stock = kBag, .budget = 3000});
  EXPECT_NEAR(*empty.expectedCost, 3216.04, 0.005);
  EXPECT_NEAR(*bag.expectedCost, 2956.77, 0.005);
  EXPECT_EQ(empty.fromStock, ItemCounts{});
  // What the bag saves is what its items taken would have cost; the one protectant is always used.
  EXPECT_NEAR(*empty.expectedCost - *bag.expectedCost,
              bag.fromStock[kSmallCrystal - 1] * 2.5 + bag.fromStock[kBigCrystal - 1] * 10 +
                  bag.fromStock[kCatalyst - 1] * 3.5 + bag.fromStock[kProtectant - 1] * 50,
              1e-9);
  EXPECT_EQ(bag.fromStock[kProtectant - 1], 1);
  EXPECT_LE(bag.fromStock[kSmallCrystal - 1], 40);
  // The distribution is the money still to spend: its mean is the expectation, to the part past its last
  // percentile; the budget's chance lies on it.
  EXPECT_NEAR(meanOf(bag), *bag.expectedCost, 0.01 * *bag.expectedCost);
  EXPECT_LT(*bag.percentiles[1].cost, *empty.percentiles[1].cost);
  EXPECT_EQ(*bag.withinBudget, bag.cdf[6000]);

  // A bag that covers the whole plan (+0 to +1 on four big crystals never fails): nothing to spend; one short,
  // the price of one.
  const RecipePlan four = [] {
    RecipePlan p;
    p[0] = plan::Recipe{.big = 4};
    return p;
  }();
  const plan::Climb covered = climb({.from = 0, .to = 1, .recipes = four, .stock = stockOf({{kBigCrystal, 4}})});
  EXPECT_EQ(*covered.expectedCost, 0);
  EXPECT_EQ(covered.cdf[0], 1);
  const plan::Climb short1 = climb({.from = 0, .to = 1, .recipes = four, .stock = stockOf({{kBigCrystal, 3}})});
  EXPECT_EQ(*short1.expectedCost, 10);
  EXPECT_EQ(*short1.percentiles[0].cost, 10);
  EXPECT_EQ(short1.cdf[19], 0);

  // The least-cost plan for the bag: never dearer than the empty bag's recipes from it, and from an empty bag
  // those recipes themselves.
  const RecipePlan fromBag = bestRecipesFrom(0, 7, {}, kBag);
  const plan::Climb chosen = climb({.from = 0, .to = 7, .recipes = fromBag, .stock = kBag, .distribution = false});
  EXPECT_LE(*chosen.expectedCost, *bag.expectedCost);
  EXPECT_EQ(bestRecipesFrom(0, 7, {}, Stock{}), best);
  EXPECT_THROW(climb({.from = 0, .to = 1, .recipes = four, .stock = stockOf({{kBigCrystal, -1}})}), PlanError);
}

TEST(PlanStock, TheCommandLineTakesAStock) {
  const std::string bag = stockText(kBag);
  const moxtest::Run run =
      moxtest::runProgram("moxsim-plan", "climb 0 7 --best --json --budget 3000 --stock \"" + bag + "\"");
  ASSERT_EQ(run.code, 0) << run.out;
  const nlohmann::json j = nlohmann::json::parse(run.out);
  const RecipePlan recipes = bestRecipesFrom(0, 7, {}, kBag);
  const plan::Climb exact = climb({.from = 0, .to = 7, .recipes = recipes, .stock = kBag, .budget = 3000});
  EXPECT_EQ(j["expected_cost"].get<double>(), *exact.expectedCost);
  EXPECT_EQ(j["within_budget"].get<double>(), *exact.withinBudget);
  EXPECT_EQ(j["percentiles"]["90"].get<double>(), *exact.percentiles[1].cost);
  ASSERT_EQ(j["from_stock"].size(), 15u);
  EXPECT_EQ(j["from_stock"][kProtectant - 1].get<double>(), 1);

  // The same bag from a save file; budget and route count it too.
  Program p;
  p.withStock(kBag);
  const std::string save = " --save " + moxtest::quoted(p.dir() / "MOXdata");
  const nlohmann::json fromSave =
      nlohmann::json::parse(moxtest::runProgram("moxsim-plan", "climb 0 7 --best --json" + save).out);
  EXPECT_EQ(fromSave["expected_cost"].get<double>(), *exact.expectedCost);
  const nlohmann::json budget =
      nlohmann::json::parse(moxtest::runProgram("moxsim-plan", "budget 0 7 3000 --json" + save).out);
  EXPECT_EQ(budget["within_budget"].get<double>(), *exact.withinBudget);
  EXPECT_NE(moxtest::runProgram("moxsim-plan", "climb 0 7 --best" + save).out.find("still to spend"),
            std::string::npos);

  // A stock that is malformed, negative or of the wrong length: one line naming it, exit 2.
  moxtest::writeFile(p.dir() / "foreign", "not a save");
  const std::pair<std::string, const char*> refusals[] = {
      {"climb 0 7 --best --stock \"1 2 3\"", "not 15"},
      {"climb 0 7 --best --stock \"" + bag + " 4\"", "more than 15"},
      {"route 7 --stock \"0 -1 0 0 0 0 0 0 0 0 0 0 0 0 0\"", "below 0"},
      {"budget 0 7 100 --stock \"0 x 0 0 0 0 0 0 0 0 0 0 0 0 0\"", "'x'"},
      {"climb 0 7 --best --save " + moxtest::quoted(p.dir() / "foreign"), "not a save file"},
      {"climb 0 7 --best --save " + moxtest::quoted(p.dir() / "none"), "cannot be read"},
      {"climb 0 7 --best --stock \"" + bag + "\"" + save, "not both"},
  };
  for (const auto& [args, named] : refusals) {
    const moxtest::Run r = moxtest::runProgram("moxsim-plan", args);
    EXPECT_EQ(r.code, 2) << args;
    EXPECT_NE(r.out.find(named), std::string::npos) << args << ": " << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << args << ": " << r.out;
  }
}

namespace {

// Fast auto-runs from the same bag by way 1 (按规划配方, a +0 chip on the bench) or 2 (按路线): what each spent.
std::vector<double> autoRunsFrom(const Stock& bag, int target, int way, bool expert, int runs) {
  return fastRunsFrom(bag, runs, [&](Program& p) {
    p.click("规划按钮");
    if (expert) p.click("选择框1");
    p.select("目标等级", target);
    p.select("自动方式", way);
    if (way == 1) p.place(kChip0);
  });
}

// The runs' mean against the exact expectation and their shares within the percentiles against the distribution,
// each within four standard errors.
void expectRunsMatch(const std::vector<double>& spent, double expected, const CostDistribution& d);

#ifdef NDEBUG
constexpr int kRuns = 300;
constexpr bool kStatistics = true;
#else
// The sanitised build runs the same handlers a few times for what the sanitizers find: a few dozen runs are too few
// for four standard errors to hold in a 99th percentile's tail, and at its speed each run takes seconds. The
// statistics are the optimised builds' (Linux and Windows).
constexpr int kRuns = 6;
constexpr bool kStatistics = false;
#endif

void expectRunsMatch(const std::vector<double>& spent, double expected, const CostDistribution& d) {
  if (!kStatistics) return;
  const auto n = static_cast<double>(spent.size());
  double mean = 0, square = 0;
  for (double c : spent) mean += c / n;
  for (double c : spent) square += (c - mean) * (c - mean) / (n - 1);
  EXPECT_NEAR(mean, expected, 4 * std::sqrt(square / n)) << "mean of " << n << " runs";
  for (const Percentile& q : d.percentiles) {
    const double f = d.cdf[static_cast<size_t>(*q.cost / kQPerStep)];
    double share = 0;
    for (double c : spent) share += (c <= *q.cost) / n;
    EXPECT_NEAR(share, f, 4 * std::sqrt(f * (1 - f) / n)) << "share within " << *q.cost;
  }
}

}  // namespace

TEST(PlanStock, AutoRunsFromTheBagSpendWhatThePlanSays) {
  // 按规划配方 from +0 to +7 out of the bag.
  const Stock bag = kBag;
  const plan::Climb plan = climb({.from = 0, .to = 7, .recipes = bestRecipesFrom(0, 7, {}, bag), .stock = bag});
  Stock withChip = bag;
  withChip[kChip0 - 1] = 1;
  expectRunsMatch(autoRunsFrom(withChip, 7, 1, false, kRuns), *plan.expectedCost, plan);

  // 按路线 to +7 with the expert bonus out of a bag with two +5 chips, a +0, crystals and a protectant: the +5s are
  // fused at once.
  const Bonuses expert{.expert = true};
  Stock chips = bag;
  chips[kChip0 - 1] = 1;
  chips[chipCode(5) - 1] = 2;
  const std::vector<RouteStep> steps = route(7, expert);
  ASSERT_EQ(steps[7].text(), "fuse 5+5 protected");
  const RouteCost r = routeCostFrom(steps, 7, expert, chips);
  EXPECT_EQ(r.fromStock[chipCode(5) - 1], 2);
  EXPECT_NEAR(*r.expectedCost, *steps[7].expectedCost - 2 * *steps[5].expectedCost - 50, 1e-9);
  expectRunsMatch(autoRunsFrom(chips, 7, 2, true, kRuns), *r.expectedCost, r);
  // Without chips the route climbs and fuses from the crystals of the bag.
  const RouteCost crystals = routeCostFrom(steps, 7, expert, bag);
  EXPECT_LT(*crystals.expectedCost, *steps[7].expectedCost);
  EXPECT_NEAR(meanOf(crystals), *crystals.expectedCost, 0.01 * *crystals.expectedCost);
  expectRunsMatch(autoRunsFrom(bag, 7, 2, true, kRuns), *crystals.expectedCost, crystals);
  // An empty bag: today's figures.
  const RouteCost none = routeCostFrom(steps, 7, expert, Stock{});
  EXPECT_EQ(none.expectedCost, steps[7].expectedCost);
  EXPECT_EQ(none.cdf, routeCost(steps, 7, expert).cdf);
}

TEST(PlanStock, ThePlannerWindowPlansFromTheBag) {
  Program p;
  planFromBench(p, kBag);
  p.select("目标等级", 7);
  p.app().settle();
  EXPECT_TRUE(p.control("按库存规划").checked);
  const plan::Climb c = climb({.from = 0, .to = 7, .recipes = bestRecipesFrom(0, 7, {}, kBag), .stock = kBag});
  EXPECT_EQ(p.caption("规划结果框"), "升到目标还要花多少");
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*c.expectedCost));
  EXPECT_EQ(p.caption("九成花费标签"), "九成玩家 ≤ " + qCoinFigure(*c.percentiles[1].cost));
  EXPECT_EQ(p.caption("库存用量标签"), "从库存用：小晶体 39.8 · 大晶体 10.0 · 催化剂 3.0 · 防护剂 1.0");
  // A purchase changes the bag and so the plan.
  p.topUp(1);
  p.buy(5, 0);  // one protectant
  p.app().settle();
  Stock more = kBag;
  ++more[kProtectant - 1];
  const plan::Climb after = climb({.from = 0, .to = 7, .recipes = bestRecipesFrom(0, 7, {}, more), .stock = more});
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*after.expectedCost));
  // A bag of a million crystals: the recipes are chosen as though it held a thousand (in a moment, not minutes),
  // and the window says so; the figures are the whole bag's.
  Program big;
  Stock million{};
  million[kSmallCrystal - 1] = 999'999;
  planFromBench(big, million);
  big.select("目标等级", 9);
  big.app().settle();
  EXPECT_NE(big.caption("库存用量标签").find("（配方按每种最多 1000 个挑选）"), std::string::npos)
      << big.caption("库存用量标签");
  EXPECT_EQ(big.caption("期望花费标签"),
            "平均还要花 " + qCoinFigure(*climb({.from = 0,
                                                .to = 9,
                                                .recipes = bestRecipesFrom(0, 9, {}, million),
                                                .stock = million,
                                                .distribution = false})
                                             .expectedCost));

  // Off: the bag is left aside, as before.
  p.click("按库存规划");
  p.app().settle();
  EXPECT_EQ(p.caption("期望花费标签"),
            "平均 " + qCoinFigure(*climb({.from = 0, .to = 7, .recipes = bestRecipes({})}).expectedCost));
  EXPECT_EQ(p.caption("库存用量标签"), "");
}

// 复制规划链接 copies the question (what is held: the bag and both benches, the bench's +0 chip too); the link opens
// it elsewhere with the same figures, its stock never written into the visitor's own; anything else in a fragment is
// refused and changes nothing.
TEST(PlanStock, ALinkCarriesTheQuestion) {
  const std::vector<std::string> captions = {"起始等级标签", "期望花费标签", "九成花费标签", "预算成功率标签",
                                             "库存用量标签"};
  Program asker;
  planFromBench(asker, kBag);
  asker.click("选择框1");
  asker.select("目标等级", 0);
  asker.click("复制规划链接");
  EXPECT_EQ(asker.caption("计算状态标签"), "先选更高的目标");
  asker.select("目标等级", 7);
  asker.select("预算列表", 3);
  asker.select("自动方式", 1);
  asker.app().settle();
  asker.click("复制规划链接");
  const std::string link = asker.platform().clipboard();
  EXPECT_EQ(link, "http://127.0.0.1:8080/#v=1&from=0&to=7&goal=0&budget=1000&bonus=10&way=1&stock=" +
                      std::string("1.40.10.0.3.1.0.0.0.0.0.0.0.0.0"));
  EXPECT_EQ(asker.caption("计算状态标签"), "链接已复制");

  Program visitor;
  visitor.start();
  const std::string saveBefore = visitor.platform().readFile("MOXdata", 1 << 20).value_or("");
  ASSERT_TRUE(visitor.app().planner().openLink(link.substr(link.find('#'))));
  visitor.app().settle();
  EXPECT_TRUE(visitor.shown("目标等级"));
  EXPECT_TRUE(visitor.control("选择框1").checked);
  EXPECT_EQ(visitor.control("自动方式").selection, 1);
  for (const std::string& name : captions) {
    const std::string mine = asker.caption(name), theirs = visitor.caption(name);
    if (name == "起始等级标签")
      EXPECT_EQ(theirs, "起始：+0（链接里的问题）");
    else if (name == "库存用量标签")
      EXPECT_EQ(theirs, "链接里的库存 · " + mine);
    else
      EXPECT_EQ(theirs, mine) << name;
  }
  for (int code = 1; code <= 15; ++code) EXPECT_EQ(visitor.count(code), 0);
  EXPECT_EQ(visitor.platform().readFile("MOXdata", 1 << 20).value_or(""), saveBefore);
  // The visitor's own chip on the bench is their own question again.
  visitor.click("选择框1");
  visitor.topUp(1);
  visitor.buy(0, 0);
  visitor.place(kChip0);
  visitor.app().settle();
  EXPECT_EQ(visitor.caption("起始等级标签"), "起始：+0（强化台上的芯片）");
  EXPECT_EQ(visitor.caption("库存用量标签"), "库存里没有要用的东西");

  const std::string target = visitor.caption("期望花费标签");
  for (const char* bad :
       {"", "#", "v=1", "v=2&from=0&to=7&goal=0&budget=1000&bonus=10&way=1",
        "v=1&from=0&to=7&goal=0&budget=1000&bonus=10&way=1&to=8", "v=1&from=7&to=7&goal=0&budget=1000&bonus=10&way=1",
        "v=1&from=0&to=7&goal=0&budget=999&bonus=10&way=1", "v=1&from=0&to=7&goal=0&budget=1000&bonus=12&way=1",
        "v=1&from=0&to=7&goal=0&budget=1000&bonus=10&way=1&stock=1.2.3",
        "v=1&from=0&to=7&goal=0&budget=1000&bonus=10&way=1&stock=-1.0.0.0.0.0.0.0.0.0.0.0.0.0.0",
        "v=1&from=0&to=7&goal=0&budget=1000&bonus=10&way=1&x=%3Cscript%3E",
        "v=1&from=+0&to=7&goal=0&budget=1000&bonus=10&way=1&"}) {
    EXPECT_FALSE(visitor.app().planner().openLink(bad)) << bad;
  }
  EXPECT_FALSE(visitor.app().planner().openLink("v=1&from=0&to=7&goal=0&budget=1000&bonus=10&way=1&stock=" +
                                                std::string(600, '9')));
  visitor.app().settle();
  EXPECT_EQ(visitor.caption("期望花费标签"), target);
  EXPECT_FALSE(visitor.control("选择框1").checked);
}
