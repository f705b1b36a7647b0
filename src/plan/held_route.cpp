// The route out of chips already held: every move chosen from the chips held before it, by dynamic programming over
// the counts of chips by level, and the process of the moves chosen, for the figures out of a stock.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "plan/chain.h"
#include "plan/planner.h"
#include "sim/items.h"

namespace mox::plan {

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();

// The recipes worth a try at each level: of those that may drop the chip and of those that may not, each that no
// other of its kind beats in both cost and success.
std::vector<Odds> candidates(int level, Bonuses b) {
  std::vector<Odds> all;
  for (const Recipe& r : recipesFor(level)) {
    const Odds o = odds(level, r, b);
    if (o.success > 0) all.push_back(o);
  }
  std::vector<Odds> out;
  for (const Odds& o : all) {
    bool beaten = false;
    for (const Odds& p : all) {
      if ((p.drop > 0) != (o.drop > 0) || &p == &o) continue;
      const bool noWorse = p.cost <= o.cost && p.success >= o.success;
      const bool better = p.cost < o.cost || p.success > o.success;
      // Of two alike, the first listed (the cheaper recipe) stays.
      beaten = beaten || (noWorse && (better || &p < &o));
    }
    if (!beaten) out.push_back(o);
  }
  return out;
}

}  // namespace

int heldZeroes(const ChipCounts& held) { return std::clamp(held[0], 0, kHeldZeroes); }

bool holdsChipsFor(int to, const ChipCounts& held) {
  for (int l = 1; l <= to && l <= kTopLevel; ++l) {
    if (held[static_cast<size_t>(l)] > 0) return true;
  }
  return false;
}

std::optional<HeldRoute> HeldRoute::solve(int to, Bonuses b, const ChipCounts& held) {
  checkLevel(to, 1, kTopLevel, "level");
  HeldRoute r;
  r.to_ = to;
  r.bonuses_ = b;
  // Each level's count runs to what was held and one more, two where the route from money alone fuses two chips
  // of the level: more are never needed at once.
  std::array<int, kTopLevel + 1> spare;
  spare.fill(1);
  for (const RouteStep& s : route(to, b)) {
    if (s.how == RouteStep::How::Fuse && s.a == s.b) spare[static_cast<size_t>(s.a)] = kSpare;
  }
  double states = 1;
  size_t stride = 1;
  for (int l = 0; l < to; ++l) {
    const auto i = static_cast<size_t>(l);
    r.cap_[i] = std::max(l == 0 ? heldZeroes(held) : held[i], 0) + spare[i];
    r.stride_[i] = stride;
    states *= r.cap_[i] + 1;
    stride *= static_cast<size_t>(r.cap_[i] + 1);
    if (states > static_cast<double>(kMaxHeldStates)) return std::nullopt;
  }
  if (held[static_cast<size_t>(to)] > 0) return r;
  for (int l = 0; l < to; ++l) r.recipes_[static_cast<size_t>(l)] = candidates(l, b);
  for (int a = 1; a < to; ++a) {
    for (int lower = 1; lower <= a; ++lower) {
      for (bool prot : {false, true}) {
        const Fusion f = fusion(a, lower, prot, b);
        if (f.result > 0 && f.result <= to && f.success > 0) r.fusions_.push_back(f);
      }
    }
  }
  r.value_.assign(stride, kNever);
  r.choice_.assign(stride, -1);
  ChipCounts start = held;
  start[0] = heldZeroes(held);
  r.start_ = r.indexOf(start);
  r.iterate();
  if (!std::isfinite(r.value_[r.start_])) return std::nullopt;
  return r;
}

size_t HeldRoute::indexOf(const ChipCounts& held) const {
  size_t at = 0;
  for (int l = 0; l < to_; ++l) {
    const auto i = static_cast<size_t>(l);
    at += stride_[i] * static_cast<size_t>(std::clamp(held[i], 0, cap_[i]));
  }
  return at;
}

int HeldRoute::countAt(size_t state, int level) const {
  const auto i = static_cast<size_t>(level);
  return static_cast<int>(state / stride_[i] % static_cast<size_t>(cap_[i] + 1));
}

