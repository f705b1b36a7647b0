// Climbs as absorbing chains over chip levels: expectations level by level, distributions and the best chance
// within a budget by dynamic programming over money.
#include <algorithm>
#include <cmath>
#include <limits>

#include "plan/chain.h"
#include "plan/planner.h"
#include "sim/items.h"
#include "sim/rates.h"

namespace mox::plan {

namespace {

// One level of a chain: what an attempt there does.
struct Level {
  double up = 0, down = 0, stay = 0;
  Steps cost = 0;
};

Level levelOf(const Odds& o) { return {o.success, o.drop, 1 - o.success - o.drop, o.cost}; }

// The dynamic programmes look back at most one attempt's cost, so each level keeps a ring of its last values.
constexpr Steps kRing = Walk::kRing;
constexpr Steps kRingMask = kRing - 1;
static_assert(4 * 20 + 7 + 100 < kRing, "the dearest recipe (four big crystals, catalyst, protectant) fits the ring");

void checkClimb(int from, int to) {
  checkLevel(from, 0, kTopLevel - 1, "from level");
  checkLevel(to, 1, kTopLevel, "to level");
  if (from >= to)
    throw PlanError("from level " + std::to_string(from) + " must be below to level " + std::to_string(to));
}

// Each level's value at money m, read `cost` steps back, with the target worth 1 and below the chain worth 0. For
// several chips, copies of the chain one after another: a copy's top moves up to the next copy's `entry` level.
struct Rings {
  int levels;
  std::vector<int> up, down;  // where each level's step up and its drop go (-1: below the chain)
  std::vector<double> values;
  explicit Rings(int n, int copies = 1, int entry = 0)
      : levels(n * copies),
        up(static_cast<size_t>(levels)),
        down(static_cast<size_t>(levels)),
        values(static_cast<size_t>(levels) * kRing, 0.0) {
    for (int i = 0; i < levels; ++i) {
      up[static_cast<size_t>(i)] = (i + 1) % n == 0 && i + 1 < levels ? i + 1 + entry : i + 1;
      down[static_cast<size_t>(i)] = i % n ? i - 1 : -1;
    }
  }
  double at(int i, Steps m) const {
    if (m < 0 || i < 0) return 0;
    if (i >= levels) return 1;
    return values[static_cast<size_t>(i * kRing + (m & kRingMask))];
  }
  void set(int i, Steps m, double v) { values[static_cast<size_t>(i * kRing + (m & kRingMask))] = v; }
  double next(const Level& l, int i, Steps m) const {
    const Steps back = m - l.cost;
    if (back < 0) return 0;
    const auto k = static_cast<size_t>(i);
    return l.up * at(up[k], back) + l.down * at(down[k], back) + l.stay * at(i, back);
  }
};

}  // namespace

double savedQ(const ItemCounts& taken) {
  double q = 0;
  for (size_t k = 0; k < taken.size(); ++k) q += taken[k] * toQ(priceSteps(static_cast<int32_t>(k + 1)));
  return q;
}

Steps budgetSteps(double budget) {
  if (!(budget >= 0)) throw PlanError("budget " + std::to_string(budget) + " must be 0 or more");
  const double steps = std::floor(budget / kQPerStep + 1e-9);
  if (steps > static_cast<double>(kMaxBudgetSteps)) {
    throw PlanError("budget " + std::to_string(budget) + " is more than " + std::to_string(toQ(kMaxBudgetSteps)));
  }
  return static_cast<Steps>(steps);
}

int appendClimb(std::vector<Node>& nodes, const std::vector<Odds>& levels, const std::vector<Move>& onTop) {
  const int first = static_cast<int>(nodes.size());
  const int n = static_cast<int>(levels.size());
  for (int i = 0; i < n; ++i) {
    const Odds& o = levels[static_cast<size_t>(i)];
    Node node{.cost = o.cost, .moves = {}};
    auto move = [&](double p, int to) {
      if (p > 0) node.moves.push_back({p, to});
    };
    if (i + 1 < n) {
      move(o.success, first + i + 1);
    } else {
      for (const Move& m : onTop) move(o.success * m.p, m.to);
    }
    move(o.drop, first + i - 1);
    move(1 - o.success - o.drop, first + i);
    nodes.push_back(std::move(node));
  }
  return first;
}

Walk::Walk(const std::vector<Node>& nodes, int start) : n_(nodes.size()), start_(static_cast<size_t>(start)) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    const Node& node = nodes[i];
    const bool backwards = std::all_of(node.moves.begin(), node.moves.end(), [&](const Move& m) {
      return m.to == kDone || (m.to >= 0 && static_cast<size_t>(m.to) < i);
    });
    if (node.cost < (backwards ? 0 : 1) || node.cost >= kRing) {
      throw PlanError("a step of the plan costs outside 1.." + std::to_string(kRing - 1) + " steps");
    }
  }
  if (start < 0 || start_ >= n_) throw PlanError("a walk from no node");
  // By amount, then by node: a step writes one row in node order and reads the rows a visit's cost back, where
  // a node's moves mostly lead to nodes near it (a large process out of a stock walks through memory, not across
  // it). The goal is the last node of every row, worth 1.
  const size_t stride = n_ + 1;
  values_.assign(stride * kRing, 0.0);
  for (size_t slot = 0; slot < static_cast<size_t>(kRing); ++slot) values_[slot * stride + n_] = 1.0;
  first_.push_back(0);
  for (const Node& node : nodes) {
    for (const Move& move : node.moves) {
      if (move.to != kDone && (move.to < 0 || static_cast<size_t>(move.to) >= n_)) throw PlanError("a move to no node");
      chance_.push_back(move.p);
      to_.push_back(move.to == kDone ? n_ : static_cast<size_t>(move.to));
    }
    first_.push_back(chance_.size());
    cost_.push_back(node.cost);
  }
}

