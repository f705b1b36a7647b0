// The planner window through its controls: the true odds of the benches, the plan's figures against the planner
// library, auto-run's button, timer and status (the run itself: auto_run_test.cpp), the record of attempts and
// its export.
#include <algorithm>
#include <numeric>

#include "app_fixture.h"
#include "run_program.h"
#include "plan/planner.h"
#include "ui/history.h"
#include "ui/planner_parts.h"
#include "ui/planner_window.h"

using moxtest::itemsHeld;
using moxtest::Program;
using moxtest::stock;
using namespace mox;

TEST(Planner, TrueOddsFollowTheBenches) {
  Program p;
  p.withStock(
      stock({{kChip0, 1}, {kBigCrystal, 8}, {kCatalyst, 2}, {kChip1 + 3, 2}, {kChip1 + 4, 1}, {kProtectant, 1}}));
  p.start();
  p.click("规划按钮");
  EXPECT_TRUE(p.shown("目标等级"));
  EXPECT_EQ(p.caption("强化几率标签"), "强化：强化台上没有芯片");
  p.place(kChip0);
  EXPECT_EQ(p.caption("强化几率标签"), "强化 +0：放上晶体后显示几率");

  auto expectOdds = [&](int level, const plan::Recipe& r, bool lab) {
    const plan::Odds o = plan::odds(level, r, {false, lab});
    EXPECT_EQ(o.shown, p.caption("标签2"));
    EXPECT_EQ(p.caption("强化几率标签"), "强化 +" + std::to_string(level) + "→+" + std::to_string(level + 1) +
                                             "：显示 " + p.caption("标签2") + " · 实际 " + percentText(o.success));
    const std::string drop = o.drop > 0 ? "失败降一级的几率 " + percentText(o.drop) : "失败不会降级";
    EXPECT_EQ(p.caption("降级几率标签"), drop + " · 每次花费 " + qCoinFigure(plan::toQ(o.cost)));
  };
  p.place(kBigCrystal);
  p.place(kBigCrystal);
  expectOdds(0, {.big = 2}, false);
  p.place(kCatalyst);
  expectOdds(0, {.big = 2, .catalyst = true}, false);
  p.click("选择框2");
  expectOdds(0, {.big = 2, .catalyst = true}, true);
  EXPECT_NE(p.caption("加成标签").find("实验室加成 开"), std::string::npos);

  // A chip +5 can drop: the chance of that is shown too.
  p.click("芯片位");
  p.place(kChip1 + 4);
  expectOdds(5, {.big = 2, .catalyst = true}, true);
  EXPECT_GT(plan::odds(5, {.big = 2, .catalyst = true}, {false, true}).drop, 0);

  p.click("合成显示按钮");
  EXPECT_EQ(p.caption("强化几率标签"), "强化：强化台未打开");
  EXPECT_EQ(p.caption("合成几率标签"), "合成：放上两枚芯片后显示几率");
  p.place(kChip1 + 3);
  p.place(kChip1 + 3);
  const plan::Fusion f = plan::fusion(4, 4, false, {false, true});
  EXPECT_EQ(p.caption("合成几率标签"), "合成 +4/+4→+" + std::to_string(f.result) + "：显示 " + p.caption("成功率结") +
                                           " · 实际 " + percentText(f.success) + " · 失败毁一枚");
}

