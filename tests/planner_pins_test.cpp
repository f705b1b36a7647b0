// The planner window's plans side by side through its controls: 加入对比, 删除 and 清空对比, the table's figures
// against the planner library's, the curves on the chart, MOXplans across a restart, damaged or unwritable, and
// the table as a screen reader reads it.
#include <algorithm>

#include "app_fixture.h"
#include "plan/compare.h"
#include "runtime/palette.h"
#include "ui/history.h"
#include "ui/paint/semantics.h"
#include "ui/paint/view.h"
#include "ui/plan_wire.h"
#include "ui/planner_window.h"

namespace mox {
namespace {

using moxtest::Program;

// The question the window asks with its defaults (from +0, 500 Q币, 最低期望, out of an empty bag).
plan::LinkQuestion shownQuestion(int to, bool budgetGoal = false) {
  return {.from = 0, .to = to, .budgetGoal = budgetGoal, .budget = 500, .stock = plan::Stock{}};
}

// Shows the plan to `to` (and the goal) and pins it once it is figured.
void pin(Program& p, int to, bool budgetGoal = false) {
  p.select("目标等级", to);
  p.select("规划目标", budgetGoal ? 1 : 0);
  p.app().settle();
  p.click("加入对比");
}

std::string cell(Program& p, int row, int col) {
  return p.caption("对比格" + std::to_string(row) + std::to_string(col));
}

std::vector<std::string> table(Program& p) {
  std::vector<std::string> out;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 6; ++col) out.push_back(cell(p, row, col));
  }
  out.push_back(p.caption("对比结论标签"));
  return out;
}

TEST(PlannerPins, PinnedPlansShowTheLibrarysFiguresSideBySide) {
  Program p;
  p.start();
  p.click("规划按钮");
  // Still figuring: nothing to pin yet.
  p.click("加入对比");
  EXPECT_EQ(p.caption("对比状态标签"), "这个规划还没算出结果，算完再加入对比");
  EXPECT_EQ(cell(p, 0, 0), "");

  pin(p, 5);
  EXPECT_EQ(p.caption("对比状态标签"), "已加入对比（共 1 个）");
  const plan::QuestionFigures five = plan::figureQuestion(shownQuestion(5));
  EXPECT_EQ(cell(p, 0, 0), "1 · +0→+5 · 最低期望 · 按库存");
  EXPECT_EQ(cell(p, 0, 1), qCoinFigure(*five.expected));  // one row: nothing to be best against
  EXPECT_EQ(p.caption("对比结论标签"), "");
  p.click("加入对比");
  EXPECT_EQ(p.caption("对比状态标签"), "这个规划已在对比里");

  // A dearer plan and one for the chance within the budget: the best of each column is marked.
  pin(p, 6);
  pin(p, 5, true);
  const plan::QuestionFigures six = plan::figureQuestion(shownQuestion(6));
  const plan::QuestionFigures chance = plan::figureQuestion(shownQuestion(5, true));
  EXPECT_EQ(cell(p, 0, 1), "★ " + qCoinFigure(*five.expected));
  EXPECT_EQ(cell(p, 0, 3), "★ " + qCoinFigure(*five.percentiles[1].cost));
  EXPECT_EQ(cell(p, 1, 0), "2 · +0→+6 · 最低期望 · 按库存");
  EXPECT_EQ(cell(p, 1, 1), qCoinFigure(*six.expected));
  EXPECT_EQ(cell(p, 1, 4), qCoinFigure(*six.percentiles[2].cost));
  EXPECT_EQ(cell(p, 1, 5), percentText(*six.withinBudget, 1));
  EXPECT_EQ(cell(p, 2, 0), "3 · +0→+5 · 预算内成功率最高 · 按库存");
  EXPECT_EQ(cell(p, 2, 5), "★ " + percentText(*chance.withinBudget, 1));
  EXPECT_EQ(p.colour("对比格25"), palette::kGreen);
  EXPECT_EQ(p.colour("对比格15"), palette::kWhite);
  EXPECT_EQ(p.caption("对比结论标签"), "平均最省也最稳：+0→+5 · 最低期望 · 按库存");

  // Each pin's curve lies under the plan's own, named in the legend.
  const auto& chart = p.control("花费分布图").chart;
  ASSERT_TRUE(chart);
  ASSERT_EQ(chart->curves.size(), 3u);
  EXPECT_EQ(chart->curves[1].label, "对比2");
  EXPECT_EQ(chart->curves[1].colour, palette::kViolet);
  EXPECT_EQ(chart->label, "当前规划");
  EXPECT_DOUBLE_EQ(chart->curves[1].points.back().second,
                   plan::climb({.from = 0, .to = 6, .recipes = plan::bestRecipes({}), .budget = 500.0})
                       .cdf[static_cast<size_t>(chart->curves[1].points.back().first / plan::kQPerStep)]);

  // A fifth pin replaces the oldest, and says so.
  pin(p, 7);
  pin(p, 4);
  EXPECT_EQ(p.caption("对比状态标签"), "已加入对比；最多 4 个，换下了最早的：+0→+5 · 最低期望 · 按库存");
  EXPECT_EQ(cell(p, 0, 0), "1 · +0→+6 · 最低期望 · 按库存");
  EXPECT_EQ(cell(p, 3, 0), "4 · +0→+4 · 最低期望 · 按库存");

  // One removed by its row's 删除, then all of them.
  p.click("删除对比0");
  EXPECT_EQ(p.caption("对比状态标签"), "已删除：+0→+6 · 最低期望 · 按库存");
  EXPECT_EQ(cell(p, 0, 0), "1 · +0→+5 · 预算内成功率最高 · 按库存");
  EXPECT_EQ(cell(p, 3, 0), "");
  EXPECT_FALSE(p.shown("删除对比3"));
  EXPECT_TRUE(p.shown("删除对比2"));
  p.click("清空对比");
  EXPECT_EQ(p.caption("对比状态标签"), "已清空对比");
  EXPECT_EQ(cell(p, 0, 0), "");
  EXPECT_EQ(p.caption("对比结论标签"), "");
  EXPECT_TRUE(p.control("花费分布图").chart->curves.empty());
}