double Walk::next() {
  constexpr Steps kMask = kRing - 1;
  const Steps m = m_++;
  // Plain pointers: the stores into the rings then cannot be taken to change what the loop reads.
  double* values = values_.data();
  const double* chance = chance_.data();
  const size_t *to = to_.data(), *first = first_.data();
  const Steps* cost = cost_.data();
  const size_t stride = n_ + 1;
  double* row = values + static_cast<size_t>(m & kMask) * stride;
  for (size_t i = 0, n = n_; i < n; ++i) {
    const Steps back = m - cost[i];
    double v = 0;
    if (back >= 0) {
      const double* from = values + static_cast<size_t>(back & kMask) * stride;
      for (size_t k = first[i]; k < first[i + 1]; ++k) v += chance[k] * from[to[k]];
    }
    row[i] = v;
  }
  f_ = row[start_];
  ringAgo_ = recent_[static_cast<size_t>((m + 1) & kMask)];
  recent_[static_cast<size_t>(m & kMask)] = f_;
  return f_;
}

bool Walk::done() const {
  constexpr double kLastPercentile = 0.999;
  return f_ >= kLastPercentile && (1 - f_ < 1e-15 || (amount() >= kRing && f_ - ringAgo_ < 1e-15));
}

namespace {
thread_local const std::atomic<bool>* tCancel = nullptr;
}

CancelScope::CancelScope(const std::atomic<bool>* flag) : outer_(tCancel) { tCancel = flag; }
CancelScope::~CancelScope() { tCancel = outer_; }

void stopIfCancelled() {
  if (tCancel && tCancel->load(std::memory_order_relaxed)) throw Cancelled();
}