TEST(Planner, PlanFiguresAreTheLibrarysAndArriveThroughTheTimer) {
  Program p;
  p.withStock(stock({{kChip1 + 1, 1}}));
  p.start();
  p.place(kChip1 + 1);
  p.click("规划按钮");
  p.select("目标等级", 6);
  EXPECT_EQ(p.caption("计算状态标签"), "计算中…");
  p.app().settle();
  EXPECT_EQ(p.caption("计算状态标签"), "");
  EXPECT_EQ(p.control("规划时钟").interval, 0);

  const plan::Bonuses b{};
  const plan::RecipePlan best = plan::bestRecipes(b);
  const plan::Climb c = plan::climb({.from = 2, .to = 6, .recipes = best, .bonuses = b, .budget = 500.0});
  EXPECT_EQ(p.caption("起始等级标签"), "起始：+2（强化台上的芯片）");
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*c.expectedCost));
  EXPECT_EQ(p.caption("中位花费标签"), "一半玩家 ≤ " + qCoinFigure(*c.percentiles[0].cost));
  EXPECT_EQ(p.caption("九成花费标签"), "九成玩家 ≤ " + qCoinFigure(*c.percentiles[1].cost));
  EXPECT_EQ(p.caption("预算成功率标签"), "预算 " + qCoinFigure(500) + " 内成功 " + percentText(*c.withinBudget, 1));
  // The recipe of a level the climb uses is shown by its pictures; a level it never visits is blank.
  const int first = best[2]->small ? kSmallCrystal : best[2]->big ? kBigCrystal : kMagicCrystal;
  EXPECT_EQ(p.control("配方2物品0").picture, "icon_" + std::string(first == kSmallCrystal ? "small_crystal"
                                                                   : first == kBigCrystal ? "big_crystal"
                                                                                          : "magic_crystal"));
  EXPECT_EQ(p.control("配方7物品0").picture, "");
  // The chart is the library's distribution, marked at its median and 90th percentile and at the budget.
  const auto& chart = p.control("花费分布图").chart;
  ASSERT_TRUE(chart && !chart->points.empty());
  for (auto [x, y] : chart->points) EXPECT_DOUBLE_EQ(y, c.cdf[static_cast<size_t>(x / plan::kQPerStep)]);
  ASSERT_GE(chart->marks.size(), 3u);
  EXPECT_EQ(chart->marks[0].x, *c.percentiles[0].cost);
  EXPECT_EQ(chart->marks[1].x, *c.percentiles[1].cost);
  EXPECT_EQ(chart->marks[2].x, 500.0);

  p.select("规划目标", 1);
  p.select("预算列表", 3);
  p.app().settle();
  const plan::BudgetPlan bp = plan::bestWithinBudget(2, 6, 1000.0, b);
  EXPECT_EQ(p.caption("预算成功率标签"), "预算 " + qCoinFigure(1000) + " 内最高成功率 " + percentText(bp.chance, 1));

  p.select("目标等级", 1);
  p.app().settle();
  EXPECT_EQ(p.caption("期望花费标签"), "目标等级要高于起始等级 +2");
}

TEST(Planner, DeferredFiguringRunsOnTheResultTickWithoutAThread) {
  // A build without threads defers the figuring: the window still says it is figuring until its timer ticks.
  Program p;
  p.withStock(stock({{kChip1 + 1, 1}}));
  p.start();
  p.app().planner().setFiguringLaunch(std::launch::deferred);
  p.place(kChip1 + 1);
  p.click("规划按钮");
  p.select("目标等级", 4);
  EXPECT_EQ(p.caption("计算状态标签"), "计算中…");
  EXPECT_GT(p.control("规划时钟").interval, 0);
  // The first tick figures the plan asked for at opening (to +5), the next one the new target's.
  p.app().tickTimers();
  EXPECT_EQ(p.caption("计算状态标签"), "计算中…");
  p.app().tickTimers();
  EXPECT_EQ(p.caption("计算状态标签"), "");
  EXPECT_EQ(p.control("规划时钟").interval, 0);
  const plan::Climb c = plan::climb({.from = 2, .to = 4, .recipes = plan::bestRecipes({}), .bonuses = {}});
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*c.expectedCost));
}