// The state after a chip of `level` is taken away (delta -1) or added (+1); kDone for one of the target's level,
// -1 past a level's count.
int64_t HeldRoute::moved(size_t state, int level, int delta) const {
  if (level == to_ && delta > 0) return kDone;
  const int n = countAt(state, level) + delta;
  if (n < 0 || n > cap_[static_cast<size_t>(level)]) return -1;
  return static_cast<int64_t>(state) + delta * static_cast<int64_t>(stride_[static_cast<size_t>(level)]);
}

HeldRoute::Outcomes HeldRoute::outcomes(size_t state, int move, Steps& cost) const {
  Outcomes out;
  cost = 0;
  const int enhances = static_cast<int>(moves_.size());
  if (move == 0) {  // buy a +0
    cost = priceSteps(kChip0);
    out.push_back({1, moved(state, 0, 1)});
  } else if (move - 1 < enhances) {
    const auto [level, k] = moves_[static_cast<size_t>(move - 1)];
    const Odds& o = recipes_[static_cast<size_t>(level)][static_cast<size_t>(k)];
    cost = o.cost;
    const int64_t without = moved(state, level, -1);
    if (without < 0) return {};
    out.push_back({o.success, level + 1 == to_ ? kDone : moved(static_cast<size_t>(without), level + 1, 1)});
    if (o.drop > 0) out.push_back({o.drop, moved(static_cast<size_t>(without), level - 1, 1)});
    if (o.success + o.drop < 1) out.push_back({1 - o.success - o.drop, static_cast<int64_t>(state)});
  } else {
    const Fusion& f = fusions_[static_cast<size_t>(move - 1 - enhances)];
    int64_t rest = moved(state, f.a, -1);
    if (rest >= 0) rest = moved(static_cast<size_t>(rest), f.b, -1);
    if (rest < 0) return {};
    out.push_back({f.success, f.result == to_ ? kDone : moved(static_cast<size_t>(rest), f.result, 1)});
    if (f.protectant) {
      cost = priceSteps(kProtectant);
      out.push_back({1 - f.success, static_cast<int64_t>(state)});
    } else {
      out.push_back({1 - f.success, moved(state, f.b, -1)});
    }
  }
  for (const Outcome& o : out) {
    if (o.to < 0) return {};
  }
  return out;
}

// The value of `move` at `state` with the values as they are now: a move that may leave the chips as they were is
// taken again until they change.
double HeldRoute::valueOf(size_t state, int move) const {
  Steps cost = 0;
  const Outcomes out = outcomes(state, move, cost);
  if (out.empty()) return kNever;
  double sum = toQ(cost), leave = 1;
  for (const Outcome& o : out) {
    if (o.to == static_cast<int64_t>(state))
      leave -= o.p;
    else if (o.to != kDone)
      sum += o.p * value_[static_cast<size_t>(o.to)];
  }
  return sum / leave;
}

// Policy iteration, loosely: a sweep over every state, the most held first (the states a move leads to come mostly
// before it), each taking its best move with the others' values as they are now; then sweeps that only follow the
// moves taken, until their values settle; again until no move changes and no value moves.
void HeldRoute::iterate() {
  moves_.clear();
  for (int l = 0; l < to_; ++l) {
    for (size_t k = 0; k < recipes_[static_cast<size_t>(l)].size(); ++k) moves_.push_back({l, static_cast<int>(k)});
  }
  const int count = 1 + static_cast<int>(moves_.size() + fusions_.size());
  std::vector<double> price;
  for (const RouteStep& s : route(to_, bonuses_)) price.push_back(s.expectedCost.value_or(0));
  std::vector<double> worth(value_.size(), 0);
  for (size_t s = 0; s < worth.size(); ++s) {
    for (int l = 0; l < to_; ++l) worth[s] += countAt(s, l) * price[static_cast<size_t>(l)];
  }
  std::vector<size_t> order(value_.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) { return worth[x] > worth[y]; });
  auto settle = [](double before, double after) {
    return !std::isfinite(after) || (std::isfinite(before) && std::fabs(before - after) <= 1e-13 * after);
  };
  for (int round = 0; round < kMaxRounds; ++round) {
    stopIfCancelled();
    bool still = true;
    for (size_t s : order) {
      double best = choice_[s] >= 0 ? valueOf(s, choice_[s]) : kNever;
      for (int m = 0; m < count; ++m) {
        const double v = valueOf(s, m);
        if (v < best * (1 - 1e-12)) {
          best = v;
          choice_[s] = m;
        }
      }
      still = still && settle(value_[s], best);
      value_[s] = best;
    }
    if (still) return;
    for (int sweep = 0; sweep < kFollowSweeps; ++sweep) {
      bool settled = true;
      for (size_t s : order) {
        if (choice_[s] < 0) continue;
        const double v = valueOf(s, choice_[s]);
        settled = settled && settle(value_[s], v);
        value_[s] = v;
      }
      if (settled) break;
    }
  }
}

