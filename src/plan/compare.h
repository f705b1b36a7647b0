#pragma once
// Plans side by side: up to four questions (as links carry them) with the figures the planner gives each, as the
// rows of one table. Each row names its question in a few words and gives the mean, the 50/90/99th percentiles of
// the money spent and the chance within its own budget; the best figure of each column is marked, and the steady
// pick (the lowest 九成) is named beside the cheapest on average when the two differ.
#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plan/link.h"
#include "plan/planner.h"

namespace mox::plan {

inline constexpr size_t kMaxCompared = 4;
inline constexpr int kRouteWay = 2;  // 按路线 in auto-run's drop-down: the figures are the route's

// One question's figures as the planner window shows them: the route's when its way is 按路线, else the climb's
// with the least-cost recipes (for the stock, when it carries one); the chance within the budget is the best one
// (by the money left) for the goal 预算内成功率最高.
struct QuestionFigures {
  std::optional<double> expected;  // Q币
  std::array<Percentile, 3> percentiles{{{0.5, {}}, {0.9, {}}, {0.99, {}}}};
  std::optional<double> withinBudget;
  std::string error;  // not empty: the question could not be figured, and why
};
QuestionFigures figureQuestion(const LinkQuestion& q);

// The question in a few words: `+0→+7 · 最低期望 · 按库存`, `+0→+7 · 预算内成功率最高 · 不按库存`, `→+9 · 按路线 ·
// 按库存` (the route starts from what is held, not from a level), then ` · 达人` and ` · 实验室` for the bonuses on.
std::string questionWords(const LinkQuestion& q);

// The table's columns, in order.
enum Column { kMean, kHalf, kNinety, kNinetyNine, kWithinBudget, kColumns };

struct ComparedRow {
  LinkQuestion question;
  std::string words;
  std::string error;                                 // as QuestionFigures::error
  std::array<std::optional<double>, kColumns> cell;  // money in Q币, the chance from 0 to 1
  std::array<bool, kColumns> best{};                 // the best of its column (the least money, the highest chance)
};

struct Comparison {
  std::vector<ComparedRow> rows;
  std::optional<size_t> cheapest;  // the row with the lowest mean
  std::optional<size_t> steady;    // the row with the lowest 九成, when its 九成 is below the cheapest's
};

// The rows of questions[i] with figures[i] (as many of each; at most kMaxCompared, else PlanError). The best of a
// column is marked only among two or more rows, on every row that reaches it.
Comparison compare(std::span<const LinkQuestion> questions, std::span<const QuestionFigures> figures);

// The picks in words: `平均最省：…；最稳（九成最低）：…`, or `平均最省也最稳：…` when the two are one; empty for fewer
// than two rows or none with a mean.
std::string picksText(const Comparison& c);

}  // namespace mox::plan
