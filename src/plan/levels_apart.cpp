// The distribution of a climb out of a stock where no level drops a chip: the attempts at each level are then
// independent of those at every other level and of every other chip's, and what the climb spends is a function of
// how many attempts each recipe had. That stands in for the walk over the levels and what is left of the stock,
// which a large stock and several chips make too large (ten chips +0 to +9 out of fifty of each item).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <map>
#include <vector>

#include "plan/chain.h"

namespace mox::plan {

namespace {

// Beyond this many combinations of the recipes' attempts within what the stock covers, the walk's limit stands.
constexpr size_t kMaxCombinations = size_t{1} << 22;
// A combination less likely than this is left out: no figure shown is moved by it.
constexpr double kNegligible = 1e-30;
// A count of attempts is followed until what lies beyond it is less likely than this.
constexpr double kTail = 1e-18;

// The levels that lay one recipe, and the distribution of their attempts over every chip.
struct Group {
  Stock uses{};
  Steps cost = 0;              // an attempt's money when nothing comes from the stock
  std::vector<double> counts;  // P(attempts = n)
  int covered = 0;             // attempts past which every item the recipe lays is gone from the stock
  double beyond = 0;           // P(attempts >= covered)
};

// P(n) of a sum of attempts until a success with chance p each (n >= 1 for each), one sum after another.
void addGeometric(std::vector<double>& counts, double p) {
  const double q = 1 - p;
  // The sum's tail past its length grows by the new term's: make room for where that is negligible.
  const size_t more = static_cast<size_t>(std::ceil(std::log(kTail) / std::log(q))) + 1;
  std::vector<double> out(counts.size() + more, 0.0);
  // out(n) = p counts(n - 1) + q out(n - 1).
  for (size_t n = 1; n < out.size(); ++n) out[n] = p * (n - 1 < counts.size() ? counts[n - 1] : 0.0) + q * out[n - 1];
  // Trim what is negligible at the end.
  double tail = 0;
  size_t keep = out.size();
  while (keep > 1 && tail + out[keep - 1] < kTail) tail += out[--keep];
  out.resize(keep);
  counts = std::move(out);
}

// The order of convolving the groups in `set` that does the least work: each group's attempts past its cover, one
// at a time, over the money the groups before it span.
std::vector<size_t> cheapestOrder(const std::vector<Group>& groups, uint32_t set) {
  std::vector<size_t> order;
  for (size_t g = 0; g < groups.size(); ++g) {
    if (set >> g & 1) order.push_back(g);
  }
  if (order.size() > 7) return order;
  auto points = [&](size_t g) { return static_cast<double>(groups[g].counts.size() - groups[g].covered); };
  auto work = [&](const std::vector<size_t>& o) {
    double span = 1, sum = 0;
    for (size_t g : o) {
      sum += points(g) * span;
      span += points(g) * static_cast<double>(groups[g].cost);
    }
    return sum;
  };
  std::vector<size_t> tried = order;
  double least = work(order);
  while (std::next_permutation(tried.begin(), tried.end())) {
    if (const double w = work(tried); w < least) {
      least = w;
      order = tried;
    }
  }
  return order;
}

// The distribution of sum c_g R_g over the groups in `set`, R_g the attempts past `covered` given that many.
std::vector<double> pastCovered(const std::vector<Group>& groups, uint32_t set) {
  std::vector<double> sum{1.0};
  for (size_t g : cheapestOrder(groups, set)) {
    const Group& group = groups[g];
    const auto from = static_cast<size_t>(group.covered);
    std::vector<double> next(sum.size() + (group.counts.size() - from - 1) * static_cast<size_t>(group.cost), 0.0);
    for (size_t r = 0; from + r < group.counts.size(); ++r) {
      const double p = group.counts[from + r] / group.beyond;
      if (p == 0) continue;
      const size_t shift = r * static_cast<size_t>(group.cost);
      for (size_t m = 0; m < sum.size(); ++m) next[m + shift] += p * sum[m];
    }
    sum = std::move(next);
    stopIfCancelled();
  }
  return sum;
}

// The cdf of the money's chances, its percentiles and the chance within the budget, as a walk gives them.
void summarise(const std::vector<double>& chance, Steps budget, bool distribution, CostDistribution& out) {
  constexpr double kLastPercentile = 0.999;
  double f = 0;
  for (size_t m = 0; m < chance.size(); ++m) {
    f = std::min(1.0, f + chance[m]);
    const auto steps = static_cast<Steps>(m);
    if (distribution) {
      if (steps < kMaxStoredSteps)
        out.cdf.push_back(f);
      else
        out.complete = false;
      for (Percentile& q : out.percentiles) {
        if (!q.cost && f >= q.q) q.cost = toQ(steps);
      }
    }
    if (steps == budget) out.withinBudget = f;
    if ((f >= kLastPercentile || !distribution) && (budget < 0 || out.withinBudget)) break;
  }
  if (budget >= 0 && !out.withinBudget) out.withinBudget = f;
  if (distribution && !out.percentiles.back().cost) out.complete = false;
}

}  // namespace

bool distributeLevelsApart(const std::vector<Odds>& chain, int count, const Stock& stock, Steps budget,
                           bool distribution, CostDistribution& out) {
  std::vector<Group> groups;
  for (const Odds& o : chain) {
    if (o.drop > 0 || o.success <= 0) return false;
    const Stock uses = recipeItems(o.recipe);
    auto it = std::find_if(groups.begin(), groups.end(), [&](const Group& g) { return g.uses == uses; });
    if (it == groups.end()) {
      groups.push_back({.uses = uses, .cost = o.cost, .counts = {1.0}});
      it = std::prev(groups.end());
    }
    for (int c = 0; c < count; ++c) addGeometric(it->counts, o.success);
  }
  if (groups.size() > 16) return false;
  size_t combinations = 1;
  for (Group& g : groups) {
    for (size_t k = 0; k < g.uses.size(); ++k) {
      if (g.uses[k] > 0) g.covered = std::max(g.covered, (std::max(stock[k], 0) + g.uses[k] - 1) / g.uses[k]);
    }
    g.covered = std::min(g.covered, static_cast<int>(g.counts.size()) - 1);
    for (size_t n = static_cast<size_t>(g.covered); n < g.counts.size(); ++n) g.beyond += g.counts[n];
    combinations *= static_cast<size_t>(g.covered) + 1;
    if (combinations > kMaxCombinations) return false;
  }

  // Every combination of attempts within what the stock covers (a group at `covered` stands for that many or more):
  // its chance, the money it spends, and which groups went past.
  std::map<uint32_t, std::map<Steps, double>> spent;
  std::vector<int> at(groups.size(), 0);
  for (size_t i = 0; i < combinations; ++i) {
    if ((i & 4095) == 0) stopIfCancelled();
    double p = 1;
    uint32_t past = 0;
    Stock used{};
    for (size_t g = 0; g < groups.size() && p >= kNegligible; ++g) {
      const Group& group = groups[g];
      const bool beyond = at[g] == group.covered;
      p *= beyond ? group.beyond : group.counts[static_cast<size_t>(at[g])];
      past |= static_cast<uint32_t>(beyond) << g;
      for (size_t k = 0; k < used.size(); ++k) used[k] += group.uses[k] * at[g];
    }
    if (p >= kNegligible) {
      Steps money = 0;
      for (size_t k = 0; k < used.size(); ++k) {
        money += std::max(0, used[k] - std::max(stock[k], 0)) * priceSteps(static_cast<int32_t>(k + 1));
      }
      spent[past][money] += p;
    }
    for (size_t g = 0; g < groups.size() && ++at[g] > groups[g].covered; ++g) at[g] = 0;
  }

  // Each set of groups past their cover: its combinations' money, then what the attempts past cost.
  std::vector<double> chance;
  for (const auto& [set, amounts] : spent) {
    const std::vector<double> rest = pastCovered(groups, set);
    const size_t length = static_cast<size_t>(amounts.rbegin()->first) + rest.size();
    if (chance.size() < length) chance.resize(length, 0.0);
    for (const auto& [money, p] : amounts) {
      for (size_t m = 0; m < rest.size(); ++m) chance[static_cast<size_t>(money) + m] += p * rest[m];
    }
    stopIfCancelled();
  }

  summarise(chance, budget, distribution, out);
  return true;
}

}  // namespace mox::plan