ChipMove HeldRoute::next(const ChipCounts& held) const {
  if (held[static_cast<size_t>(to_)] > 0) return {};
  const int m = choice_.empty() ? -1 : choice_[indexOf(held)];
  if (m < 0) return {};
  if (m == 0) return {.kind = ChipMove::Kind::Buy};
  const int enhances = static_cast<int>(moves_.size());
  if (m - 1 < enhances) {
    const auto [level, k] = moves_[static_cast<size_t>(m - 1)];
    return {.kind = ChipMove::Kind::Enhance,
            .level = level,
            .recipe = recipes_[static_cast<size_t>(level)][static_cast<size_t>(k)].recipe};
  }
  const Fusion& f = fusions_[static_cast<size_t>(m - 1 - enhances)];
  return {.kind = ChipMove::Kind::Fuse, .a = f.a, .b = f.b, .protectant = f.protectant};
}

double HeldRoute::expectedCost() const { return choice_.empty() ? 0 : value_[start_]; }

ItemCounts HeldRoute::chipsTaken(const ChipCounts& held) const {
  ItemCounts taken{};
  if (choice_.empty()) {
    taken[static_cast<size_t>(chipCode(to_) - 1)] = 1;
    return taken;
  }
  // The states reached from the start, each with the expected count of the chips held at the start that are left
  // when the route ends (E[min(left, held)] by level), followed sweep by sweep until they settle.
  std::vector<size_t> states{start_};
  std::vector<int> at(value_.size(), -1);
  at[start_] = 0;
  for (size_t i = 0; i < states.size(); ++i) {
    Steps cost = 0;
    for (const Outcome& o : outcomes(states[i], choice_[states[i]], cost)) {
      if (o.to == kDone || at[static_cast<size_t>(o.to)] >= 0) continue;
      at[static_cast<size_t>(o.to)] = static_cast<int>(states.size());
      states.push_back(static_cast<size_t>(o.to));
    }
  }
  std::vector<std::array<double, kTopLevel>> left(states.size(), std::array<double, kTopLevel>{});
  for (int sweep = 0; sweep < kFollowSweeps * kMaxRounds; ++sweep) {
    double change = 0;
    for (size_t i = states.size(); i-- > 0;) {
      const size_t s = states[i];
      const int m = choice_[s];
      Steps cost = 0;
      const Outcomes out = outcomes(s, m, cost);
      // What the move that ends the route leaves: the chips but the one enhanced or the two fused.
      std::array<int, kTopLevel> after{};
      for (int l = 0; l < to_; ++l) after[static_cast<size_t>(l)] = countAt(s, l);
      const int enhances = static_cast<int>(moves_.size());
      if (m >= 1 && m - 1 < enhances) {
        --after[static_cast<size_t>(moves_[static_cast<size_t>(m - 1)].first)];
      } else if (m > enhances) {
        const Fusion& f = fusions_[static_cast<size_t>(m - 1 - enhances)];
        --after[static_cast<size_t>(f.a)];
        --after[static_cast<size_t>(f.b)];
      }
      for (int l = 0; l < to_; ++l) {
        const auto k = static_cast<size_t>(l);
        double sum = 0, leave = 1;
        for (const Outcome& o : out) {
          if (o.to == static_cast<int64_t>(s))
            leave -= o.p;
          else if (o.to == kDone)
            sum += o.p * std::min(after[k], k == 0 ? heldZeroes(held) : std::max(held[k], 0));
          else
            sum += o.p * left[static_cast<size_t>(at[static_cast<size_t>(o.to)])][k];
        }
        change = std::max(change, std::fabs(sum / leave - left[i][k]));
        left[i][k] = sum / leave;
      }
    }
    if (change < 1e-12) break;
  }
  for (int l = 0; l < to_; ++l) {
    const auto k = static_cast<size_t>(l);
    const double used = (k == 0 ? heldZeroes(held) : std::max(held[k], 0)) - left[0][k];
    taken[static_cast<size_t>(chipCode(l) - 1)] = used < 1e-9 ? 0 : used;
  }
  return taken;
}