TEST(PlannerAutoRun, SlowRunsOneAttemptATickAndStopsByButtonOrEscKeepingEveryItem) {
  Program p;
  p.withStock(stock({{kChip0, 1}, {kBigCrystal, 40}, {kCatalyst, 10}}));
  p.start();
  const int64_t held = itemsHeld(p);
  p.place(kChip0);
  for (int i = 0; i < 4; ++i) p.place(kBigCrystal);
  p.place(kCatalyst);
  p.click("规划按钮");
  p.select("目标等级", 9);
  p.click("自动强化按钮");
  EXPECT_EQ(p.control("自动强化时钟").interval, AutoRun::kSlowIntervalMs);
  p.sounds();
  for (int i = 1; i <= 3; ++i) {
    p.app().tickTimers(1);
    EXPECT_EQ(p.app().history().total(), static_cast<uint64_t>(i));
  }
  // Slow runs play as a click does.
  EXPECT_EQ(p.sounds().size(), 3u);
  EXPECT_EQ(p.banners().size(), 3u);
  p.click("自动强化按钮");
  EXPECT_FALSE(p.app().planner().autoRunning());
  EXPECT_EQ(p.control("自动强化时钟").interval, 0);
  EXPECT_EQ(p.control("自动强化按钮").picture, "wide_autorun_normal");
  p.app().tickTimers(5);
  EXPECT_EQ(p.app().history().total(), 3u);

  // Esc stops a run first, and closes the window only when nothing runs.
  p.click("自动强化按钮");
  p.app().tickTimers(2);
  EXPECT_FALSE(p.app().escape(p.app().plannerForm()));
  EXPECT_FALSE(p.app().planner().autoRunning());
  EXPECT_TRUE(p.shown("目标等级"));
  EXPECT_FALSE(p.app().escape(p.app().plannerForm()));
  EXPECT_FALSE(p.shown("目标等级"));
  EXPECT_TRUE(p.app().click("自动强化按钮"));  // a closed window's controls take no clicks
  EXPECT_FALSE(p.app().planner().autoRunning());

  // Nothing appeared or vanished: what is held is what there was less what the attempts used up.
  const int64_t used = std::accumulate(p.state().usedCount.begin(), p.state().usedCount.end(), int64_t{0});
  EXPECT_EQ(used, 5 * 5);
  EXPECT_EQ(itemsHeld(p), held - used);
}

TEST(PlannerAutoRun, AFastRunIsQuietAndTheWindowCatchesUpAtItsEnd) {
  Program p;
  p.withStock(stock({{kChip1 + 3, 1}, {kSmallCrystal, 2000}}));
  p.start();
  p.place(kChip1 + 3);
  p.place(kSmallCrystal);
  p.click("规划按钮");
  p.click("快速");
  p.select("目标等级", 9);
  p.sounds();
  p.click("自动强化按钮");
  EXPECT_EQ(p.control("自动强化时钟").interval, AutoRun::kFastIntervalMs);
  EXPECT_EQ(p.caption("自动状态标签"), "正在强化到 +9：已 0 次，芯片 +4");
  p.app().tickTimers(4);
  ASSERT_TRUE(p.app().planner().autoRunning()) << p.caption("自动状态标签");
  EXPECT_EQ(p.caption("自动状态标签").rfind("正在强化到 +9：已 1000 次，芯片 +", 0), 0u) << p.caption("自动状态标签");
  // Fast: no sounds, no banner.
  EXPECT_TRUE(p.sounds().empty());
  EXPECT_FALSE(p.app().bannerForm().window().visible);
  p.click("自动强化按钮");
  EXPECT_EQ(p.caption("自动状态标签"), "已停止（按了停止），共强化 1000 次");
  EXPECT_EQ(p.colour("自动状态标签"), planner_parts::kGrey);
  EXPECT_EQ(p.caption("自动花费标签"), "这次花了 0 Q币");
  // The record shows its latest rows.
  EXPECT_EQ(p.control("记录列表").items.size(), PlannerWindow::kListRows);
  EXPECT_EQ(p.caption("记录框"), "强化记录（共 1000 次，最新在上）");
}

