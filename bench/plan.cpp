// The planner's speed: one attempt's odds, the expectation and the full distribution of a climb from +0 to +9,
// the best chance within a budget, and the cheapest route, alone and with the distributions of what it spends.
#include <benchmark/benchmark.h>

#include "plan/planner.h"

namespace {

using namespace mox::plan;

const Bonuses kBonuses{.expert = true};

void BM_Odds(benchmark::State& state) {
  const Recipe r = parseRecipe("bbbb+c");
  for (auto _ : state) benchmark::DoNotOptimize(odds(8, r, kBonuses));
}
BENCHMARK(BM_Odds);

void BM_ExpectedCost0To9(benchmark::State& state) {
  const ClimbRequest req{
      .from = 0, .to = 9, .recipes = bestRecipes(kBonuses), .bonuses = kBonuses, .distribution = false};
  for (auto _ : state) benchmark::DoNotOptimize(climb(req));
}
BENCHMARK(BM_ExpectedCost0To9);

// The recipes are chosen inside the timing: the figure is the whole answer to "what does +9 cost me".
void BM_Distribution0To9WithBestRecipes(benchmark::State& state) {
  for (auto _ : state) {
    const Climb c = climb({.from = 0, .to = 9, .recipes = bestRecipes(kBonuses), .bonuses = kBonuses});
    benchmark::DoNotOptimize(c.cdf.data());
    state.counters["steps"] = static_cast<double>(c.cdf.size());
  }
}
BENCHMARK(BM_Distribution0To9WithBestRecipes)->Unit(benchmark::kMillisecond);

void BM_BestWithin10000(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(bestWithinBudget(0, 9, 10000, kBonuses).chance);
}
BENCHMARK(BM_BestWithin10000)->Unit(benchmark::kMillisecond);

void BM_RouteTo9(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(route(9, kBonuses));
}
BENCHMARK(BM_RouteTo9)->Unit(benchmark::kMicrosecond);

// The route to +9 with the distribution of what it spends at every level, as moxsim-plan route 9 --budget gives it
// (goal: 50 ms).
void BM_RouteTo9WithDistributions(benchmark::State& state) {
  for (auto _ : state) {
    const std::vector<RouteStep> steps = route(9, kBonuses);
    for (const RouteStep& s : steps) benchmark::DoNotOptimize(routeCost(steps, s.level, kBonuses, 2000.0).cdf.data());
  }
}
BENCHMARK(BM_RouteTo9WithDistributions)->Unit(benchmark::kMillisecond);

// Out of a stock of 50 of each consumable and two chips of each level (figured off the interface thread; goals:
// the expectation of a given plan within 1 ms, its distribution within 200 ms, the least-cost plan and the route
// within 1 s). An empty stock takes the paths above.
Stock fullBag() {
  Stock s{};
  for (int code = 2; code <= 6; ++code) s[static_cast<size_t>(code - 1)] = 50;
  for (int level = 0; level <= kTopLevel; ++level) s[static_cast<size_t>(level == 0 ? 0 : 6 + level - 1)] = 2;
  return s;
}

void BM_StockExpectedCost0To9(benchmark::State& state) {
  const ClimbRequest req{.from = 0,
                         .to = 9,
                         .recipes = bestRecipes(kBonuses),
                         .bonuses = kBonuses,
                         .stock = fullBag(),
                         .distribution = false};
  for (auto _ : state) benchmark::DoNotOptimize(climb(req));
}
BENCHMARK(BM_StockExpectedCost0To9)->Unit(benchmark::kMicrosecond);

void BM_StockDistribution0To7(benchmark::State& state) {
  const ClimbRequest req{.from = 0, .to = 7, .recipes = bestRecipes(kBonuses), .bonuses = kBonuses, .stock = fullBag()};
  for (auto _ : state) benchmark::DoNotOptimize(climb(req).cdf.data());
}
BENCHMARK(BM_StockDistribution0To7)->Unit(benchmark::kMillisecond);

void BM_StockDistribution0To9(benchmark::State& state) {
  const ClimbRequest req{.from = 0, .to = 9, .recipes = bestRecipes(kBonuses), .bonuses = kBonuses, .stock = fullBag()};
  for (auto _ : state) {
    const Climb c = climb(req);
    benchmark::DoNotOptimize(c.cdf.data());
    state.counters["steps"] = static_cast<double>(c.cdf.size());
  }
}
BENCHMARK(BM_StockDistribution0To9)->Unit(benchmark::kMillisecond);

void BM_StockBestRecipes0To9(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(bestRecipesFrom(0, 9, kBonuses, fullBag()));
}
BENCHMARK(BM_StockBestRecipes0To9)->Unit(benchmark::kMillisecond);

// The route to +7 and to +9 out of the stock: the expectation alone, and with the distribution.
void BM_StockRoute(benchmark::State& state) {
  const int to = static_cast<int>(state.range(0));
  const bool distribution = state.range(1) != 0;
  for (auto _ : state) {
    const std::vector<RouteStep> steps = route(to, kBonuses);
    benchmark::DoNotOptimize(routeCostFrom(steps, to, kBonuses, fullBag(), std::nullopt, distribution).expectedCost);
  }
}
BENCHMARK(BM_StockRoute)->Args({7, 0})->Args({7, 1})->Args({9, 0})->Args({9, 1})->Unit(benchmark::kMillisecond);

// Ten chips +0 to +9 one after another out of the same stock (goals: the expectation within 10 ms, the distribution
// within 300 ms, the route within 1 s). The counter `complete` is 0 where the distribution was not figured (the
// states of the stock left were too many).
constexpr int kTenChips = 10;

void BM_TenChipsExpectedCost0To9(benchmark::State& state) {
  const ClimbRequest req{.from = 0,
                         .to = 9,
                         .recipes = bestRecipes(kBonuses),
                         .bonuses = kBonuses,
                         .stock = fullBag(),
                         .distribution = false,
                         .count = kTenChips};
  for (auto _ : state) benchmark::DoNotOptimize(climb(req));
}
BENCHMARK(BM_TenChipsExpectedCost0To9)->Unit(benchmark::kMillisecond);

// From money alone (range 0) and from the stock (1).
void BM_TenChipsDistribution0To9(benchmark::State& state) {
  const ClimbRequest req{.from = 0,
                         .to = 9,
                         .recipes = bestRecipes(kBonuses),
                         .bonuses = kBonuses,
                         .stock = state.range(0) ? fullBag() : Stock{},
                         .count = kTenChips};
  for (auto _ : state) {
    const Climb c = climb(req);
    benchmark::DoNotOptimize(c.cdf.data());
    state.counters["steps"] = static_cast<double>(c.cdf.size());
    state.counters["complete"] = c.complete;
  }
}
BENCHMARK(BM_TenChipsDistribution0To9)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_TenChipsRoute9(benchmark::State& state) {
  const bool distribution = state.range(0) != 0;
  for (auto _ : state) {
    const std::vector<RouteStep> steps = route(9, kBonuses);
    const RouteCost c = routeCostFrom(steps, 9, kBonuses, fullBag(), std::nullopt, distribution, kTenChips);
    benchmark::DoNotOptimize(c.expectedCost);
    state.counters["complete"] = c.complete;
  }
}
BENCHMARK(BM_TenChipsRoute9)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