// The moves chosen from the start, a node per state reached; an unprotected fusion costs nothing and uses nothing,
// so where it leads is folded into the moves that come to it (a walk over money needs every visit to cost).
int HeldRoute::process(std::vector<Node>& nodes, Uses& uses) const {
  if (choice_.empty()) {
    nodes.push_back({.cost = 0, .moves = {{1, kDone}}});
    uses.push_back({});
    return 0;
  }
  // (The start itself may cost nothing: the caller sees to it.)
  std::vector<int> node(value_.size(), -1);
  std::vector<size_t> states;
  auto visit = [&](int64_t state) {
    if (state == kDone) return static_cast<int>(kDone);
    int& n = node[static_cast<size_t>(state)];
    if (n < 0) {
      n = static_cast<int>(states.size());
      states.push_back(static_cast<size_t>(state));
    }
    return n;
  };
  visit(static_cast<int64_t>(start_));
  for (size_t i = 0; i < states.size(); ++i) {
    Steps cost = 0;
    const Outcomes out = outcomes(states[i], choice_[states[i]], cost);
    Node n{.cost = cost, .moves = {}};
    for (const Outcome& o : out) {
      if (o.p > 0) n.moves.push_back({o.p, visit(o.to)});
    }
    Stock use{};
    const int m = choice_[states[i]];
    if (m == 0)
      use[kChip0 - 1] = 1;
    else if (m - 1 < static_cast<int>(moves_.size())) {
      const auto [level, k] = moves_[static_cast<size_t>(m - 1)];
      use = recipeItems(recipes_[static_cast<size_t>(level)][static_cast<size_t>(k)].recipe);
    } else if (fusions_[static_cast<size_t>(m - 1 - static_cast<int>(moves_.size()))].protectant) {
      use[kProtectant - 1] = 1;
    }
    nodes.push_back(std::move(n));
    uses.push_back(use);
  }
  // Folding: a move to a node that costs nothing becomes that node's moves (they never come back to it).
  std::vector<char> folded(nodes.size(), 0);
  auto fold = [&](auto& self, size_t i) -> void {
    if (folded[i]) return;
    folded[i] = 1;
    std::vector<Move> out;
    for (const Move& m : nodes[i].moves) {
      if (m.to == kDone || nodes[static_cast<size_t>(m.to)].cost > 0 || static_cast<size_t>(m.to) == i) {
        out.push_back(m);
        continue;
      }
      self(self, static_cast<size_t>(m.to));
      for (const Move& n : nodes[static_cast<size_t>(m.to)].moves) out.push_back({m.p * n.p, n.to});
    }
    nodes[i].moves = std::move(out);
  };
  for (size_t i = 0; i < nodes.size(); ++i) fold(fold, i);
  // Nothing comes to a folded node any more but the start; the others are left out of every walk.
  for (size_t i = 1; i < nodes.size(); ++i) nodes[i].cost = std::max<Steps>(nodes[i].cost, 1);
  return 0;
}

}  // namespace mox::plan