TEST(History, EveryAttemptIsRecordedAndExportsAsCsv) {
  Program p;
  p.withStock(stock({{kChip0, 1}, {kBigCrystal, 8}, {kChip1 + 2, 2}}));
  p.start();
  p.place(kChip0);
  for (int i = 0; i < 4; ++i) p.place(kBigCrystal);
  p.platform().setTicks(61000);
  p.scriptDraws([](int first, int) { return first <= 500; });
  p.click("图形按钮1");
  p.click("合成显示按钮");
  p.place(kChip1 + 2);
  p.place(kChip1 + 2);
  p.click("图形按钮5");
  ASSERT_EQ(p.app().history().entries().size(), 2u);

  const HistoryEntry& first = p.app().history().entries()[0];
  const std::string exact = percentText(plan::odds(0, {.big = 4}, {}).success);
  EXPECT_EQ(History::csvLine(first).substr(0, 11), "2026-01-01 ");
  EXPECT_EQ(History::csvLine(first).substr(19), ",强化,+0,+1,100%," + exact + ",大晶体×4,40,强化成功");
  const HistoryEntry& fused = p.app().history().entries()[1];
  EXPECT_TRUE(fused.attempt.synthesis);
  EXPECT_EQ(History::csvLine(fused).find(",合成,+3/+3,"), 19u);

  // Export: the file is the record, with a byte-order mark and CRLF lines; the window says where it went.
  p.click("规划按钮");
  p.click("导出按钮");
  const std::string path = (p.dir() / History::kFileName).string();
  EXPECT_EQ(p.caption("导出结果标签"), "已导出 2 条到 " + path);
  const std::string bytes = moxtest::readFile(path);
  EXPECT_EQ(bytes, "\xEF\xBB\xBF" + History::csvHeader() + "\r\n" + History::csvLine(first) + "\r\n" +
                       History::csvLine(fused) + "\r\n");

  // A file that cannot be written: the window says so, the record and the old file stay.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  p.click("导出按钮");
  EXPECT_EQ(p.caption("导出结果标签").rfind("导出失败", 0), 0u);
  EXPECT_NE(p.caption("导出结果标签").find(path), std::string::npos);
  EXPECT_EQ(p.app().history().entries().size(), 2u);
  std::filesystem::remove(path);
  p.click("导出按钮");
  EXPECT_EQ(moxtest::readFile(path), bytes);
}

TEST(History, LuckComparesTheClimbWithTheExactDistribution) {
  Program p;
  p.withStock(stock({{kChip0, 1}, {kBigCrystal, 40}}));
  p.start();
  p.click("规划按钮");
  p.place(kChip0);
  for (int i = 0; i < 4; ++i) p.place(kBigCrystal);
  for (int i = 0; i < 6; ++i) {
    p.scriptDraws([](int first, int) { return first <= 100; });
    p.click("图形按钮1");
  }
  p.app().settle();
  const mox::Climb& climb = p.app().history().climb();
  ASSERT_EQ(climb.startLevel, 0);
  ASSERT_GT(climb.level, 0);
  plan::RecipePlan recipes = plan::bestRecipes({});
  for (int l = 0; l < climb.level; ++l) recipes[static_cast<size_t>(l)] = plan::Recipe{.big = 4};
  const plan::Climb c = plan::climb({.from = 0, .to = climb.level, .recipes = recipes});
  const size_t spent = static_cast<size_t>(climb.cost / 5);
  const double more = 1 - (spent < c.cdf.size() ? c.cdf[spent] : c.cdf.back());
  EXPECT_EQ(p.caption("运气标签"), "花费少于 " + percentText(more, 0) + " 的玩家");
  EXPECT_NE(p.caption("运气说明").find("从 +0 升到 +" + std::to_string(climb.level)), std::string::npos);
}

TEST(History, TheScriptDriverPrintsTheRecordAndReachesThePlannerByName) {
  Program p;
  p.withStock(stock({{kChip0, 1}, {kBigCrystal, 4}}));
  const moxtest::Run run = moxtest::runProgram(
      "moxsim-script", moxtest::quoted(p.dir()),
      "click 规划按钮\nwait\nshown 目标等级\nclick a01\nclick a01\nclick a01\nclick a01\nclick a01\n"
      "click 图形按钮1\nhistory\nescape 规划窗口\nshown 目标等级\nescape 别的窗口\nescape\ncaption 标签5\n");
  EXPECT_EQ(run.code, 1);  // the unknown window
  const std::string exact = percentText(plan::odds(0, {.big = 4}, {}).success);
  EXPECT_EQ(run.out, "1\n" + History::csvHeader() + "\n" + "2026-01-01 00:00:00,强化,+0,+1,100%," + exact +
                         ",大晶体×4,40,强化成功\n0\nerror: line 13: no window named 别的窗口\n");
}

