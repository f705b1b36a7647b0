// The planner: exact odds against the draw and the window's rates, climbs solved by hand, a Monte Carlo through
// the real simulation, the optimisers' promises, and the command line.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <random>
#include <tuple>

#include "app_fixture.h"
#include "run_program.h"
#include "plan/planner.h"
#include "runtime/random.h"
#include "sim/items.h"
#include "sim/rates.h"

using moxtest::Program;
using namespace mox::plan;

namespace {

Recipe R(std::string_view text) { return parseRecipe(text); }

RecipePlan plan(std::initializer_list<std::pair<int, const char*>> levels) {
  RecipePlan p;
  for (auto [level, text] : levels) p[static_cast<size_t>(level)] = R(text);
  return p;
}

Climb climbWith(int from, int to, RecipePlan recipes, Bonuses b = {}, std::optional<double> budget = {}) {
  return climb({.from = from, .to = to, .recipes = recipes, .bonuses = b, .budget = budget});
}

// The fixture's stock from (item code, count) pairs.
std::array<int32_t, 15> stockWith(std::initializer_list<std::pair<int, int32_t>> items) {
  std::array<int32_t, 15> counts{};
  for (auto [code, n] : items) counts[static_cast<size_t>(code - 1)] = n;
  return counts;
}

// What the consumables used so far cost at the shop's prices, in Q币.
double spent(Program& p) {
  double q = 0;
  for (int code = mox::kSmallCrystal; code <= mox::kProtectant; ++code) {
    q += p.state().usedCount[static_cast<size_t>(code - 2)] * mox::shopPrice(code) / 10.0;
  }
  return q;
}

// Every reseed takes a fresh tick count from a seeded generator: the draws are independent, the run repeatable.
void independentDraws(Program& p, uint32_t seed) {
  auto rng = std::make_shared<std::mt19937>(seed);
  p.app().random().setTickSource([rng] { return static_cast<uint32_t>((*rng)()); });
}

// Sampling error of a mean of n draws with standard deviation sd: four of them is far outside chance.
void expectWithinSampling(double sampled, double exact, double sd, int n, const char* what) {
  EXPECT_NEAR(sampled, exact, 4 * sd / std::sqrt(n)) << what;
}

// The sanitised build is slow: it runs the longest counts and Monte Carlos a tenth as long (or not at all).
#ifdef NDEBUG
constexpr int kLong = 10;
#else
constexpr int kLong = 1;
#endif

using Output = moxtest::Run;
Output runPlan(const std::string& args) { return moxtest::runProgram("moxsim-plan", args); }

}  // namespace

TEST(PlanOdds, TheDrawsBiasAtItsBoundaries) {
  // A first draw randomInt(1, 1000) passes for (32 t + min(t, 768)) of the 32768 outputs.
  for (int t = 0; t <= 1000; ++t) {
    EXPECT_EQ(drawChance(1, 1000, t), (32.0 * t + std::min(t, 768)) / 32768) << t;
  }
  EXPECT_EQ(drawChance(1, 1000, 768) * 32768, 32 * 768 + 768);
  EXPECT_EQ(drawChance(1, 1000, 769) * 32768, 32 * 769 + 768);
  EXPECT_EQ(drawChance(1, 1000, 1500), 1);
  // The second, randomInt(0, 400): 81 (t+1) + min(t+1, 287).
  EXPECT_EQ(drawChance(0, 400, 286) * 32768, 81 * 287 + 287);
  EXPECT_EQ(drawChance(0, 400, 287) * 32768, 81 * 288 + 287);
  EXPECT_EQ(drawChance(0, 400, 399) * 32768, 81 * 400 + 287);
  EXPECT_EQ(drawChance(0, 400, 400), 1);

  // A chip +8 with four big crystals, a catalyst and the expert bonus shows 24 % and succeeds 14.58 % of the time.
  const Odds o = odds(8, R("bbbb+c"), {.expert = true});
  EXPECT_EQ(o.shown, "24%");
  EXPECT_EQ(o.threshold, 240);
  // Both draws counted over every first seed: 313158979 of 2^31 (independent draws would give 0.1457660).
  EXPECT_EQ(o.success, 313158979.0 / 2147483648.0);
  EXPECT_NEAR(o.success, 0.145826, 5e-7);
  EXPECT_EQ(o.drop, 1 - o.success);
  EXPECT_EQ(toQ(o.cost), 43.5);
  EXPECT_EQ(odds(8, R("bbbb+c+p"), {.expert = true}).drop, 0);
  // The lab bonus changes the threshold, not the rate shown.
  const Odds lab = odds(5, R("b"), {.lab = true});
  EXPECT_EQ(lab.rate, 1500);
  EXPECT_EQ(lab.threshold, 19);
}

