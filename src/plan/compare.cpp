#include "plan/compare.h"

#include <algorithm>

namespace mox::plan {

namespace {

// The figures the window shows of a distribution: the percentiles and the chance within the budget only where the
// distribution was figured (a very large stock leaves only the expectation).
void takeSpread(const CostDistribution& d, QuestionFigures& f) {
  if (d.cdf.empty()) return;
  f.percentiles = d.percentiles;
  f.withinBudget = d.withinBudget;
}

std::string level(int n) { return "+" + std::to_string(n); }

}  // namespace

QuestionFigures figureQuestion(const LinkQuestion& q) {
  QuestionFigures f;
  const Stock stock = q.stock.value_or(Stock{});
  const double budget = q.budget;
  try {
    if (q.way == kRouteWay) {
      const RouteCost c = routeCostFrom(route(q.to, q.bonuses), q.to, q.bonuses, stock, budget, true, q.count);
      f.expected = c.expectedCost;
      takeSpread(c, f);
      return f;
    }
    // Out of the stock the recipes are chosen for what it holds; from money alone they are the least-cost ones.
    const RecipePlan recipes =
        q.stock ? bestRecipesFrom(q.from, q.to, q.bonuses, stock, q.count) : bestRecipes(q.bonuses);
    const Climb c = climb({.from = q.from,
                           .to = q.to,
                           .recipes = recipes,
                           .bonuses = q.bonuses,
                           .stock = stock,
                           .budget = budget,
                           .count = q.count});
    f.expected = c.expectedCost;
    takeSpread(c, f);
    // The best chance within the budget chooses each attempt's recipe by the money left (leaving the bag aside),
    // for several chips where that takes no more than about a second (else the least-cost recipes' chance stands).
    if (q.budgetGoal && (q.count == 1 || budgetWork(q.from, q.to, budget, q.count) <= kBudgetWorkInASecond)) {
      f.withinBudget = bestWithinBudget(q.from, q.to, budget, q.bonuses, q.count).chance;
    }
  } catch (const PlanError& e) {
    f = QuestionFigures{};
    f.error = e.what();
  }
  return f;
}

std::string questionWords(const LinkQuestion& q) {
  std::string words = q.way == kRouteWay
                          ? "→" + level(q.to) + " · 按路线"
                          : level(q.from) + "→" + level(q.to) + (q.budgetGoal ? " · 预算内成功率最高" : " · 最低期望");
  words += q.stock ? " · 按库存" : " · 不按库存";
  if (q.bonuses.expert) words += " · 达人";
  if (q.bonuses.lab) words += " · 实验室";
  if (q.count > 1) words += " · " + std::to_string(q.count) + " 枚";
  return words;
}

Comparison compare(std::span<const LinkQuestion> questions, std::span<const QuestionFigures> figures) {
  if (questions.size() != figures.size()) throw PlanError("compare: as many figures as questions are needed");
  if (questions.size() > kMaxCompared) {
    throw PlanError("compare: at most " + std::to_string(kMaxCompared) + " plans side by side");
  }
  Comparison c;
  for (size_t i = 0; i < questions.size(); ++i) {
    const QuestionFigures& f = figures[i];
    ComparedRow row{.question = questions[i], .words = questionWords(questions[i]), .error = f.error};
    row.cell = {f.expected, f.percentiles[0].cost, f.percentiles[1].cost, f.percentiles[2].cost, f.withinBudget};
    c.rows.push_back(std::move(row));
  }
  // The best of each column: the least money, the highest chance.
  for (int col = 0; col < kColumns && c.rows.size() > 1; ++col) {
    const bool highest = col == kWithinBudget;
    std::optional<double> best;
    for (const ComparedRow& r : c.rows) {
      const std::optional<double>& v = r.cell[static_cast<size_t>(col)];
      if (v && (!best || (highest ? *v > *best : *v < *best))) best = v;
    }
    for (ComparedRow& r : c.rows) r.best[static_cast<size_t>(col)] = best && r.cell[static_cast<size_t>(col)] == best;
  }
  auto lowest = [&](Column col) {
    std::optional<size_t> at;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      const std::optional<double>& v = c.rows[i].cell[col];
      if (v && (!at || *v < *c.rows[*at].cell[col])) at = i;
    }
    return at;
  };
  c.cheapest = lowest(kMean);
  const std::optional<size_t> steady = lowest(kNinety);
  if (c.cheapest && steady) {
    const std::optional<double>& cheapestNinety = c.rows[*c.cheapest].cell[kNinety];
    if (!cheapestNinety || *c.rows[*steady].cell[kNinety] < *cheapestNinety) c.steady = steady;
  }
  return c;
}

std::string picksText(const Comparison& c) {
  if (!c.cheapest || c.rows.size() < 2) return "";
  const std::string cheapest = c.rows[*c.cheapest].words;
  if (c.steady) return "平均最省：" + cheapest + "；最稳（九成最低）：" + c.rows[*c.steady].words;
  return (c.rows[*c.cheapest].cell[kNinety] ? "平均最省也最稳：" : "平均最省：") + cheapest;
}

}  // namespace mox::plan