TEST(PlannerPins, PinsAreKeptAcrossARestartAndFiguredAgain) {
  Program p;
  p.start();
  p.click("规划按钮");
  pin(p, 6);
  pin(p, 3);
  EXPECT_EQ(moxtest::readFile(p.dir() / "MOXplans"),
            plan::linkFragment(shownQuestion(6)) + "\n" + plan::linkFragment(shownQuestion(3)) + "\n");
  const std::vector<std::string> before = table(p);

  p.restart();
  EXPECT_EQ(p.caption("对比状态标签"), "载入了上次的 2 个对比");
  EXPECT_EQ(cell(p, 1, 0), "2 · +0→+3 · 最低期望 · 按库存");
  EXPECT_EQ(cell(p, 1, 1), "计算中…");  // figured again when the window opens
  p.click("规划按钮");
  p.app().settle();
  EXPECT_EQ(table(p), before);
  EXPECT_EQ(p.control("花费分布图").chart->curves.size(), 2u);
}

// Where the plan is figured elsewhere (the page's worker), the pins are too: the answers come back in any order
// and each goes to the figuring that asked for it.
TEST(PlannerPins, PinsAreFiguredWhereThePlanIsAndAnswersFindTheirQuestion) {
  Program p;
  moxtest::writeFile(p.dir() / "MOXplans", plan::linkFragment(shownQuestion(3)) + "\n");
  p.start();
  std::vector<std::string> questions;
  auto ask = [&](const std::string& q) {
    questions.push_back(q);
    return true;
  };
  p.app().planner().figureElsewhere({.plan = [&](const PlanInputs& in) { return ask(wire::write(in)); },
                                     .luck = [&](const LuckInputs& in) { return ask(wire::write(in)); }});
  p.click("规划按钮");
  ASSERT_EQ(questions.size(), 2u);  // the plan shown (to +5) and the pin's (to +3)
  EXPECT_EQ(p.control("规划时钟").interval, 0);
  for (auto q = questions.rbegin(); q != questions.rend(); ++q) {
    p.app().planner().planFigured(*wire::readPlanOutcome(wire::answer(*q, nullptr)));
  }
  EXPECT_EQ(cell(p, 0, 1), qCoinFigure(*plan::figureQuestion(shownQuestion(3)).expected));
  EXPECT_EQ(p.caption("期望花费标签"), "平均还要花 " + qCoinFigure(*plan::figureQuestion(shownQuestion(5)).expected));
  EXPECT_EQ(p.caption("计算状态标签"), "");
}

TEST(PlannerPins, ADamagedOrUnwritableFileIsSaidAndNeverStopsTheProgram) {
  Program p;
  moxtest::writeFile(p.dir() / "MOXplans", "garbage\n" + plan::linkFragment(shownQuestion(4)) + "\n#to=99\n");
  p.start();
  EXPECT_EQ(p.caption("对比状态标签"), "MOXplans 里有 2 行读不了或多于 4 个，已略过；载入了 1 个对比");
  EXPECT_EQ(cell(p, 0, 0), "1 · +0→+4 · 最低期望 · 按库存");

  moxtest::writeFile(p.dir() / "MOXplans", std::string(PlanPins::kMaxFileBytes + 1, 'x'));
  p.restart();
  EXPECT_EQ(p.caption("对比状态标签"), "MOXplans 读不了（太大或打不开），对比从空开始");
  EXPECT_EQ(cell(p, 0, 0), "");

  // The disk refuses: the pin stays on screen and the window says the save failed.
  const auto file = p.dir() / "MOXplans";
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  p.click("规划按钮");
  pin(p, 5);
  EXPECT_EQ(p.caption("对比状态标签"), "对比没能保存：写不进 " + file.string() + "，下次改动时再试");
  EXPECT_EQ(cell(p, 0, 0), "1 · +0→+5 · 最低期望 · 按库存");
}

