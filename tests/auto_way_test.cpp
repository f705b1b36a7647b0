// The whole cheapest route from money alone (buying chips, climbing, fusing) through the planner window and the
// script driver, checked against the record, the stock, the counters and the money, and the route's figures,
// chart and luck the window shows. The run's own ways: auto_run_test.cpp.
#include <map>
#include <sstream>

#include "app_fixture.h"
#include "run_program.h"
#include "plan/planner.h"
#include "ui/history.h"
#include "ui/planner_window.h"

using moxtest::Program;
using namespace mox;

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string part; std::getline(in, part, sep);) out.push_back(part);
  return out;
}

// What a run's record says: the money its attempts used up, the consumables by kind (as `used` counts them),
// and the chips it took in (bought +0 chips: the one made, one per fusion success, one per unprotected failure).
struct Tally {
  int64_t cost = 0;  // tenths of a Q币
  std::array<int64_t, 5> used{};
  int64_t chips = 1;
  int fusions = 0;
};

void count(Tally& t, const std::string& op, const std::string& items, const std::string& cost,
           const std::string& outcome) {
  static const std::map<std::string, size_t> kinds = {
      {"小晶体", 0}, {"大晶体", 1}, {"魔晶体", 2}, {"催化剂", 3}, {"防护剂", 4}};
  const size_t dot = cost.find('.');
  t.cost += std::stoll(cost.substr(0, dot)) * 10 + (dot == std::string::npos ? 0 : std::stoll(cost.substr(dot + 1)));
  bool protectant = false;
  for (const std::string& item : split(items, ' ')) {
    const size_t times = item.find("×");
    const std::string name = item.substr(0, times);
    const int n = times == std::string::npos ? 1 : std::stoi(item.substr(times + std::string("×").size()));
    if (auto it = kinds.find(name); it != kinds.end()) t.used[it->second] += n;
    protectant = protectant || name == "防护剂";
  }
  if (op == "合成") {
    ++t.fusions;
    t.chips += outcome == "合成成功" || !protectant;
  }
}

// Runs a started program's planner to `target` along the route, with 快速 and 自动补给, until it stops.
void runRoute(Program& p, int target) {
  p.click("规划按钮");
  p.click("选择框1");  // the expert bonus: the cheapest routes then go through synthesis
  p.select("目标等级", target);
  p.select("自动方式", 2);
  p.click("快速");
  p.click("自动补给");
  p.click("自动强化按钮");
  for (int i = 0; i < 2000 && p.app().planner().autoRunning(); ++i) p.app().tickTimers(1);
}

}  // namespace