void distribute(const std::vector<Node>& nodes, int start, Steps budget, bool distribution, CostDistribution& out) {
  Walk walk(nodes, start);
  constexpr double kLastPercentile = 0.999;
  for (Steps m = 0; m < kMaxComputedSteps; ++m) {
    if ((m & 255) == 0) stopIfCancelled();
    const double f = walk.next();
    if (distribution) {
      if (static_cast<Steps>(out.cdf.size()) < kMaxStoredSteps) {
        out.cdf.push_back(f);
      } else {
        out.complete = false;
      }
      for (Percentile& p : out.percentiles) {
        if (!p.cost && f >= p.q) p.cost = toQ(m);
      }
    }
    if (m == budget) out.withinBudget = f;
    // Past the last percentile and the budget, or where the rest of the chance is below what doubles hold.
    const bool budgetDone = budget < 0 || out.withinBudget;
    if ((f >= kLastPercentile || !distribution) && budgetDone) break;
    if (walk.done()) {
      if (budget >= 0 && !out.withinBudget) out.withinBudget = f;
      break;
    }
  }
  if (distribution && !out.percentiles.back().cost) out.complete = false;
}

int lowestLevel(int from, const RecipePlan& recipes, Bonuses b) {
  checkLevel(from, 0, kTopLevel - 1, "from level");
  for (int level = from;; --level) {
    const std::optional<Recipe>& r = recipes[static_cast<size_t>(level)];
    if (!r) throw PlanError("no recipe for level " + std::to_string(level));
    if (level == 0 || odds(level, *r, b).drop <= 0) return level;
  }
}

namespace {

// The odds at each level a climb can visit, from `lowest` up, each level's recipe noted in `used`; nothing when
// some level can never be passed.
std::vector<Odds> chainOf(const ClimbRequest& req, int lowest, RecipePlan& used) {
  std::vector<Odds> chain;
  bool reachable = true;
  for (int level = lowest; level < req.to; ++level) {
    const std::optional<Recipe>& r = req.recipes[static_cast<size_t>(level)];
    if (!r) throw PlanError("no recipe for level " + std::to_string(level));
    used[static_cast<size_t>(level)] = r;
    chain.push_back(odds(level, *r, req.bonuses));
    reachable = reachable && chain.back().success > 0;
  }
  if (!reachable) chain.clear();
  return chain;
}

}  // namespace

Climb climb(const ClimbRequest& req) {
  checkClimb(req.from, req.to);
  checkStock(req.stock);
  checkLevel(req.count, 1, kMaxChips, "count");
  // -1: no budget.
  const Steps budget = req.budget ? budgetSteps(*req.budget) : -1;
  Climb out;
  out.from = req.from;
  out.to = req.to;
  out.lowest = lowestLevel(req.from, req.recipes, req.bonuses);

  const std::vector<Odds> chain = chainOf(req, out.lowest, out.recipes);
  if (chain.empty()) return out;

  // Going up one level from L costs its attempt, and after a drop the passage up from L - 1 again:
  // p * D(L) = c + q * D(L - 1).
  double cost = 0, attempts = 0, passageCost = 0, passageAttempts = 0;
  for (int level = out.lowest; level < req.to; ++level) {
    const Odds& o = chain[static_cast<size_t>(level - out.lowest)];
    passageCost = (toQ(o.cost) + o.drop * passageCost) / o.success;
    passageAttempts = (1 + o.drop * passageAttempts) / o.success;
    if (level >= req.from) {
      cost += passageCost;
      attempts += passageAttempts;
    }
  }
  cost *= req.count;
  out.expectedAttempts = attempts * req.count;
  // Several chips: a climb per chip, each arrival the start of the next climb (every visit costs, so a move to a
  // node after it is no trouble to a walk).
  std::vector<Node> nodes;
  const int start = req.from - out.lowest, size = static_cast<int>(chain.size());
  Uses uses;
  for (int c = 0; c < req.count; ++c) {
    appendClimb(nodes, chain, {{1, c + 1 < req.count ? (c + 1) * size + start : kDone}});
    for (const Odds& o : chain) uses.push_back(recipeItems(o.recipe));
  }
  const bool fromStock = stockMatters(uses, req.stock);
  if (fromStock) {
    out.fromStock = takenFromStock(nodes, uses, start, req.stock);
    cost -= savedQ(out.fromStock);
    // What the stock saves can come to all there is to spend, give or take the last bits.
    if (cost < 1e-9 * (cost + savedQ(out.fromStock))) cost = 0;
  }
  out.expectedCost = cost;
  if (!req.distribution && budget < 0) return out;

  // F(L, m) = P(reaching the target from L spending at most m): every attempt costs the same at a level, so
  // F(L, m) = p F(L+1, m-c) + q F(L-1, m-c) + s F(L, m-c), and the values at m need only lower amounts. Out of
  // a stock, the same over each level and what is left of the stock.
  if (fromStock) {
    const StockProcess left(nodes, uses, start, req.stock);
    if (!left.complete()) {
      // Too many states of what is left: where no level drops the chip, the levels can be figured apart.
      if (!distributeLevelsApart(chain, req.count, req.stock, budget, req.distribution, out)) out.complete = false;
      return out;
    }
    distribute(left.nodes(), left.start(), budget, req.distribution, out);
    return out;
  }
  distribute(nodes, start, budget, req.distribution, out);
  return out;
}