TEST(History, AScrollOfAnySizeStaysWithinTheRecordList) {
  Program p;
  p.withStock(stock({{kChip0, 1}, {kSmallCrystal, 200}}));
  std::string script = "click 规划按钮\nwait\nclick a01\nclick a01\n";
  for (int i = 0; i < 40; ++i) script += "click 图形按钮1\ntick\n";
  script +=
      "rows 记录列表\nscroll 记录列表 3\ntop 记录列表\nscroll 记录列表 2147483647\ntop 记录列表\n"
      "scroll 记录列表 2147483647\ntop 记录列表\nscroll 记录列表 -2147483647\ntop 记录列表\n";
  const moxtest::Run run = moxtest::runProgram("moxsim-script", moxtest::quoted(p.dir()), script);
  ASSERT_EQ(run.code, 0) << run.out;
  const size_t rows = static_cast<size_t>(std::count(run.out.begin(), run.out.end(), '\n')) - 5;
  const int shown = p.start().app().plannerForm().visibleRows(p.app().plannerForm().indexOf("记录列表"));
  ASSERT_EQ(rows, 40u);
  const std::string last = std::to_string(static_cast<int>(rows) - shown);
  EXPECT_EQ(run.out.substr(run.out.find("-\n")), "-\n3\n" + last + "\n" + last + "\n0\n");
}

// 数量: every figure the window shows is the library's total for that many chips, from money alone and out of the
// bag (where a chip of the target's level held is one of them, and the climb takes the bench's chip up all the
// same), for the climb and for the route; the link carries the count both ways.
TEST(Planner, SeveralChipsShowTheLibrarysTotalsAndTheLinkCarriesTheirCount) {
  const plan::Stock bag = moxtest::stock({{kChip1 + 1, 1}, {kSmallCrystal, 30}, {kChip1 + 5, 1}});
  Program p;
  p.withStock(bag);
  p.start();
  p.place(kChip1 + 1);
  p.click("规划按钮");
  EXPECT_EQ(p.control("数量").selection, 0);
  p.select("目标等级", 6);
  p.select("数量", 2);
  p.click("按库存规划");
  p.app().settle();
  const plan::Bonuses b{};
  const plan::Climb alone =
      plan::climb({.from = 2, .to = 6, .recipes = plan::bestRecipes(b), .bonuses = b, .budget = 500.0, .count = 3});
  EXPECT_EQ(p.caption("规划结果框"), "3 枚升到目标要花多少");
  EXPECT_EQ(p.caption("期望花费标签"), "平均 " + qCoinFigure(*alone.expectedCost));
  EXPECT_EQ(p.caption("中位花费标签"), "一半玩家 ≤ " + qCoinFigure(*alone.percentiles[0].cost));
  EXPECT_EQ(p.caption("极端花费标签"), "99% 玩家 ≤ " + qCoinFigure(*alone.percentiles[2].cost));
  EXPECT_EQ(p.caption("预算成功率标签"), "预算 " + qCoinFigure(500) + " 内成功 " + percentText(*alone.withinBudget, 1));
  EXPECT_EQ(p.caption("图表说明"), "曲线：花到横轴的 Q币 时 3 枚都已升到目标的玩家比例");
  const auto& chart = p.control("花费分布图").chart;
  ASSERT_TRUE(chart && !chart->points.empty());
  for (auto [x, y] : chart->points) EXPECT_DOUBLE_EQ(y, alone.cdf[static_cast<size_t>(x / plan::kQPerStep)]);

  // Out of the bag: the +6 held is one of the three, so the climb makes two.
  p.click("按库存规划");
  p.app().settle();
  const plan::Climb two = plan::climb({.from = 2,
                                       .to = 6,
                                       .recipes = plan::bestRecipesFrom(2, 6, b, bag, 2),
                                       .bonuses = b,
                                       .stock = bag,
                                       .budget = 500.0,
                                       .count = 2});
  EXPECT_EQ(p.caption("规划结果框"), "3 枚升到目标还要花多少");
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*two.expectedCost));
  EXPECT_EQ(p.caption("九成花费标签"), "九成玩家 ≤ " + qCoinFigure(*two.percentiles[1].cost));
  const std::string used = p.caption("库存用量标签");
  EXPECT_EQ(used.rfind("从库存用：" + itemName(kSmallCrystal), 0), 0u) << used;
  EXPECT_NE(used.find("（已有 1 枚 +6 算在内）"), std::string::npos) << used;
  // The route: the +6 held is one of them too.
  p.select("自动方式", 2);
  p.app().settle();
  const plan::RouteCost route = plan::routeCostFrom(plan::route(6, b), 6, b, bag, 500.0, true, 3);
  EXPECT_EQ(p.caption("规划结果框"), "按路线做 3 枚目标芯片还要花多少");
  EXPECT_EQ(p.caption("期望花费标签"), "路线平均还要花 " + qCoinFigure(*route.expectedCost));
  EXPECT_NE(p.caption("库存用量标签").find("（已有 1 枚 +6 算在内）"), std::string::npos);
  // The budget goal chooses by the money left and the chips still to make.
  p.select("自动方式", 0);
  p.select("规划目标", 1);
  p.app().settle();
  EXPECT_EQ(p.caption("预算成功率标签"), "预算 " + qCoinFigure(500) + " 内最高成功率 " +
                                             percentText(plan::bestWithinBudget(2, 6, 500, b, 2).chance, 1));

  // The link: count written above one chip, and read back into 数量.
  p.click("复制规划链接");
  const std::string link = p.platform().clipboard();
  EXPECT_NE(link.find("&way=0&count=3&stock="), std::string::npos) << link;
  Program visitor;
  visitor.start();
  ASSERT_TRUE(visitor.app().planner().openLink(link.substr(link.find('#'))));
  visitor.app().settle();
  EXPECT_EQ(visitor.control("数量").selection, 2);
  EXPECT_EQ(visitor.caption("预算成功率标签"), p.caption("预算成功率标签"));
  for (const char* bad : {"count=1", "count=11", "count=0"}) {
    EXPECT_FALSE(
        visitor.app().planner().openLink("v=1&from=0&to=7&goal=0&budget=1000&bonus=00&way=1&" + std::string(bad)))
        << bad;
  }
  EXPECT_EQ(visitor.control("数量").selection, 2);
  p.select("数量", 0);
  p.click("复制规划链接");
  EXPECT_EQ(p.platform().clipboard().find("count"), std::string::npos);
}