TEST(AutoWay, TheRouteFromMoneyAloneToPlus7ThroughTheScriptDriver) {
  ASSERT_EQ(plan::route(7, {true, false})[7].how, plan::RouteStep::How::Fuse);
  Program p;
  const moxtest::Run run = moxtest::runProgram(
      "moxsim-script", moxtest::quoted(p.dir()),
      "click 规划按钮\nclick 选择框1\nselect 目标等级 7\nselect 自动方式 2\nselected 自动方式\n"
      "caption 自动说明标签\nclick 快速\nclick 自动补给\nclick 自动强化按钮\ntick 400\ncaption 自动状态标签\n"
      "stock\nused\nmoney\ntag 芯片位\ntag 合成芯片位1\ntag 合成芯片位2\ntag 合成防护位\ntag 合成芯片位\nhistory\n");
  ASSERT_EQ(run.code, 0) << run.out;
  const std::vector<std::string> lines = split(run.out, '\n');
  ASSERT_GT(lines.size(), 13u);
  EXPECT_EQ(lines[0], "2");
  EXPECT_EQ(lines[1].rfind("照最省路线", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("已停止（已做成一枚 +7）", 0), 0u) << lines[2];

  // One chip +7 and nothing else: in the stock or still in the result slot.
  std::vector<std::string> stock = split(lines[3], ' ');
  ASSERT_EQ(stock.size(), 15u);
  int sevens = std::stoi(stock[kChip7 - 1]);
  for (size_t i = 0; i < stock.size(); ++i) EXPECT_TRUE(stock[i] == "0" || i == kChip7 - 1) << "code " << i + 1;
  for (size_t i = 6; i < 11; ++i) {
    if (lines[i] == std::to_string(kChip7))
      ++sevens;
    else
      EXPECT_EQ(lines[i], "0") << "slot line " << i;
  }
  EXPECT_EQ(sevens, 1);

  // The record: every attempt, fusions among them; the counters and the money are what it says.
  Tally t;
  ASSERT_EQ(lines[11], History::csvHeader());
  for (size_t i = 12; i < lines.size(); ++i) {
    const std::vector<std::string> f = split(lines[i], ',');
    ASSERT_EQ(f.size(), 9u) << lines[i];
    count(t, f[1], f[6], f[7], f[8]);
  }
  EXPECT_GT(t.fusions, 0);
  std::vector<std::string> used = split(lines[4], ' ');
  ASSERT_EQ(used.size(), 5u);
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(std::stoll(used[k]), t.used[k]) << "kind " << k;
  const std::vector<std::string> money = split(lines[5], ' ');
  ASSERT_EQ(money.size(), 3u);
  const int64_t balance = std::stoll(money[0]), recharge = std::stoll(money[1]), spend = std::stoll(money[2]);
  EXPECT_EQ(spend, t.cost + 100 * t.chips);
  EXPECT_EQ(recharge - spend, balance);
  EXPECT_LT(balance, 500);  // topped up only as the next purchase needed
}

TEST(AutoWay, TheRouteToPlus9FollowsTheRouteAndEveryFigureAddsUp) {
  Program p;
  p.start();
  runRoute(p, 9);
  EXPECT_EQ(p.caption("自动状态标签").rfind("已停止（已做成一枚 +9）", 0), 0u) << p.caption("自动状态标签");
  EXPECT_EQ(p.caption("自动强化按钮"), "自动强化");

  // Every enhancement laid the best recipe of its level; every fusion is one the route makes.
  const plan::Bonuses b{true, false};
  const plan::RecipePlan best = plan::bestRecipes(b);
  const std::vector<plan::RouteStep> route = plan::route(9, b);
  Tally t;
  for (const HistoryEntry& e : p.app().history().entries()) {
    const AttemptRecord& a = e.attempt;
    const std::string line = History::csvLine(e);
    const std::vector<std::string> f = split(line, ',');
    count(t, f[1], f[6], f[7], f[8]);
    if (a.synthesis) {
      const plan::RouteStep& s =
          route[static_cast<size_t>(plan::fusion(a.levelBefore, a.otherLevelBefore, a.protectant > 0, b).result)];
      EXPECT_EQ(s.how, plan::RouteStep::How::Fuse) << line;
      EXPECT_EQ(std::max(a.levelBefore, a.otherLevelBefore), s.a) << line;
      EXPECT_EQ(std::min(a.levelBefore, a.otherLevelBefore), s.b) << line;
      EXPECT_EQ(a.protectant > 0, s.protectant) << line;
    } else {
      plan::Recipe r{.catalyst = a.catalyst > 0, .protectant = a.protectant > 0};
      for (int32_t c : a.crystals) {
        r.small += c == kSmallCrystal;
        r.big += c == kBigCrystal;
        r.magic += c == kMagicCrystal;
      }
      EXPECT_EQ(r, *best[static_cast<size_t>(a.levelBefore)]) << line;
    }
  }
  EXPECT_GT(t.fusions, 0);

  // The stock holds the chip made and nothing else; the counters and the money are the record's.
  int nines = p.count(kChip9);
  for (const char* slot : {"芯片位", "合成芯片位"}) nines += p.tag(slot) == std::to_string(kChip9);
  EXPECT_EQ(nines, 1);
  for (int k = 1; k < kChip9; ++k) EXPECT_EQ(p.count(k), 0) << "code " << k;
  for (size_t k = 0; k < 5; ++k) EXPECT_EQ(p.state().usedCount[k], t.used[k]) << "kind " << k;
  const SimState& s = p.state();
  EXPECT_EQ(s.spendTotal, t.cost + 100 * t.chips);
  EXPECT_EQ(s.rechargeTotal - s.spendTotal, s.qCoinBalance);
  EXPECT_EQ(p.caption("自动花费标签").rfind("这次花了 " + qCoinText(s.spendTotal) + " Q币", 0), 0u);
  // The figures, the chart and the luck are the route's, and the money it spent is what the shop took.
  p.app().settle();
  const plan::CostDistribution whole = plan::routeCost(route, 9, b, 500.0);
  EXPECT_EQ(p.caption("期望花费标签"), "路线平均还要花 " + qCoinFigure(*route[9].expectedCost));
  EXPECT_EQ(p.caption("九成花费标签"), "九成玩家 ≤ " + qCoinFigure(*whole.percentiles[1].cost));
  const size_t at = static_cast<size_t>(s.spendTotal / 5);
  const double more = 1 - (at < whole.cdf.size() ? whole.cdf[at] : whole.cdf.back());
  EXPECT_EQ(p.caption("运气标签"), "花费少于 " + percentText(more, 0) + " 的玩家");
  EXPECT_NE(p.caption("运气说明").find("比你的 " + qCoinText(s.spendTotal) + " Q币 多"), std::string::npos);
  const auto& chart = p.control("花费分布图").chart;
  ASSERT_TRUE(chart && !chart->points.empty());
  for (auto [x, y] : chart->points) EXPECT_DOUBLE_EQ(y, whole.cdf[static_cast<size_t>(x / plan::kQPerStep)]);
  ASSERT_FALSE(chart->marks.empty());
  EXPECT_EQ(chart->marks.back().x, s.spendTotal / 10.0);
  EXPECT_EQ(chart->marks.back().label, "已花");
  p.select("自动方式", 0);
  EXPECT_EQ(p.caption("期望花费标签").rfind("平均还要花 ", 0), 0u);
  p.select("自动方式", 2);

  // A second run has nothing to do: the +9 held is the route's chip, and nothing is left to spend.
  p.click("自动强化按钮");
  EXPECT_FALSE(p.app().planner().autoRunning());
  EXPECT_EQ(p.caption("自动状态标签"), "已经有一枚 +9");
  nines = p.count(kChip9);
  for (const char* slot : {"芯片位", "合成芯片位"}) nines += p.tag(slot) == std::to_string(kChip9);
  EXPECT_EQ(nines, 1);
}