TEST(PlannerPins, AScreenReaderReadsTheTableByRowsAndColumns) {
  Program p;
  p.start();
  p.click("规划按钮");
  pin(p, 5);
  const Form& f = p.app().plannerForm();
  const int grid = f.indexOf("对比表");
  std::vector<paint::Node> inTable;
  for (const paint::Node& n : paint::semantics(f)) {
    if (n.grid == grid) inTable.push_back(n);
  }
  auto at = [&](int row, int column) -> const paint::Node* {
    for (const paint::Node& n : inTable) {
      if (n.row == row && n.column == column) return &n;
    }
    return nullptr;
  };
  ASSERT_TRUE(at(0, 1));
  EXPECT_EQ(at(0, 1)->role, paint::Role::TableCell);
  EXPECT_EQ(at(0, 1)->name, "平均");
  ASSERT_TRUE(at(1, 0));
  EXPECT_EQ(at(1, 0)->name, "1 · +0→+5 · 最低期望 · 按库存");
  ASSERT_TRUE(at(1, 6));
  EXPECT_EQ(at(1, 6)->role, paint::Role::Button);
  EXPECT_EQ(at(1, 6)->name, "删除");
  // The chart names its marks, then the legend.
  for (const paint::Node& n : paint::semantics(f)) {
    if (n.control == f.indexOf("花费分布图")) {
      EXPECT_TRUE(n.name.ends_with("、对比1、当前规划")) << n.name;
    }
  }
  // Rows without a pin say nothing.
  EXPECT_TRUE(std::none_of(inTable.begin(), inTable.end(), [](const paint::Node& n) { return n.row > 1; }));
}

// The text buttons take a pointer's click; the chart draws each pin's curve in its colour under the plan's, and
// names them in a legend.
TEST(PlannerPins, TheChartDrawsEachPinUnderThePlansCurveWithALegend) {
  Program p;
  p.start();
  p.click("规划按钮");
  Form& form = p.app().plannerForm();
  struct FixedMetrics : paint::TextMetrics {
    int lineHeight(const Font& f) override { return f.height + 4; }
    int width(const Font& f, std::string_view s) override {
      return static_cast<int>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; })) * f.height /
             2;
    }
  } metrics;
  paint::View view(form, metrics);
  auto clickOn = [&](const char* name) {
    const Rect r = paint::absoluteRect(form, form.indexOf(name));
    view.handle(paint::PointerMove{r.x + 5, r.y + 5});
    view.handle(paint::PointerDown{r.x + 5, r.y + 5});
    view.handle(paint::PointerUp{r.x + 5, r.y + 5});
  };
  for (int to : {5, 6}) {
    p.select("目标等级", to);
    p.app().settle();
    clickOn("加入对比");
  }
  p.select("目标等级", 4);
  p.app().settle();
  ASSERT_EQ(cell(p, 1, 0), "2 · +0→+6 · 最低期望 · 按库存");

  const Rect box = paint::absoluteRect(form, form.indexOf("花费分布图"));
  const paint::DisplayList drawn = view.paintForm(box);
  std::vector<std::string> texts;
  std::vector<uint32_t> lines;
  for (const paint::Command& c : drawn) {
    if (const auto* t = std::get_if<paint::Text>(&c)) texts.push_back(t->text);
    if (const auto* l = std::get_if<paint::Line>(&c)) lines.push_back(l->colour);
  }
  for (const char* words : {"对比1", "对比2", "当前规划"}) {
    EXPECT_NE(std::find(texts.begin(), texts.end(), words), texts.end()) << words;
  }
  const auto first = [&](uint32_t colour) { return std::find(lines.begin(), lines.end(), colour) - lines.begin(); };
  const auto count = [&](uint32_t colour) { return std::count(lines.begin(), lines.end(), colour); };
  EXPECT_GT(count(palette::kTeal), 10);
  EXPECT_GT(count(palette::kViolet), 10);
  // The plan's own curve comes after the pins': drawn on top.
  EXPECT_LT(first(palette::kViolet), first(palette::kCurve));

  clickOn("删除对比0");
  EXPECT_EQ(cell(p, 0, 0), "1 · +0→+6 · 最低期望 · 按库存");
  clickOn("清空对比");
  EXPECT_EQ(cell(p, 0, 0), "");

  // A text button lights up under the pointer and darkens held down.
  const Rect button = paint::absoluteRect(form, form.indexOf("清空对比"));
  const auto fills = [&](uint32_t colour) {
    const paint::DisplayList d = view.paintForm(button);
    return std::count_if(d.begin(), d.end(), [&](const paint::Command& c) {
      const auto* f = std::get_if<paint::Fill>(&c);
      return f && f->colour == colour;
    });
  };
  EXPECT_GT(fills(palette::kTextButtonHover), 0);
  view.handle(paint::PointerDown{button.x + 5, button.y + 5});
  EXPECT_GT(fills(palette::kTextButtonPressed), 0);
  view.handle(paint::PointerUp{button.x + 5, button.y + 5});
  view.handle(paint::PointerMove{button.x - 40, button.y + 60});
  EXPECT_EQ(fills(palette::kTextButtonHover), 0);
  EXPECT_GT(fills(palette::kTextButton), 0);
}

}  // namespace
}  // namespace mox