RecipePlan bestRecipesFrom(int from, int to, Bonuses b, const Stock& stock, int count) {
  checkClimb(from, to);
  checkStock(stock);
  RecipePlan plan = bestRecipes(b);
  int lowest = from;
  while (lowest > 0 && failureLowers(lowest)) --lowest;
  Stock held{};
  for (int32_t code : {kSmallCrystal, kBigCrystal, kMagicCrystal, kCatalyst, kProtectant}) {
    held[static_cast<size_t>(code - 1)] = std::min(stock[static_cast<size_t>(code - 1)], kChoiceCap);
  }
  if (held == Stock{}) return plan;
  auto spend = [&](const RecipePlan& recipes) {
    const Climb c = climb({.from = from,
                           .to = to,
                           .recipes = recipes,
                           .bonuses = b,
                           .stock = held,
                           .distribution = false,
                           .count = count});
    return c.expectedCost.value_or(std::numeric_limits<double>::infinity());
  };
  double best = spend(plan);
  // Each round tries every recipe at each level; only a real saving replaces one (ties keep the shop's best).
  for (bool changed = true; changed;) {
    changed = false;
    for (int level = lowest; level < to; ++level) {
      for (const Recipe& r : recipesFor(level)) {
        if (r == plan[static_cast<size_t>(level)] || odds(level, r, b).success <= 0) continue;
        RecipePlan tried = plan;
        tried[static_cast<size_t>(level)] = r;
        const double cost = spend(tried);
        if (cost < best * (1 - 1e-12)) {
          best = cost;
          plan = tried;
          changed = true;
        }
      }
    }
  }
  return plan;
}

bool choiceCapped(const Stock& stock) {
  for (int32_t code : {kSmallCrystal, kBigCrystal, kMagicCrystal, kCatalyst, kProtectant}) {
    if (stock[static_cast<size_t>(code - 1)] > kChoiceCap) return true;
  }
  return false;
}

struct ClimbCdf::State {
  std::vector<Node> nodes;  // empty: the target cannot be reached
  int start = 0;
  std::optional<Walk> walk;
  double last = 0;  // F at walk->amount()
};

ClimbCdf::ClimbCdf(const ClimbRequest& req) : state_(std::make_unique<State>()) {
  checkClimb(req.from, req.to);
  const int lowest = lowestLevel(req.from, req.recipes, req.bonuses);
  RecipePlan used;
  const std::vector<Odds> chain = chainOf(req, lowest, used);
  if (chain.empty()) return;
  appendClimb(state_->nodes, chain, {{1, kDone}});
  state_->start = req.from - lowest;
}

ClimbCdf::~ClimbCdf() = default;
ClimbCdf::ClimbCdf(ClimbCdf&&) noexcept = default;
ClimbCdf& ClimbCdf::operator=(ClimbCdf&&) noexcept = default;

