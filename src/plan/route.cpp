// The cheapest route to each level, by buying, enhancing and fusing, and the distribution of what it spends.
#include <limits>

#include "plan/chain.h"
#include "plan/planner.h"
#include "sim/items.h"

namespace mox::plan {

std::string RouteStep::text() const {
  switch (how) {
    case How::Buy: return "buy";
    case How::Enhance: return "enhance from " + std::to_string(from);
    case How::Fuse:
      return "fuse " + std::to_string(a) + "+" + std::to_string(b) + (protectant ? " protected" : "");
  }
  return {};
}

std::vector<RouteStep> route(int to, Bonuses b) {
  checkLevel(to, 0, kTopLevel, "level");
  const std::array<double, kTopLevel> passage = bestPassages(b, nullptr);
  std::vector<RouteStep> steps;
  steps.push_back({.level = 0, .expectedCost = toQ(priceSteps(kChip0)), .how = RouteStep::How::Buy});
  auto costOf = [&](int level) {
    const auto& c = steps[static_cast<size_t>(level)].expectedCost;
    return c ? *c : std::numeric_limits<double>::infinity();
  };
  for (int level = 1; level <= to; ++level) {
    RouteStep best{.level = level};
    double bestCost = std::numeric_limits<double>::infinity();
    // Ways that cost the same in exact arithmetic can differ in the last bits; only a real saving replaces the
    // way found first.
    auto cheaper = [&](double cost) { return cost < bestCost * (1 - 1e-12); };
    // Enhancing from the level just below comes first so that it wins a tie.
    double climbCost = 0;
    for (int from = level - 1; from >= 0; --from) {
      climbCost += passage[static_cast<size_t>(from)];
      const double cost = costOf(from) + climbCost;
      if (cheaper(cost)) {
        bestCost = cost;
        best.how = RouteStep::How::Enhance;
        best.from = from;
      }
    }
    for (int a = 1; a < level; ++a) {
      for (int lower = 1; lower <= a; ++lower) {
        for (bool prot : {false, true}) {
          const Fusion f = fusion(a, lower, prot, b);
          if (f.result != level) continue;
          const std::optional<double> cost = fusionCost(f, costOf(a), costOf(lower));
          if (cost && cheaper(*cost)) {
            bestCost = *cost;
            best.how = RouteStep::How::Fuse;
            best.a = a;
            best.b = lower;
            best.protectant = prot;
          }
        }
      }
    }
    if (bestCost < std::numeric_limits<double>::infinity()) best.expectedCost = bestCost;
    steps.push_back(best);
  }
  return steps;
}

namespace {

// The route to a level as one process over money: a node per purchase, per level of each climb and per protected
// fusion attempt, in the order the route makes its chips.
class RouteProcess {
 public:
  RouteProcess(const std::vector<RouteStep>& steps, Bonuses b) : steps_(steps), bonuses_(b), best_(bestRecipes(b)) {}

  std::vector<Node> nodes;

  // Appends the nodes that make a chip of `level` and then go on by `then`; returns the first of them.
  int make(int level, const std::vector<Move>& then) {
    const RouteStep& s = steps_[static_cast<size_t>(level)];
    const int here = static_cast<int>(nodes.size());
    switch (s.how) {
      case RouteStep::How::Buy:
        nodes.push_back({.cost = priceSteps(kChip0), .moves = then});
        return here;
      case RouteStep::How::Enhance: {
        const int lowest = lowestLevel(s.from, best_, bonuses_);
        std::vector<Odds> levels;
        for (int l = lowest; l < level; ++l) levels.push_back(odds(l, *best_[static_cast<size_t>(l)], bonuses_));
        const int first = appendClimb(nodes, levels, then);
        return make(s.from, {{1, first + s.from - lowest}});
      }
      case RouteStep::How::Fuse: break;
    }
    const double p = fusion(s.a, s.b, s.protectant, bonuses_).success;
    std::vector<Move> attempt;
    for (const Move& m : then) attempt.push_back({m.p * p, m.to});
    if (s.protectant) {
      // Each attempt uses up a protectant; a failure keeps both chips for the next.
      attempt.push_back({1 - p, here});
      nodes.push_back({.cost = priceSteps(kProtectant), .moves = attempt});
      return make(s.a, {{1, make(s.b, {{1, here}})}});
    }
    // The attempt itself costs nothing, so it follows the second chip's making at once; a failure loses that chip
    // and makes another, whose first node is known only once it is made: a mark stands for it until then.
    const int mark = nextMark_--;
    attempt.push_back({1 - p, mark});
    const int second = make(s.b, attempt);
    for (size_t i = static_cast<size_t>(here); i < nodes.size(); ++i) {
      for (Move& m : nodes[i].moves) {
        if (m.to == mark) m.to = second;
      }
    }
    return make(s.a, {{1, second}});
  }

 private:
  const std::vector<RouteStep>& steps_;
  Bonuses bonuses_;
  RecipePlan best_;
  int nextMark_ = -2;
};

// Raises PlanError unless steps[level] and every step it builds on make their levels from lower ones.
void checkRoute(const std::vector<RouteStep>& steps, int level, Bonuses b) {
  checkLevel(level, 0, static_cast<int>(steps.size()) - 1, "route level");
  const RouteStep& s = steps[static_cast<size_t>(level)];
  auto refuse = [&] { throw PlanError("route step '" + s.text() + "' cannot make a chip +" + std::to_string(level)); };
  if (s.level != level) refuse();
  switch (s.how) {
    case RouteStep::How::Buy:
      if (level != 0) refuse();
      return;
    case RouteStep::How::Enhance:
      if (s.from < 0 || s.from >= level) refuse();
      return checkRoute(steps, s.from, b);
    case RouteStep::How::Fuse:
      if (s.b < 1 || s.a < s.b || s.a >= level || fusion(s.a, s.b, s.protectant, b).result != level) refuse();
      checkRoute(steps, s.a, b);
      return checkRoute(steps, s.b, b);
  }
}

}  // namespace

CostDistribution routeCost(const std::vector<RouteStep>& steps, int level, Bonuses b, std::optional<double> budget) {
  checkRoute(steps, level, b);
  const Steps budgetAt = budget ? budgetSteps(*budget) : -1;
  CostDistribution out;
  if (!steps[static_cast<size_t>(level)].expectedCost) return out;
  RouteProcess process(steps, b);
  const int start = process.make(level, {{1, kDone}});
  distribute(process.nodes, start, budgetAt, true, out);
  return out;
}

}  // namespace mox::plan
