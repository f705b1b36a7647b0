// The route out of every chip held, in the bag or on either bench: the window's figure, the command line's and
// the mean of auto-runs through the real rules from the same holdings agree; a chip held is used wherever it saves
// money, and one of the target's level leaves nothing to spend.
#include <cmath>
#include <nlohmann/json.hpp>

#include "app_fixture.h"
#include "run_program.h"
#include "plan/planner.h"
#include "sim/items.h"
#include "ui/planner_window.h"

using moxtest::fastRunsFrom;
using moxtest::Program;
// Names spelled out: this file shares a unit with others in the unity build.
using mox::chipCode;
using mox::kProtectant;
using mox::plan::route;
using mox::plan::routeCostFrom;
using mox::plan::RouteStep;
using mox::plan::Stock;

namespace {

Stock stockOf(std::initializer_list<std::pair<int, int32_t>> items) {
  Stock s{};
  for (auto [code, n] : items) s[static_cast<size_t>(code - 1)] = n;
  return s;
}

std::string stockText(const Stock& s) {
  std::string out;
  for (int32_t n : s) out += (out.empty() ? "" : " ") + std::to_string(n);
  return out;
}

// What `moxsim-plan route TO --stock ...` gives for the target's level.
double cliRoute(int to, const Stock& s) {
  const moxtest::Run run =
      moxtest::runProgram("moxsim-plan", "route " + std::to_string(to) + " --json --stock \"" + stockText(s) + "\"");
  EXPECT_EQ(run.code, 0) << run.out;
  return nlohmann::json::parse(run.out)["levels"][static_cast<size_t>(to)]["expected_cost"].get<double>();
}

// Starts the program on `bag`, lays `onBench` (a chip code, 0 for none) on the enhancement bench and asks the
// planner for the route to `to`.
void askRoute(Program& p, const Stock& bag, int32_t onBench, int to) {
  p.withStock(bag);
  p.start();
  if (onBench) p.place(onBench);
  p.click("规划按钮");
  p.select("目标等级", to);
  p.select("自动方式", 2);
  p.app().settle();
}

// Fast auto-runs of the route from `bag`, a chip `onBench` laid first: what each spent.
std::vector<double> routeRuns(const Stock& bag, int32_t onBench, int to, int runs) {
  return fastRunsFrom(
      bag, runs,
      [&](Program& p) {
        if (onBench) p.place(onBench);
        p.click("规划按钮");
        p.select("目标等级", to);
        p.select("自动方式", 2);
      },
      [&](Program& p) {
        EXPECT_EQ(p.caption("自动状态标签").rfind("已停止（已做成一枚 +" + std::to_string(to), 0), 0u)
            << p.caption("自动状态标签");
      });
}

#ifdef NDEBUG
constexpr int kRuns = 300;
#else
constexpr int kRuns = 4;  // the sanitised build: the same handlers, too few runs for the statistics
#endif

// The runs' mean against the figure, within four standard errors.
void expectMean(const std::vector<double>& spent, double figure) {
#ifdef NDEBUG
  const auto n = static_cast<double>(spent.size());
  double mean = 0, square = 0;
  for (double c : spent) {
    mean += c / n;
    square += c * c / n;
  }
  EXPECT_NEAR(mean, figure, 4 * std::sqrt((square - mean * mean) / n));
#else
  (void)spent;
  (void)figure;
#endif
}

}  // namespace

TEST(HeldRoute, TheBenchsChipCountsAsAnyChipHeld) {
  // Two +5 chips and a protectant: the same figure with both in the bag and with one laid on the bench, on the
  // command line and in the window, and the runs from the bench spend it.
  const Stock bag = stockOf({{kProtectant, 1}, {chipCode(5), 2}});
  const double figure = *routeCostFrom(route(7, {}), 7, {}, bag).expectedCost;
  EXPECT_NEAR(figure, 211.31, 0.01);
  EXPECT_DOUBLE_EQ(cliRoute(7, bag), figure);
  for (const int32_t onBench : {0, chipCode(5)}) {
    Program p;
    askRoute(p, bag, onBench, 7);
    EXPECT_EQ(p.caption("期望花费标签"), "路线平均还要花 " + mox::qCoinFigure(figure)) << "bench " << onBench;
    EXPECT_NE(p.caption("库存用量标签").find(mox::itemName(chipCode(5)) + " 2.0"), std::string::npos)
        << p.caption("库存用量标签");
  }
  expectMean(routeRuns(bag, chipCode(5), 7, kRuns), figure);
}

TEST(HeldRoute, AHeldPlus6IsUsedOnTheWay) {
  // To +9 holding a +6: cheaper than from nothing, and cheaper by more than a +7 made by fusing two fresh +5s would
  // leave. To +7 the runs from it spend what the figure says (tries at +6 that may drop it to a +5 for the fusion).
  const Stock six = stockOf({{chipCode(6), 1}});
  const std::vector<RouteStep> nine = route(9, {});
  const double toNine = cliRoute(9, six);
  EXPECT_DOUBLE_EQ(toNine, *routeCostFrom(nine, 9, {}, six).expectedCost);
  EXPECT_LT(toNine, *nine[9].expectedCost - 200);
  Program p;
  askRoute(p, six, chipCode(6), 9);
  EXPECT_EQ(p.caption("期望花费标签"), "路线平均还要花 " + mox::qCoinFigure(toNine));
  const double toSeven = cliRoute(7, six);
  EXPECT_LT(toSeven, *nine[7].expectedCost);
  expectMean(routeRuns(six, 0, 7, kRuns), toSeven);
}

TEST(HeldRoute, AHeldChipOfTheTargetLevelLeavesNothingToSpend) {
  const Stock seven = stockOf({{chipCode(7), 1}, {chipCode(5), 1}});
  EXPECT_EQ(cliRoute(7, seven), 0);
  Program p;
  askRoute(p, seven, chipCode(5), 7);
  EXPECT_EQ(p.caption("期望花费标签"), "路线平均还要花 " + mox::qCoinFigure(0));
  p.click("自动强化按钮");
  EXPECT_FALSE(p.app().planner().autoRunning());
  EXPECT_EQ(p.caption("自动状态标签"), "已经有一枚 +7");
  EXPECT_EQ(p.count(chipCode(7)), 1);
}

TEST(HeldRoute, ManyChipsHeldAreTakenByTheRuleAndTheWindowSaysSo) {
  // A bag of +0 chips stays items the route's purchases take first; twenty chips at each of six levels are too
  // many counts to choose every move for: the route from money alone takes them, and the window names that.
  Stock zeroes = stockOf({{mox::kChip0, 100}, {chipCode(6), 1}});
  const mox::plan::RouteCost bulk = routeCostFrom(route(9, {}), 9, {}, zeroes);
  EXPECT_FALSE(bulk.chipsByRule);
  zeroes[mox::kChip0 - 1] = 0;
  EXPECT_LT(*bulk.expectedCost, *routeCostFrom(route(9, {}), 9, {}, zeroes).expectedCost);
  Stock many{};
  for (int l = 1; l <= 6; ++l) many[static_cast<size_t>(chipCode(l) - 1)] = 20;
  EXPECT_TRUE(routeCostFrom(route(7, {}), 7, {}, many).chipsByRule);
  Program p;
  askRoute(p, many, 0, 7);
  EXPECT_NE(p.caption("库存用量标签").find("（芯片太多：按最省路线取用，没逐步挑选）"), std::string::npos)
      << p.caption("库存用量标签");
}
