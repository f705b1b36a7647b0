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
    case How::Fuse: return "fuse " + std::to_string(a) + "+" + std::to_string(b) + (protectant ? " protected" : "");
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
  // `held`: the chips of each level the route may take before making one (the +0 chips are bought from the
  // stock as any item is).
  RouteProcess(const std::vector<RouteStep>& steps, Bonuses b, const std::array<bool, kTopLevel + 1>& held = {})
      : steps_(steps), bonuses_(b), best_(bestRecipes(b)), held_(held) {}

  std::vector<Node> nodes;
  Uses uses;           // what each node uses up, by item code
  Branches otherwise;  // a branch's way when no chip is left to take, -1 for the other nodes

  // Appends the nodes that get a chip of `level` and then go on by `then`; returns the first of them. As the run
  // decides each move from the chips held: a chip of the level held is taken; one to be climbed to it is the
  // highest held on its way; else it is made by the route's step.
  int make(int level, const std::vector<Move>& then) {
    if (level > 0 && held_[static_cast<size_t>(level)]) {
      const int branch = add(0, then, chipCode(level));
      otherwise[static_cast<size_t>(branch)] = makeByStep(level, then);
      return branch;
    }
    return makeByStep(level, then);
  }

 private:
  int add(Steps cost, std::vector<Move> moves, int32_t item, int count = 1) {
    nodes.push_back({.cost = cost, .moves = std::move(moves)});
    Stock use{};
    if (item > 0) use[static_cast<size_t>(item - 1)] = count;
    uses.push_back(use);
    otherwise.push_back(-1);
    return static_cast<int>(nodes.size()) - 1;
  }

  int makeByStep(int level, const std::vector<Move>& then) {
    const RouteStep& s = steps_[static_cast<size_t>(level)];
    const int here = static_cast<int>(nodes.size());
    switch (s.how) {
      case RouteStep::How::Buy: return add(priceSteps(kChip0), then, kChip0);
      case RouteStep::How::Enhance: {
        const int lowest = lowestLevel(s.from, best_, bonuses_);
        std::vector<Odds> levels;
        for (int l = lowest; l < level; ++l) levels.push_back(odds(l, *best_[static_cast<size_t>(l)], bonuses_));
        const int first = appendClimb(nodes, levels, then);
        for (const Odds& o : levels) {
          uses.push_back(recipeItems(o.recipe));
          otherwise.push_back(-1);
        }
        // The highest chip held on the way, else one made from the step's level (a +0 is bought from the stock
        // as any item).
        int last = -1, entry = -1;
        for (int l = level - 1; l >= std::max(lowest, 1); --l) {
          if (!held_[static_cast<size_t>(l)]) continue;
          const int branch = add(0, {{1, first + l - lowest}}, chipCode(l));
          if (last >= 0)
            otherwise[static_cast<size_t>(last)] = branch;
          else
            entry = branch;
          last = branch;
        }
        const int made = make(s.from, {{1, first + s.from - lowest}});
        if (last < 0) return made;
        otherwise[static_cast<size_t>(last)] = made;
        return entry;
      }
      case RouteStep::How::Fuse: break;
    }
    const double p = fusion(s.a, s.b, s.protectant, bonuses_).success;
    std::vector<Move> attempt;
    for (const Move& m : then) attempt.push_back({m.p * p, m.to});
    if (s.protectant) {
      // Each attempt uses up a protectant; a failure keeps both chips for the next.
      attempt.push_back({1 - p, here});
      add(priceSteps(kProtectant), attempt, kProtectant);
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

  const std::vector<RouteStep>& steps_;
  Bonuses bonuses_;
  RecipePlan best_;
  std::array<bool, kTopLevel + 1> held_;
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

// The route out of chips held, figured over the moves it chooses: the chips are its states, the stock left to it
// its items.
RouteCost heldRouteCost(const HeldRoute& route, const ChipCounts& held, const Stock& stock, Steps budgetAt,
                        bool distribution) {
  RouteCost out;
  std::vector<Node> nodes;
  Uses uses;
  const int start = route.process(nodes, uses);
  Stock items = stock;
  for (int l = 0; l <= kTopLevel; ++l) items[static_cast<size_t>(chipCode(l) - 1)] = 0;
  items[kChip0 - 1] = held[0] - heldZeroes(held);
  // A walk over money needs every visit to cost: a start that costs nothing (an unprotected fusion) is given a
  // step, taken off again at the end.
  const Steps lift = nodes[static_cast<size_t>(start)].cost == 0 ? 1 : 0;
  nodes[static_cast<size_t>(start)].cost += lift;
  const double whole = expectedQ(nodes, start, {}) - toQ(lift);
  const bool stock_ = stockMatters(uses, items);
  if (stock_) out.fromStock = takenFromStock(nodes, uses, start, items);
  const double saved = savedQ(out.fromStock);
  const ItemCounts chips = route.chipsTaken(held);
  for (size_t k = 0; k < chips.size(); ++k) out.fromStock[k] += chips[k];
  out.expectedCost = whole - saved < 1e-9 * whole ? 0 : whole - saved;
  if (!distribution && budgetAt < 0) return out;
  const Steps budget = budgetAt >= 0 ? budgetAt + lift : -1;
  if (stock_) {
    const StockProcess left(nodes, uses, start, items);
    if (!left.complete()) {
      out.complete = false;
      return out;
    }
    distribute(left.nodes(), left.start(), budget, distribution, out);
  } else {
    distribute(nodes, start, budget, distribution, out);
  }
  if (lift > 0 && !out.cdf.empty()) out.cdf.erase(out.cdf.begin());
  for (Percentile& p : out.percentiles) {
    if (p.cost) *p.cost -= toQ(lift);
  }
  return out;
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

RouteCost routeCostFrom(const std::vector<RouteStep>& steps, int level, Bonuses b, const Stock& stock,
                        std::optional<double> budget, bool distribution, int count) {
  checkRoute(steps, level, b);
  checkStock(stock);
  checkLevel(count, 1, kMaxChips, "count");
  const Steps budgetAt = budget ? budgetSteps(*budget) : -1;
  RouteCost out;
  if (!steps[static_cast<size_t>(level)].expectedCost) return out;
  // Chips held below the level: every move is chosen for them, unless they are too many for that.
  ChipCounts counts{};
  for (int l = 0; l <= kTopLevel; ++l) counts[static_cast<size_t>(l)] = stock[static_cast<size_t>(chipCode(l) - 1)];
  if (count == 1 && counts[static_cast<size_t>(level)] == 0 && holdsChipsFor(level, counts)) {
    if (const std::optional<HeldRoute> held = HeldRoute::solve(level, b, counts)) {
      return heldRouteCost(*held, counts, stock, budgetAt, distribution);
    }
    out.chipsByRule = true;
  }
  // Several chips: the route's moves are chosen for one chip, so the chips held below the level go by the rule.
  for (int l = 1; l < level && count > 1; ++l) out.chipsByRule = out.chipsByRule || counts[static_cast<size_t>(l)] > 0;
  // The chips the route may take: those up to its level (one of the level itself is the chip wanted: nothing is
  // left to spend).
  Stock held = stock;
  std::array<bool, kTopLevel + 1> chips{};
  for (int l = 1; l <= kTopLevel; ++l) {
    int32_t& n = held[static_cast<size_t>(chipCode(l) - 1)];
    if (l > level) n = 0;
    chips[static_cast<size_t>(l)] = n > 0;
  }
  RouteProcess process(steps, b, chips);
  // A route per chip, the last made first: each arrival moves to the next chip's start, a node before it.
  int start = kDone;
  for (int c = 0; c < count; ++c) start = process.make(level, {{1, start}});
  if (!stockMatters(process.uses, held)) {
    out.expectedCost = *steps[static_cast<size_t>(level)].expectedCost * count;
    if (distribution || budgetAt >= 0) distribute(process.nodes, start, budgetAt, distribution, out);
    return out;
  }
  // The expectation: over the chips left alone (each visit at the shop's prices), less what the items taken
  // from the stock would have cost.
  Stock chipsOnly{};
  for (int l = 1; l <= level; ++l) {
    const auto code = static_cast<size_t>(chipCode(l) - 1);
    chipsOnly[code] = held[code];
  }
  const StockProcess byChips(process.nodes, process.uses, start, chipsOnly, &process.otherwise);
  if (!byChips.complete()) {
    out.complete = false;
    return out;
  }
  out.fromStock = takenFromStock(byChips.nodes(), byChips.uses(), byChips.start(), held, byChips.blocks());
  const double whole = expectedQ(byChips.nodes(), byChips.start(), byChips.blocks()), saved = savedQ(out.fromStock);
  out.expectedCost = whole - saved < 1e-9 * whole ? 0 : whole - saved;
  if (!distribution && budgetAt < 0) return out;
  const StockProcess left(process.nodes, process.uses, start, held, &process.otherwise);
  if (!left.complete()) {
    out.complete = false;
    return out;
  }
  distribute(left.nodes(), left.start(), budgetAt, distribution, out);
  return out;
}

}  // namespace mox::plan