TEST(PlanOdds, ThePlus8TableCountsEveryFirstSeed) {
  // The program's own generator, seeded as an attempt seeds it: both seedings in one millisecond. The draws read
  // the seed modulo 2^31 only.
  uint32_t now = 0;
  mox::Random random([&now] { return now; });
  auto highestDraw = [&](uint32_t firstSeed) {
    now = firstSeed - random.seedCounter();
    random.seedRandom();
    const int first = random.randomInt(mox::kFirstDraw.low, mox::kFirstDraw.high);
    random.seedRandom();
    return std::max(first, random.randomInt(mox::kSecondDraw.low, mox::kSecondDraw.high));
  };
  for (uint32_t seed : {0u, 99u, 0x7FFFFFFFu, 123456789u}) EXPECT_EQ(highestDraw(seed), highestDraw(seed | 1u << 31));
  // The planner's count over stretches of seeds against a count of those draws.
  for (uint64_t begin : {uint64_t{0}, uint64_t{1'000'000'007}, kSeeds - (1u << 16)}) {
    SeedCounts direct{};
    for (uint64_t s = begin; s < begin + (1u << 16); ++s) {
      ++direct[static_cast<size_t>(highestDraw(static_cast<uint32_t>(s)))];
    }
    for (size_t t = 1; t < direct.size(); ++t) direct[t] += direct[t - 1];
    ASSERT_EQ(countBothDraws(begin, begin + (1u << 16)), direct) << begin;
  }
  // The built-in table is the count over every seed (the whole count takes seconds: optimised builds only).
  EXPECT_NEAR(bothDrawsChance(64), 0.010108, 5e-7);
  EXPECT_NEAR(bothDrawsChance(240), 0.145826, 5e-7);
  for (int t = 400; t <= 1000; ++t) EXPECT_EQ(bothDrawsChance(t), drawChance(1, 1000, t) * drawChance(0, 400, t));
  if (kLong == 1) return;
  const SeedCounts all = countBothDraws(0, kSeeds);
  for (int t = 0; t <= kMaxThreshold; ++t) {
    ASSERT_EQ(bothDrawsChance(t), static_cast<double>(all[static_cast<size_t>(t)]) / kSeeds)
        << t << ": rewrite src/plan/both_draws_table.cpp with tools/both_draws_table.cpp";
  }
}

TEST(PlanOdds, EveryLevelAndCrystalAgreesWithTheWindow) {
  const char* const crystalSlots[4] = {"晶体位0", "晶体位1", "晶体位2", "晶体位3"};
  for (int level = 0; level < kTopLevel; ++level) {
    Program p;
    const int chip = mox::chipCode(level);
    p.withStock(stockWith(
        {{chip, 1}, {mox::kSmallCrystal, 4}, {mox::kBigCrystal, 4}, {mox::kMagicCrystal, 4}, {mox::kCatalyst, 1}}));
    p.start();
    p.place(chip);
    for (auto [letter, code] : std::initializer_list<std::pair<char, int>>{{'s', 2}, {'b', 3}, {'m', 4}}) {
      const bool fits = level <= 6 ? letter != 'm' : letter != 's';
      if (!fits) {
        EXPECT_THROW(odds(level, R(std::string(1, letter)), {}), PlanError) << level << letter;
        p.place(code);  // the window refuses it too
        EXPECT_EQ(p.tag("晶体位0"), "0") << level << letter;
        continue;
      }
      std::string recipe;
      for (int n = 1; n <= 4; ++n) {
        p.place(code);
        recipe += letter;
        for (bool expert : {false, true}) {
          for (bool catalyst : {false, true}) {
            if (p.form().get("选择框1").checked != expert) p.click("选择框1");
            if ((p.tag("催化位") == "5") != catalyst) catalyst ? p.place(mox::kCatalyst) : p.click("催化位");
            const Odds o = odds(level, R(recipe + (catalyst ? "+c" : "")), {.expert = expert});
            EXPECT_EQ(o.rate, p.state().enhanceRate) << level << recipe << expert << catalyst;
            EXPECT_EQ(o.shown, p.caption(expert ? "标签4" : "标签2")) << level << recipe;
          }
        }
      }
      for (const char* slot : crystalSlots) p.click(slot);
    }
  }
  EXPECT_THROW(odds(9, R("b"), {}), PlanError);
  // A mixed bench adds both crystals.
  EXPECT_EQ(odds(3, R("bs"), {}).rate, 3000 + 4500);
  EXPECT_EQ(recipeText(R("bmb+p+c")), "bbm+c+p");
  for (const char* bad : {"", "x", "bbbbb", "b+q", "b+c+c", "+c"}) EXPECT_THROW(R(bad), PlanError) << bad;
}

TEST(PlanClimb, ExpectationsSolvedByHand) {
  // Two big crystals make +0 certain: one attempt, 20 Q币, and every percentile is 20.
  const Climb sure = climbWith(0, 1, plan({{0, "bb"}}));
  EXPECT_EQ(sure.expectedCost, 20);
  EXPECT_EQ(sure.expectedAttempts, 1);
  ASSERT_EQ(sure.cdf.size(), 41u);
  EXPECT_EQ(sure.cdf[39], 0);
  EXPECT_EQ(sure.cdf[40], 1);
  for (const Percentile& p : sure.percentiles) EXPECT_EQ(p.cost, 20);
  // Then four big crystals at +1 (threshold 960): 20 + 40 / (31488 / 32768).
  EXPECT_DOUBLE_EQ(*climbWith(0, 2, plan({{0, "bb"}, {1, "bbbb"}})).expectedCost, 7580.0 / 123);

  // +5 to +6 with one big crystal, unprotected: each failure drops to +4 (threshold 22) and climbs back.
  // p5 = 495 / 32768, p4 = 726 / 32768: E = 10 / p5 + (1 - p5) / p5 * 10 / p4.
  const Climb drops = climbWith(5, 6, plan({{4, "b"}, {5, "b"}}));
  EXPECT_EQ(drops.lowest, 4);
  EXPECT_NEAR(*drops.expectedCost, 30089.07899935999, 1e-6);
  EXPECT_NEAR(*drops.expectedAttempts, 3008.907899935999, 1e-8);
  EXPECT_THROW(climbWith(5, 6, plan({{5, "b"}})), PlanError);  // the drop needs a recipe at +4
  EXPECT_EQ(climbWith(5, 6, plan({{5, "b+p"}})).lowest, 5);
  EXPECT_THROW(climbWith(6, 6, plan({{6, "b"}})), PlanError);

  // The distribution, run out until the rest is negligible, sums to 1 and its mean is the expectation.
  const Climb full = climbWith(3, 6, plan({{3, "bbbb+c"}, {4, "bbbb+c"}, {5, "bbbb+c"}}), {.expert = true}, 1e6);
  ASSERT_TRUE(full.withinBudget);
  EXPECT_NEAR(full.cdf.back(), 1, 1e-12);
  double mean = 0;
  for (double f : full.cdf) mean += (1 - f) * kQPerStep;
  EXPECT_NEAR(mean, *full.expectedCost, 1e-6 * *full.expectedCost);
  for (size_t i = 1; i < full.cdf.size(); ++i) ASSERT_LE(full.cdf[i - 1], full.cdf[i] + 1e-15);
  for (const Percentile& p : full.percentiles) {
    const auto m = static_cast<size_t>(*p.cost / kQPerStep);
    EXPECT_GE(full.cdf[m], p.q);
    EXPECT_LT(full.cdf[m - 1], p.q);
  }
  // Without a budget the distribution stops once past its 99.9th percentile.
  const Climb shortRun = climbWith(3, 6, full.recipes, {.expert = true});
  EXPECT_GE(shortRun.cdf.back(), 0.999);
  EXPECT_LT(shortRun.cdf[shortRun.cdf.size() - 2], 0.999);
  EXPECT_EQ(shortRun.withinBudget, std::nullopt);
  EXPECT_EQ(*climbWith(3, 6, full.recipes, {.expert = true}, 2000.3).withinBudget, full.cdf[4000]);
}

// Asked at amounts in any order, a kept walk gives the distribution's own values: rising amounts go on from the
// last one, a lower one walks again, past where the distribution settles it stays there.
TEST(PlanClimb, AKeptWalkAnswersAsTheDistributionDoes) {
  const RecipePlan recipes = plan({{3, "bbbb+c"}, {4, "bbbb+c"}, {5, "bbbb+c"}});
  const Climb full = climbWith(3, 6, recipes, {.expert = true}, 1e6);
  ClimbCdf walk({.from = 3, .to = 6, .recipes = recipes, .bonuses = {.expert = true}});
  const auto last = static_cast<Steps>(full.cdf.size() - 1);
  for (Steps m : {Steps{0}, Steps{39}, Steps{400}, Steps{4000}, Steps{4000}, Steps{401}, Steps{2}, last, last + 5000}) {
    EXPECT_EQ(walk.atMost(m), full.cdf[static_cast<size_t>(std::min(m, last))]) << m;
  }
  EXPECT_EQ(walk.atMost(-1), 0);
}

TEST(PlanMonteCarlo, AClimbWithDropsThroughTheSimulator) {
  // +3 to +6 with four big crystals and a catalyst at every level, both bonuses: +5 drops to +4 on failure.
  const Bonuses bonuses{.expert = true, .lab = true};
  const Climb exact = climbWith(3, 6, plan({{3, "bbbb+c"}, {4, "bbbb+c"}, {5, "bbbb+c"}}), bonuses, 1e6);
  constexpr int kClimbs = 150;
  Program p;
  p.withStock(stockWith({{mox::chipCode(3), kClimbs}, {mox::kBigCrystal, 100000}, {mox::kCatalyst, 25000}}));
  p.start();
  independentDraws(p, 7);
  p.click("选择框1");
  p.click("选择框2");
  p.place(mox::chipCode(3));
  for (int i = 0; i < 4; ++i) p.place(mox::kBigCrystal);
  p.place(mox::kCatalyst);
  std::vector<double> costs;
  double before = spent(p);
  while (costs.size() < kClimbs) {
    p.click("图形按钮1");
    if (p.tag("芯片位") != std::to_string(mox::chipCode(6))) continue;
    costs.push_back(spent(p) - before);
    before = spent(p);
    p.click("芯片位");
    if (costs.size() < kClimbs) p.place(mox::chipCode(3));
  }
  double mean = 0, square = 0;
  for (double c : costs) mean += c / kClimbs;
  for (double c : costs) square += (c - mean) * (c - mean) / (kClimbs - 1);
  expectWithinSampling(mean, *exact.expectedCost, std::sqrt(square), kClimbs, "mean cost");
  for (const Percentile& q : exact.percentiles) {
    const double f = exact.cdf[static_cast<size_t>(*q.cost / kQPerStep)];
    double share = 0;
    for (double c : costs) share += (c <= *q.cost) / static_cast<double>(kClimbs);
    expectWithinSampling(share, f, std::sqrt(f * (1 - f)), kClimbs, "share within a percentile");
  }
}

namespace {

// Attempts of a chip +8 laid with `recipe` and a protectant (so the chip stays), each at a fresh millisecond from a
// seeded generator: the attempt's two seedings share it, as in the program. With `firstPasses`, only milliseconds
// whose first draw passes that threshold are taken (found with a copy of the program's generator), so every attempt
// makes its second draw. Returns the successes.
int attemptsAtPlus8(const std::string& recipe, bool expert, int attempts, uint32_t seed,
                    std::optional<int> firstPasses = {}) {
  const Recipe r = R(recipe);
  Program p;
  p.withStock(stockWith({{mox::kChip8, attempts},
                         {mox::kBigCrystal, r.big * attempts},
                         {mox::kMagicCrystal, r.magic * attempts},
                         {mox::kCatalyst, r.catalyst * attempts},
                         {mox::kProtectant, attempts}}));
  p.start();
  if (expert) p.click("选择框1");
  p.place(mox::kChip8);
  for (int i = 0; i < r.big; ++i) p.place(mox::kBigCrystal);
  for (int i = 0; i < r.magic; ++i) p.place(mox::kMagicCrystal);
  if (r.catalyst) p.place(mox::kCatalyst);
  p.place(mox::kProtectant);
  std::mt19937 clock(seed);
  const std::string chip9 = std::to_string(mox::kChip9);
  int successes = 0;
  for (int i = 0; i < attempts; ++i) {
    for (bool chosen = false; !chosen;) {
      const auto now = static_cast<uint32_t>(clock());
      mox::Random copy = p.app().random();
      copy.setTickSource([now] { return now; });
      copy.seedRandom();
      chosen = !firstPasses || copy.randomInt(mox::kFirstDraw.low, mox::kFirstDraw.high) <= *firstPasses;
      p.platform().setTicks(now);
    }
    p.click("图形按钮1");
    if (p.tag("芯片位") == chip9) {
      ++successes;
      p.click("芯片位");
      p.place(mox::kChip8);
    }
  }
  EXPECT_EQ(p.count(mox::kProtectant), 0);
  return successes;
}

}  // namespace

TEST(PlanMonteCarlo, TheSecondDrawOfAChipPlus8) {
  const Odds exact = odds(8, R("bbbb+c+p"), {.expert = true});
  constexpr int kAttempts = 2500;
  const double share = attemptsAtPlus8("bbbb+c+p", true, kAttempts, 8) / static_cast<double>(kAttempts);
  expectWithinSampling(share, exact.success, std::sqrt(exact.success * (1 - exact.success)), kAttempts, "+8");
}

TEST(PlanMonteCarlo, TheSecondDrawIsSeededInTheSameMillisecond) {
  // Threshold 75, where the seeds' correlation matters most: of the attempts whose first draw passes, the exact
  // share passing the second too is 18.41 %; were the draws independent it would be 19.02 % (6232 / 32768).
  const Odds o = odds(8, R("mm+c+p"), {});
  ASSERT_EQ(o.threshold, 75);
  const double first = drawChance(mox::kFirstDraw.low, mox::kFirstDraw.high, 75);
  const double exact = o.success / first, independent = drawChance(mox::kSecondDraw.low, mox::kSecondDraw.high, 75);
  constexpr int kAttempts = 20000 * kLong;  // 200000 tell the two apart by 7 standard errors
  const double share = attemptsAtPlus8("mm+c+p", false, kAttempts, 12, 75) / static_cast<double>(kAttempts);
  const double error = std::sqrt(exact * (1 - exact) / kAttempts);
  EXPECT_NEAR(share, exact, 4 * error);
  if (kAttempts >= 200000) {
    EXPECT_GT(std::abs(share - independent), 4 * error)
        << share << ": the sample cannot tell them from independent odds";
  }
}

TEST(PlanMonteCarlo, AFusionThroughTheSimulator) {
  // Fusing +5 chips unprotected: every attempt uses up one chip, success the other as well.
  const Fusion exact = fusion(5, 5, false, {.expert = true});
  ASSERT_EQ(exact.result, 7);
  const double chipsPerResult = *fusionCost(exact, 1, 1);
  constexpr int kResults = 600;
  Program p;
  p.withStock(stockWith({{mox::chipCode(5), 20000}}));
  p.start();
  independentDraws(p, 9);
  p.click("选择框1");
  p.click("合成显示按钮");
  std::vector<int> chips;
  int used = 0;
  while (chips.size() < kResults) {
    while (p.tag("合成芯片位1") == "0" || p.tag("合成芯片位2") == "0") {
      p.place(mox::chipCode(5));
      ++used;
    }
    p.click("图形按钮5");
    if (p.tag("合成芯片位") == std::to_string(mox::chipCode(7))) {
      chips.push_back(used);
      used = 0;
      p.click("合成芯片位");
    }
  }
  // The tail is geometric: the standard deviation of the chips used is sqrt(1 - p) / p.
  double mean = 0;
  for (int c : chips) mean += c / static_cast<double>(kResults);
  expectWithinSampling(mean, chipsPerResult, std::sqrt(1 - exact.success) / exact.success, kResults, "fusion");
}

namespace {

// Carries out a route through the program from a stock of +0 chips, small crystals and protectants: climbs on the
// enhancement bench with one small crystal (the best recipe below +5 with the expert bonus), fusions on the
// synthesis bench.
class RouteRunner {
 public:
  RouteRunner(Program& p, std::vector<RouteStep> steps) : p_(p), steps_(std::move(steps)) {}

  // Leaves a chip of `level` in the stock.
  void make(int level) {
    const RouteStep& s = steps_[static_cast<size_t>(level)];
    if (s.how == RouteStep::How::Enhance) {
      make(s.from);
      bench(false);
      if (p_.tag("晶体位0") == "0") p_.place(mox::kSmallCrystal);
      p_.place(mox::chipCode(s.from));
      while (p_.tag("芯片位") != std::to_string(mox::chipCode(level))) p_.click("图形按钮1");
      p_.click("芯片位");
    } else if (s.how == RouteStep::How::Fuse) {
      make(s.a);
      for (bool made = false; !made;) {
        make(s.b);
        bench(true);
        p_.place(mox::chipCode(s.a));
        p_.place(mox::chipCode(s.b));
        if (s.protectant) p_.place(mox::kProtectant);
        do {
          p_.click("图形按钮5");
          made = p_.tag("合成芯片位") == std::to_string(mox::chipCode(level));
        } while (!made && s.protectant);
        made ? p_.click("合成芯片位") : p_.click("合成芯片位1");  // a failure spared the first chip
      }
    }
  }

 private:
  void bench(bool synthesis) {
    if (p_.shown("合成框") != synthesis) p_.click(synthesis ? "合成显示按钮" : "强化显示按钮");
  }
  Program& p_;
  std::vector<RouteStep> steps_;
};

}  // namespace

TEST(PlanRoute, TheDistributionIsTheWholeRoutes) {
  for (Bonuses b : {Bonuses{}, Bonuses{.expert = true}}) {
    const std::vector<RouteStep> steps = route(9, b);
    for (const RouteStep& s : steps) {
      // Run out until the rest is negligible, the distribution's mean is the route's expected cost.
      const CostDistribution c = routeCost(steps, s.level, b, 1e6);
      ASSERT_NEAR(c.cdf.back(), 1, 1e-12) << s.level;
      double mean = 0;
      for (double f : c.cdf) mean += (1 - f) * kQPerStep;
      EXPECT_NEAR(mean, *s.expectedCost, 1e-9 * *s.expectedCost) << s.level << " " << s.text();
      EXPECT_EQ(*c.withinBudget, c.cdf.back());
    }
  }
  // Without bonuses two +1 chips fuse for certain into a +2: its cost is the sum of two +1 chips'.
  const std::vector<RouteStep> steps = route(2, {});
  ASSERT_EQ(steps[2].text(), "fuse 1+1");
  const CostDistribution one = routeCost(steps, 1, {}, 500), two = routeCost(steps, 2, {}, 1000);
  auto F = [&](size_t m) { return m < one.cdf.size() ? one.cdf[m] : 1.0; };
  for (size_t m = 0; m < two.cdf.size(); ++m) {
    double f = 0;  // P(X + Y <= m) = sum over i of P(X = i) P(Y <= m - i)
    for (size_t i = 0; i <= m; ++i) f += (F(i) - (i ? F(i - 1) : 0)) * F(m - i);
    ASSERT_NEAR(two.cdf[m], f, 1e-13) << m;
  }
  std::vector<RouteStep> wrong = route(3, {});
  wrong[3].a = 1;  // 1+1 makes a +2
  EXPECT_THROW(routeCost(wrong, 3, {}), PlanError);
  EXPECT_THROW(routeCost(steps, 3, {}), PlanError);
}

TEST(PlanMonteCarlo, ARouteThroughSynthesisThroughTheSimulator) {
  // +7 with the expert bonus: two +5 chips fused under a protectant, each climbed from a +4 made by fusing a +3
  // (itself fused from a +2 and a +1) with a +1, every failed unprotected fusion losing its +1.
  const Bonuses b{.expert = true};
  const std::vector<RouteStep> steps = route(7, b);
  ASSERT_EQ(steps[7].text(), "fuse 5+5 protected");
  ASSERT_EQ(steps[4].text(), "fuse 3+1");
  for (int level = 0; level < 5; ++level) ASSERT_EQ(bestRecipes(b)[static_cast<size_t>(level)], R("s"));
  const CostDistribution exact = routeCost(steps, 7, b, 1e6);
  constexpr int kRoutes = 40 * kLong;
  Program p;
  p.withStock(stockWith({{mox::kChip0, 1000000}, {mox::kSmallCrystal, 10000000}, {mox::kProtectant, 100000}}));
  p.start();
  independentDraws(p, 17);
  p.click("选择框1");
  RouteRunner runner(p, steps);
  std::vector<double> costs;
  for (int i = 0; i < kRoutes; ++i) {
    const double before = spent(p) - 10.0 * p.count(mox::kChip0);
    runner.make(7);
    costs.push_back(spent(p) - 10.0 * p.count(mox::kChip0) - before);
    ASSERT_EQ(p.count(mox::chipCode(7)), i + 1);
  }
  double mean = 0, square = 0;
  for (double c : costs) mean += c / kRoutes;
  for (double c : costs) square += (c - mean) * (c - mean) / (kRoutes - 1);
  expectWithinSampling(mean, *steps[7].expectedCost, std::sqrt(square), kRoutes, "mean cost");
  for (const Percentile& q : exact.percentiles) {
    const double f = exact.cdf[static_cast<size_t>(*q.cost / kQPerStep)];
    double share = 0;
    for (double c : costs) share += (c <= *q.cost) / static_cast<double>(kRoutes);
    expectWithinSampling(share, f, std::sqrt(f * (1 - f)), kRoutes, "share within a percentile");
  }
}

TEST(PlanBest, TheOptimisersKeepTheirPromises) {
  for (Bonuses b : {Bonuses{}, Bonuses{.expert = true, .lab = true}}) {
    // No single recipe swapped into the least-expected-cost plan makes 2 -> 7 cheaper.
    const RecipePlan best = bestRecipes(b);
    const double least = *climbWith(2, 7, best, b).expectedCost;
    for (int level = 2; level < 7; ++level) {
      for (const Recipe& r : recipesFor(level)) {
        RecipePlan other = best;
        other[static_cast<size_t>(level)] = r;
        const Climb c = climb({.from = 2, .to = 7, .recipes = other, .bonuses = b, .distribution = false});
        if (c.expectedCost) {
          ASSERT_GE(*c.expectedCost, least * (1 - 1e-12)) << level << recipeText(r);
        }
      }
    }
    // Choosing by the money left never does worse within a budget than the fixed least-cost recipes.
    for (auto [from, to, budget] : std::initializer_list<std::tuple<int, int, double>>{
             {0, 9, 2500.0}, {0, 9, 6000.0}, {4, 7, 300.0}, {6, 9, 0.0}}) {
      const BudgetPlan chosen = bestWithinBudget(from, to, budget, b);
      const double fixed = *climbWith(from, to, best, b, budget).withinBudget;
      EXPECT_GE(chosen.chance, fixed - 1e-12) << from << to << budget;
      EXPECT_LE(chosen.chance, 1 + 1e-12);
      if (chosen.chance > 0) {
        EXPECT_TRUE(chosen.recipeAt(from, budget).has_value());
      }
    }
    // The cheapest route is never dearer than buying a +0 and enhancing it.
    const std::vector<RouteStep> steps = route(9, b);
    ASSERT_EQ(steps.size(), 10u);
    EXPECT_EQ(steps[0].text(), "buy");
    EXPECT_EQ(steps[0].expectedCost, 10);
    for (int level = 1; level <= 9; ++level) {
      const double enhanceOnly = 10 + *climbWith(0, level, best, b).expectedCost;
      EXPECT_LE(*steps[static_cast<size_t>(level)].expectedCost, enhanceOnly * (1 + 1e-12)) << level;
    }
  }
  // Two +1 chips fuse for certain into a +2.
  EXPECT_EQ(fusionCost(fusion(1, 1, false, {}), 15, 15), 30);
  EXPECT_EQ(fusionCost(fusion(7, 1, true, {}), 1, 1), std::nullopt);
  EXPECT_THROW(bestWithinBudget(0, 9, -1, {}), PlanError);
}

TEST(PlanCommandLine, TablesJsonAndRefusals) {
  const Output oddsRun = runPlan("odds 8 bbbb+c --expert --json");
  ASSERT_EQ(oddsRun.code, 0) << oddsRun.out;
  const nlohmann::json o = nlohmann::json::parse(oddsRun.out);
  EXPECT_EQ(o["level"], 8);
  EXPECT_EQ(o["recipe"], "bbbb+c");
  EXPECT_EQ(o["rate"], 24000);
  EXPECT_EQ(o["shown"], "24%");
  EXPECT_EQ(o["threshold"], 240);
  EXPECT_EQ(o["success"].get<double>(), 313158979.0 / 2147483648.0);
  EXPECT_EQ(o["cost"], 43.5);
  EXPECT_NE(runPlan("odds 0 bsb+p+c").out.find("sbb+c+p"), std::string::npos);

  const Output climbRun = runPlan("climb 4 6 --recipe 5=bbbb+c+p --best --budget 300 --expert --json");
  ASSERT_EQ(climbRun.code, 0) << climbRun.out;
  const nlohmann::json c = nlohmann::json::parse(climbRun.out);
  EXPECT_EQ(c["recipes"]["5"], "bbbb+c+p");
  EXPECT_EQ(c["recipes"].size(), 2u);
  const RecipePlan best = bestRecipes({.expert = true});
  RecipePlan given = best;
  given[5] = R("bbbb+c+p");
  const Climb exact = climbWith(4, 6, given, {.expert = true}, 300);
  EXPECT_EQ(c["expected_cost"].get<double>(), *exact.expectedCost);
  EXPECT_EQ(c["percentiles"]["90"].get<double>(), *exact.percentiles[1].cost);
  EXPECT_EQ(c["within_budget"].get<double>(), *exact.withinBudget);
  EXPECT_NE(runPlan("climb 0 9 --best").out.find("expected cost"), std::string::npos);

  const nlohmann::json b = nlohmann::json::parse(runPlan("budget 0 9 10000 --expert --json").out);
  EXPECT_EQ(b["within_budget"].get<double>(), bestWithinBudget(0, 9, 10000, {.expert = true}).chance);
  const nlohmann::json r = nlohmann::json::parse(runPlan("route 9 --json").out);
  ASSERT_EQ(r["levels"].size(), 10u);
  EXPECT_EQ(r["levels"][0]["how"], "buy");
  EXPECT_EQ(r["levels"][9]["expected_cost"].get<double>(), *route(9, {})[9].expectedCost);
  EXPECT_EQ(r["levels"][9]["how"], route(9, {})[9].text());
  const nlohmann::json r7 = nlohmann::json::parse(runPlan("route 7 --expert --budget 800 --json").out)["levels"][7];
  const CostDistribution exactRoute = routeCost(route(7, {.expert = true}), 7, {.expert = true}, 800);
  EXPECT_EQ(r7["percentiles"]["99"].get<double>(), *exactRoute.percentiles[2].cost);
  EXPECT_EQ(r7["within_budget"].get<double>(), *exactRoute.withinBudget);

  // Text for people: money with at most two decimals, chances as percentages with two.
  const std::string oddsText = runPlan("odds 8 bbbb+c --expert").out;
  EXPECT_NE(oddsText.find("success      14.58 %\n"), std::string::npos) << oddsText;
  EXPECT_NE(oddsText.find("cost         43.5 Q币\n"), std::string::npos) << oddsText;
  const std::string routeText = runPlan("route 9 --expert --budget 2000").out;
  EXPECT_NE(routeText.find(" 18.27 Q币 "), std::string::npos) << routeText;
  EXPECT_NE(routeText.find("within 2000 Q币"), std::string::npos) << routeText;
  EXPECT_NE(runPlan("--help").out.find("same\nmillisecond"), std::string::npos);

  // Each bad argument gets one line that names it, and exit code 2.
  const std::pair<const char*, const char*> refusals[] = {
      {"", "missing command"},
      {"plan 0 1", "'plan'"},
      {"odds 3 bx", "'x'"},
      {"odds 7 s", "small"},
      {"odds 10 b", "'10'"},
      {"climb 5 5 --best", "below"},
      {"climb 4 6 --recipe 4=b", "level 5"},
      {"climb 5 6 --recipe 5=b", "level 4"},
      {"climb 0 3 --best --budget -5", "'-5'"},
      {"budget 0 3 lots", "'lots'"},
      {"route 9 --fast", "--fast"},
      {"route 9 --budget x", "'x'"},
  };
  for (auto [args, named] : refusals) {
    const Output run = runPlan(args);
    EXPECT_EQ(run.code, 2) << args;
    EXPECT_NE(run.out.find(named), std::string::npos) << args << ": " << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << args << ": " << run.out;
  }
}
