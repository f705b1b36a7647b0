// The planner window's plans side by side (对比): the plans pinned, their table and curves, kept in MOXplans
// (src/ui/plan_pins.h) and figured again from their questions after a restart, on a figuring of their own.
#include <algorithm>
#include <array>
#include <memory>

#include "plan/compare.h"
#include "ui/history.h"
#include "ui/planner_parts.h"
#include "ui/planner_window.h"

namespace mox {

using namespace planner_parts;

namespace {

// Each pin's colour, in its row and its curve.
constexpr std::array<uint32_t, plan::kMaxCompared> kPinColours{palette::kTeal, palette::kViolet, palette::kHotPink,
                                                               palette::kSilver};
constexpr const char* kBestMark = "★ ";

// The plan a pinned question asks, as the window figures it.
PlanInputs inputsOf(const plan::LinkQuestion& q) {
  PlanInputs in{.from = q.from,
                .to = q.to,
                .bonuses = q.bonuses,
                .budgetGoal = q.budgetGoal,
                .budget = static_cast<double>(q.budget),
                .fromStock = q.stock.has_value(),
                .count = q.count};
  if (q.stock) in.stock = *q.stock;
  return in;
}

std::string cellText(const plan::ComparedRow& row, int col) {
  const std::optional<double>& v = row.cell[static_cast<size_t>(col)];
  if (!v) return "—";
  const std::string figure = col == plan::kWithinBudget ? percentText(*v, 1) : qCoinFigure(*v);
  return row.best[static_cast<size_t>(col)] ? kBestMark + figure : figure;
}

}  // namespace

PlannerWindow::PinShown PlannerWindow::pinFrom(const PlanOutcome& p, bool route) {
  PinShown s;
  s.figured = true;
  if (!p.error.empty()) {
    s.figures.error = p.error;
    return s;
  }
  // The figures the window shows for the plan: the route's, or the climb's (the best chance within the budget for
  // that goal).
  const plan::CostDistribution& d = route ? static_cast<const plan::CostDistribution&>(p.routeCost) : p.climb;
  s.figures.expected = route ? p.routeCost.expectedCost : p.climb.expectedCost;
  if (!d.cdf.empty()) {
    s.figures.percentiles = d.percentiles;
    s.figures.withinBudget = d.withinBudget;
    const double right = d.percentiles[2].cost.value_or(plan::toQ(static_cast<plan::Steps>(d.cdf.size() - 1)));
    s.curve = curvePoints(d.cdf, std::max(right, p.inputs.budget));
  }
  if (p.budgetPlan && !route) s.figures.withinBudget = p.budgetPlan->chance;
  return s;
}

void PlannerWindow::loadPins() {
  const PinsRead read = pins_.load();
  pinShown_.assign(pins_.pins().size(), PinShown{});
  showPins();
  const std::string file = PlanPins::kFileName;
  if (read.unreadable) {
    sayAboutPins(file + " 读不了（太大或打不开），对比从空开始", kCoral);
  } else if (read.dropped > 0) {
    sayAboutPins(file + " 里有 " + std::to_string(read.dropped) + " 行读不了或多于 4 个，已略过；载入了 " +
                     std::to_string(read.pins.size()) + " 个对比",
                 kCoral);
  } else if (!read.pins.empty()) {
    sayAboutPins("载入了上次的 " + std::to_string(read.pins.size()) + " 个对比", kGrey);
  }
}

void PlannerWindow::sayAboutPins(const std::string& said, uint32_t colour) {
  window_.setCaption("对比状态标签", said);
  window_.setTextColour("对比状态标签", colour);
}

void PlannerWindow::pinPlan() {
  const std::optional<plan::LinkQuestion> q = questionShown();
  const std::optional<PlanOutcome>& p = figuring_.plan();
  std::string refused;
  if (!q) {
    refused = "先选更高的目标，再加入对比";
  } else if (!p || figuring_.planPending() || !(p->inputs == currentInputs())) {
    refused = "这个规划还没算出结果，算完再加入对比";
  } else if (!p->error.empty()) {
    refused = "这个规划没有结果，不能加入对比：" + p->error;
  } else if (std::find(pins_.pins().begin(), pins_.pins().end(), *q) != pins_.pins().end()) {
    refused = "这个规划已在对比里";
  }
  if (!refused.empty()) {
    sayAboutPins(refused, kCoral);
    return;
  }
  const std::optional<plan::LinkQuestion> gone = pins_.add(*q);
  if (gone) pinShown_.erase(pinShown_.begin());
  pinShown_.push_back(pinFrom(*p, routeShown()));
  pinsChanged(gone ? "已加入对比；最多 4 个，换下了最早的：" + plan::questionWords(*gone)
                   : "已加入对比（共 " + std::to_string(pins_.pins().size()) + " 个）");
}

void PlannerWindow::removePin(int index) {
  if (index < 0 || static_cast<size_t>(index) >= pins_.pins().size()) return;
  const std::string words = plan::questionWords(pins_.pins()[static_cast<size_t>(index)]);
  pins_.remove(static_cast<size_t>(index));
  pinShown_.erase(pinShown_.begin() + index);
  pinsChanged("已删除：" + words);
}

void PlannerWindow::clearPins() {
  pins_.clear();
  pinShown_.clear();
  pinsChanged("已清空对比");
}

// Shows the pins as they are now and writes them; a write the disk refused is said when it comes back.
void PlannerWindow::pinsChanged(const std::string& said) {
  showPins();
  drawChart();
  sayAboutPins(said, kGrey);
  std::weak_ptr<bool> alive = alive_;
  pins_.save([this, alive](bool ok) {
    if (ok || alive.expired() || !*alive.lock()) return;
    sayAboutPins("对比没能保存：写不进 " + platform_.filePath(PlanPins::kFileName) + "，下次改动时再试", kCoral);
  });
}

// The first pin without figures is asked about; an answer already held for the same plan serves at once.
void PlannerWindow::askPinFigures() {
  for (size_t i = 0; i < pinShown_.size(); ++i) {
    if (pinShown_[i].figured) continue;
    const plan::LinkQuestion& q = pins_.pins()[i];
    const std::optional<PlanOutcome>& held = pinFiguring_.plan();
    if (held && held->inputs == inputsOf(q)) {
      pinShown_[i] = pinFrom(*held, q.way == plan::kRouteWay);
      showPins();
      drawChart();
      continue;
    }
    pinFiguring_.ask(inputsOf(q), std::nullopt);
    return;
  }
}

void PlannerWindow::pinFigured() {
  const PlanOutcome& p = *pinFiguring_.plan();
  for (size_t i = 0; i < pinShown_.size(); ++i) {
    const plan::LinkQuestion& q = pins_.pins()[i];
    if (!pinShown_[i].figured && p.inputs == inputsOf(q)) pinShown_[i] = pinFrom(p, q.way == plan::kRouteWay);
  }
  showPins();
  drawChart();
}

void PlannerWindow::showPins() {
  std::vector<plan::QuestionFigures> figures;
  for (const PinShown& s : pinShown_) figures.push_back(s.figured ? s.figures : plan::QuestionFigures{});
  const plan::Comparison c = plan::compare(pins_.pins(), figures);
  for (size_t r = 0; r < plan::kMaxCompared; ++r) {
    const std::string row = std::to_string(r);
    const bool here = r < c.rows.size();
    window_.setVisible("删除对比" + row, here);
    for (int col = 0; col < 6; ++col) {
      std::string text;
      uint32_t colour = kWhite;
      if (here && col == 0) {
        text = std::to_string(r + 1) + " · " + c.rows[r].words;
        colour = kPinColours[r];
      } else if (here && !pinShown_[r].figured) {
        text = col == 1 ? "计算中…" : "";
        colour = kGrey;
      } else if (here && !c.rows[r].error.empty()) {
        text = col == 1 ? "算不出" : "";
        colour = kCoral;
      } else if (here) {
        text = cellText(c.rows[r], col - 1);
        if (c.rows[r].best[static_cast<size_t>(col - 1)]) colour = palette::kGreen;
      }
      window_.setCaption("对比格" + row + std::to_string(col), text);
      window_.setTextColour("对比格" + row + std::to_string(col), colour);
    }
  }
  window_.setCaption("对比结论标签", plan::picksText(c));
}

void PlannerWindow::addPinCurves(ChartData& d) const {
  for (size_t i = 0; i < pinShown_.size(); ++i) {
    if (pinShown_[i].curve.empty()) continue;
    d.curves.push_back(
        {.points = pinShown_[i].curve, .colour = kPinColours[i], .label = "对比" + std::to_string(i + 1)});
  }
  if (!d.curves.empty()) d.label = "当前规划";
}

}  // namespace mox