// Ten chips +0 to +9 out of a bag of fifty of each item: the climb's figures are all exact (no level drops the chip,
// so the levels are figured apart); the route's distribution would take too many states of what is left, so the
// window says it leaves it out, and the chance within the budget with it, rather than show a wrong figure.
TEST(Planner, TenChipsFromALargeBagShowExactFiguresOrSayWhatTheyLeaveOut) {
  plan::Stock bag{};
  for (int code = kSmallCrystal; code <= kProtectant; ++code) bag[static_cast<size_t>(code - 1)] = 50;
  ++bag[kChip0 - 1];
  Program p;
  p.withStock(bag);
  p.start();
  p.place(kChip0);
  p.click("规划按钮");
  p.select("目标等级", 9);
  p.select("数量", 9);
  p.app().settle();
  const plan::Climb c = plan::climb({.from = 0,
                                     .to = 9,
                                     .recipes = plan::bestRecipesFrom(0, 9, {}, bag, 10),
                                     .stock = bag,
                                     .budget = 500.0,
                                     .count = 10});
  ASSERT_TRUE(c.complete);
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*c.expectedCost));
  EXPECT_EQ(p.caption("中位花费标签"), "一半玩家 ≤ " + qCoinFigure(*c.percentiles[0].cost));
  EXPECT_EQ(p.caption("预算成功率标签"), "预算 " + qCoinFigure(500) + " 内成功 " + percentText(*c.withinBudget, 1));

  p.select("自动方式", 2);
  p.app().settle();
  const plan::RouteCost r = plan::routeCostFrom(plan::route(9, {}), 9, {}, bag, 500.0, true, 10);
  ASSERT_FALSE(r.complete);
  EXPECT_EQ(p.caption("期望花费标签"), "路线平均还要花 " + qCoinFigure(*r.expectedCost));
  EXPECT_EQ(p.caption("中位花费标签"), "");
  EXPECT_EQ(p.caption("预算成功率标签"), "预算内成功：库存太多，没算");
  ASSERT_TRUE(p.control("花费分布图").chart);
  EXPECT_EQ(p.control("花费分布图").chart->empty, "按路线做 10 枚 +9 平均 " + qCoinFigure(*r.expectedCost));
}
