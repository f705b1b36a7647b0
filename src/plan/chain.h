#pragma once
// Pieces the planner's files share; not part of its interface.
#include <array>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "plan/planner.h"

namespace mox::plan {

// Raises PlanError naming `what` when `level` lies outside low..high.
void checkLevel(int level, int low, int high, std::string_view what);

// The least expected cost in Q币 of going up one level from each level (drops and the climb back included), and,
// when `chosen` is given, the recipes that reach it.
std::array<double, kTopLevel> bestPassages(Bonuses b, RecipePlan* chosen);

// What a shop item costs, in steps.
Steps priceSteps(int32_t code);

// A process over money, for the distribution of what it spends: each visit to a node costs `cost` steps (at least
// one), then the process goes on to node `to` with chance p; kDone is the goal.
inline constexpr int kDone = std::numeric_limits<int>::max();
struct Move {
  double p = 0;
  int to = kDone;
};
struct Node {
  Steps cost = 0;
  std::vector<Move> moves;
};
// Appends a node per level of a climb, `levels` being each level's odds from the lowest up; from the top level the
// step up goes on by `onTop` (its chances scaled by the step's). Returns the index of the lowest level's node.
int appendClimb(std::vector<Node>& nodes, const std::vector<Odds>& levels, const std::vector<Move>& onTop);
// F(m) = P(reaching kDone from `start` spending at most m steps), for m = 0, 1, ... one amount at a time. Every
// visit costs at least a step, so the values at m need only lower amounts, at most a ring back.
class Walk {
 public:
  static constexpr Steps kRing = 256;
  Walk(const std::vector<Node>& nodes, int start);
  // F at the next amount.
  double next();
  // The amount the last next() figured (-1 before it).
  Steps amount() const { return m_ - 1; }
  // Past the 99.9th percentile with next to nothing arriving any more: F stays where it is (the rounding of many
  // moves' chances can hold it a few units of 1e-15 below 1).
  bool done() const;

 private:
  size_t n_ = 0, start_ = 0;
  std::vector<double> values_;   // each node's ring of values, then the goal's, worth 1 at every amount
  std::vector<double> chance_;   // the moves flattened, each to the start of its target's ring
  std::vector<size_t> ring_, first_;
  std::vector<Steps> cost_;
  std::array<double, static_cast<size_t>(kRing)> recent_{};  // F over the last ring of amounts
  Steps m_ = 0;
  double f_ = 0, ringAgo_ = 0;
};

// Figures F(m) for m = 0, 1, ... into `out`: the cdf (when `distribution`), its percentiles, and F(budget) when
// budget >= 0, as CostDistribution describes.
void distribute(const std::vector<Node>& nodes, int start, Steps budget, bool distribution, CostDistribution& out);
// A budget in Q币 as whole steps; raises PlanError when it is negative or more than kMaxBudgetSteps.
Steps budgetSteps(double budget);

// countBothDraws(0, kSeeds), built in (both_draws_table.cpp, written by tools/both_draws_table.cpp).
extern const std::array<uint32_t, kMaxThreshold + 1> kBothDrawsPassing;

}  // namespace mox::plan