double ClimbCdf::atMost(Steps m) {
  State& s = *state_;
  if (s.nodes.empty() || m < 0) return 0;
  m = std::min(m, kMaxComputedSteps - 1);
  if (!s.walk || m < s.walk->amount()) {
    s.walk.emplace(s.nodes, s.start);
    s.last = 0;
  }
  while (s.walk->amount() < m && !s.walk->done()) s.last = s.walk->next();
  return s.last;
}

std::optional<Recipe> BudgetPlan::recipeAt(int level, double money) const {
  if (level < 0 || level >= kTopLevel || !(money >= 0)) return std::nullopt;
  const auto& row = choice[static_cast<size_t>(level)];
  const auto m = static_cast<size_t>(std::min<double>(std::floor(money / kQPerStep + 1e-9), budget));
  if (m >= row.size() || row[m] < 0) return std::nullopt;
  return candidates[static_cast<size_t>(level)][static_cast<size_t>(row[m])];
}

double budgetWork(int from, int to, double budget, int count) {
  checkClimb(from, to);
  int lowest = from;
  while (lowest > 0 && failureLowers(lowest)) --lowest;
  return static_cast<double>(to - lowest) * count * (budgetSteps(budget) + 1);
}

BudgetPlan bestWithinBudget(int from, int to, double budget, Bonuses b, int count) {
  checkClimb(from, to);
  checkLevel(count, 1, kMaxChips, "count");
  BudgetPlan plan;
  plan.from = from;
  plan.to = to;
  plan.budget = budgetSteps(budget);
  int lowest = from;
  while (lowest > 0 && failureLowers(lowest)) --lowest;

  // A recipe no cheaper, no likelier to succeed and no less likely to drop than another is never worth
  // choosing: the chance to arrive never falls with the level or with the money left.
  const int n = to - lowest;
  std::vector<std::vector<Level>> options(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const int level = lowest + i;
    std::vector<std::pair<Recipe, Level>> all;
    for (const Recipe& r : recipesFor(level)) {
      const Odds o = odds(level, r, b);
      if (o.success > 0) all.emplace_back(r, levelOf(o));
    }
    auto dominates = [](const Level& x, const Level& y) {
      return x.cost <= y.cost && x.up >= y.up && x.down <= y.down;
    };
    for (size_t j = 0; j < all.size(); ++j) {
      bool beaten = false;
      for (size_t k = 0; k < all.size() && !beaten; ++k) {
        if (k == j || !dominates(all[k].second, all[j].second)) continue;
        // Of two equal recipes the first stays.
        beaten = !dominates(all[j].second, all[k].second) || k < j;
      }
      if (beaten) continue;
      plan.candidates[static_cast<size_t>(level)].push_back(all[j].first);
      options[static_cast<size_t>(i)].push_back(all[j].second);
    }
    plan.choice[static_cast<size_t>(level)].assign(static_cast<size_t>(plan.budget) + 1, -1);
  }

  // V(L, m) = the best over recipes of p V(L+1, m-c) + q V(L-1, m-c) + s V(L, m-c); for several chips, over a
  // copy of the levels per chip, the first chip's choices kept.
  plan.count = count;
  Rings rings(n, count, from - lowest);
  for (Steps m = 0; m <= plan.budget; ++m) {
    for (int i = 0; i < n * count; ++i) {
      double best = 0;
      int8_t choice = -1;
      const auto& opts = options[static_cast<size_t>(i % n)];
      for (size_t j = 0; j < opts.size(); ++j) {
        const double v = rings.next(opts[j], i, m);
        if (v > best) {
          best = v;
          choice = static_cast<int8_t>(j);
        }
      }
      rings.set(i, m, best);
      if (i < n) plan.choice[static_cast<size_t>(lowest + i)][static_cast<size_t>(m)] = choice;
    }
  }
  plan.chance = rings.at(from - lowest, plan.budget);
  return plan;
}

}  // namespace mox::plan
