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
// F(m) = P(reaching kDone from `start` spending at most m steps), for m = 0, 1, ... one amount at a time. A visit
// costs a step or more, or nothing when it moves only to nodes before it, so the values at m need only lower
// amounts, at most a ring back, and those of nodes already figured at m.
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
  std::vector<double> values_;  // a ring of rows, one per amount: each node's value, then the goal's (1)
  std::vector<double> chance_;  // the moves flattened, with the node each leads to (`to_`)
  std::vector<size_t> to_, first_;
  std::vector<Steps> cost_;
  std::array<double, static_cast<size_t>(kRing)> recent_{};  // F over the last ring of amounts
  Steps m_ = 0;
  double f_ = 0, ringAgo_ = 0;
};

// What each node of a process uses up at a visit, by item code.
using Uses = std::vector<Stock>;
// What items taken from the stock would have cost at the shop, in Q币.
double savedQ(const ItemCounts& taken);
// Whether the stock holds anything some node uses.
bool stockMatters(const Uses& uses, const Stock& stock);
// The expected count of each item a process from `start` takes out of `stock`, used first: E[min(U, S)] per item,
// U the items its visits use up in all.
ItemCounts takenFromStock(const std::vector<Node>& nodes, const Uses& uses, int start, const Stock& stock,
                          const std::vector<int>& blocks = {});
// The process out of `stock`: a node per node of `nodes` and what is left of the stock that it can still use, each
// visit costing the money for what the stock no longer holds. A visit that costs nothing takes something from the
// stock, so it moves only to nodes with less left: the nodes come in order of what is left, the least first, and a
// walk figures them in that order. There may be no more than kMaxStockNodes.
// A node may be a branch: it takes one of an item from the stock, or, when none is left, it is `otherwise`
// instead (-1: no branch).
inline constexpr size_t kMaxStockNodes = size_t{1} << 17;
using Branches = std::vector<int>;
class StockProcess {
 public:
  // Reads `uses` again in uses(): it must outlive the process.
  StockProcess(const std::vector<Node>& nodes, const Uses& uses, int start, const Stock& stock,
               const Branches* otherwise = nullptr);
  // False when there would be more than kMaxStockNodes (there are none then).
  bool complete() const { return start_ >= 0; }
  const std::vector<Node>& nodes() const { return nodes_; }
  int start() const { return start_; }
  // What each node uses at a visit.
  Uses uses() const;
  // Which nodes share what is left: the same block moves among itself or to blocks before.
  const std::vector<int>& blocks() const { return blocks_; }

 private:
  const Uses& given_;
  std::vector<Node> nodes_;
  std::vector<size_t> origin_;  // the node of `nodes` each node stands for
  std::vector<int> blocks_;
  int start_ = -1;
};
// The expected cost of reaching kDone from `start`, the nodes' cost in steps, in Q币: a linear
// system solved a block at a time (`blocks` as StockProcess gives them; empty: all one block).
double expectedQ(const std::vector<Node>& nodes, int start, const std::vector<int>& blocks);

// Figures F(m) for m = 0, 1, ... into `out`: the cdf (when `distribution`), its percentiles, and F(budget) when
// budget >= 0, as CostDistribution describes.
void distribute(const std::vector<Node>& nodes, int start, Steps budget, bool distribution, CostDistribution& out);
// The same for a climb of `count` chips out of `stock` where no level drops a chip (`chain` each level's odds): the
// attempts at each level are independent of every other level's and chip's, and the money is a function of how many
// each recipe had, so the distribution needs no walk over what is left of the stock. False (and `out` untouched)
// where a level can drop the chip or the stock covers too many combinations of attempts.
bool distributeLevelsApart(const std::vector<Odds>& chain, int count, const Stock& stock, Steps budget,
                           bool distribution, CostDistribution& out);
// A budget in Q币 as whole steps; raises PlanError when it is negative or more than kMaxBudgetSteps.
Steps budgetSteps(double budget);

// countBothDraws(0, kSeeds), built in (both_draws_table.cpp, written by tools/both_draws_table.cpp).
extern const std::array<uint32_t, kMaxThreshold + 1> kBothDrawsPassing;

}  // namespace mox::plan
