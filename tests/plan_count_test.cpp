// Several chips at once: the totals of N chips made one after another from one bag and one budget, against one
// chip's figures convolved and counted by hand, against climbs through the real rules, on the command line and in
// the link.
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>

#include "app_fixture.h"
#include "run_program.h"
#include "plan/chain.h"
#include "plan/link.h"
#include "plan/planner.h"
#include "sim/items.h"

using moxtest::Program;
// Names spelled out: this file shares a unit with others in the unity build.
using mox::plan::bestRecipes;
using mox::plan::bestWithinBudget;
using mox::plan::Bonuses;
using mox::plan::Climb;
using mox::plan::climb;
using mox::plan::kMaxChips;
using mox::plan::linkFragment;
using mox::plan::LinkQuestion;
using mox::plan::odds;
using mox::plan::parseRecipe;
using mox::plan::Percentile;
using mox::plan::PlanError;
using mox::plan::readLinkFragment;
using mox::plan::RecipePlan;
using mox::plan::route;
using mox::plan::RouteCost;
using mox::plan::routeCostFrom;
using mox::plan::RouteStep;
using mox::plan::Steps;
using mox::plan::Stock;
using mox::plan::toQ;

namespace {

RecipePlan recipesAt(std::initializer_list<std::pair<int, const char*>> levels) {
  RecipePlan p;
  for (auto [level, text] : levels) p[static_cast<size_t>(level)] = parseRecipe(text);
  return p;
}

Stock smallCrystalBag(int32_t n) {
  Stock s{};
  s[mox::kSmallCrystal - 1] = n;
  return s;
}

// F at `m` steps, past the end of the cdf its last value.
double cdfAt(const std::vector<double>& cdf, size_t m) { return cdf[std::min(m, cdf.size() - 1)]; }

}  // namespace

TEST(PlanCount, MoneyAloneIsOneChipsConvolved) {
  // +3 to +6 with four big crystals and a catalyst, both bonuses: +5 drops to +4 on failure. One chip's cdf is run
  // far past where two chips' ends (by its budget), so that the count by hand below is exact there.
  const Bonuses b{.expert = true, .lab = true};
  const RecipePlan r = recipesAt({{3, "bbbb+c"}, {4, "bbbb+c"}, {5, "bbbb+c"}});
  const Climb two = climb({.from = 3, .to = 6, .recipes = r, .bonuses = b, .count = 2});
  const Climb one = climb({.from = 3, .to = 6, .recipes = r, .bonuses = b, .budget = toQ(2 * Steps(two.cdf.size()))});
  EXPECT_NEAR(*two.expectedCost, 2 * *one.expectedCost, 1e-9);
  EXPECT_NEAR(*two.expectedAttempts, 2 * *one.expectedAttempts, 1e-9);
  // P(X + Y <= m) = the sum over i of P(X = i) P(Y <= m - i), over the amounts one chip can spend.
  std::vector<std::pair<size_t, double>> pmf;
  for (size_t i = 0; i < one.cdf.size(); ++i) {
    const double p = cdfAt(one.cdf, i) - (i ? cdfAt(one.cdf, i - 1) : 0);
    if (p > 0) pmf.emplace_back(i, p);
  }
  std::vector<double> byHand(two.cdf.size());
  for (size_t m = 0; m < byHand.size(); ++m) {
    for (auto [i, p] : pmf) byHand[m] += i <= m ? p * cdfAt(one.cdf, m - i) : 0;
    EXPECT_NEAR(two.cdf[m], byHand[m], 1e-12) << m;
  }
  for (const Percentile& p : two.percentiles) {
    size_t m = 0;
    while (byHand[m] < p.q) ++m;
    EXPECT_EQ(p.cost, toQ(static_cast<Steps>(m))) << p.q;
  }
  EXPECT_THROW(climb({.from = 3, .to = 6, .recipes = r, .count = kMaxChips + 1}), PlanError);
  EXPECT_THROW(climb({.from = 3, .to = 6, .recipes = r, .count = 0}), PlanError);
}

TEST(PlanCount, TheChipsShareOneBag) {
  // +0 to +1 with a small crystal: two chips take U attempts in all, U = k with chance (k - 1) p^2 (1 - p)^(k - 2);
  // out of a bag of S crystals the first attempts take them, and E[min(U, S)] = the sum over k < S of P(U > k).
  const RecipePlan r = recipesAt({{0, "s"}});
  const double p = odds(0, parseRecipe("s"), {}).success;
  for (int32_t bag : {0, 3, 8, 20}) {
    double taken = 0, atMost = 0;
    for (int k = 0; k < bag; ++k) {
      if (k >= 2) atMost += (k - 1) * p * p * std::pow(1 - p, k - 2);
      taken += 1 - atMost;
    }
    const Climb two = climb({.from = 0, .to = 1, .recipes = r, .stock = smallCrystalBag(bag), .count = 2});
    EXPECT_NEAR(two.fromStock[mox::kSmallCrystal - 1], taken, 1e-9) << bag;
    EXPECT_NEAR(*two.expectedCost, 2.5 * (2 / p - taken), 1e-9) << bag;
    // A bag that covers most of one chip's attempts leaves the second to buy nearly all of its own.
    if (bag == 8) {
      const Climb one = climb({.from = 0, .to = 1, .recipes = r, .stock = smallCrystalBag(bag)});
      EXPECT_GT(*two.expectedCost, 2 * *one.expectedCost + 1);
    }
  }
  // The route: a chip of the target's level held is one of the chips; two held of three leave one to make.
  const std::vector<RouteStep> steps = route(3, {});
  Stock held{};
  held[mox::chipCode(3) - 1] = 2;
  const RouteCost three = routeCostFrom(steps, 3, {}, held, std::nullopt, true, 3);
  EXPECT_NEAR(*three.expectedCost, *steps[3].expectedCost, 1e-9);
  EXPECT_EQ(three.fromStock[mox::chipCode(3) - 1], 2);
  EXPECT_EQ(routeCostFrom(steps, 3, {}, held, std::nullopt, true, 2).expectedCost, 0);
  EXPECT_NEAR(*routeCostFrom(steps, 3, {}, {}, std::nullopt, true, 4).expectedCost, 4 * *steps[3].expectedCost, 1e-9);
}

TEST(PlanCount, TheBudgetGoalChoosesForAllTheChips) {
  // Two chips within 100 Q币: no likelier than one within it, no less likely than the least-cost recipes for both,
  // or than half the budget for each chip.
  for (double budget : {40.0, 100.0}) {
    const double two = bestWithinBudget(0, 3, budget, {}, 2).chance, one = bestWithinBudget(0, 3, budget, {}).chance;
    const Climb least =
        climb({.from = 0, .to = 3, .recipes = bestRecipes({}), .budget = budget, .distribution = false, .count = 2});
    const double half = bestWithinBudget(0, 3, budget / 2, {}).chance;
    EXPECT_LT(two, one) << budget;
    EXPECT_GE(two, *least.withinBudget - 1e-12) << budget;
    EXPECT_GE(two, half * half - 1e-12) << budget;
  }
}

TEST(PlanMonteCarlo, TwoChipsFromOneBagThroughTheSimulator) {
  // Pairs of chips +0 to +2 with a small crystal, the crystals counted against a bag of 20 for each pair: the money
  // the bag leaves to spend, on average, is the plan's.
  constexpr int32_t kBag = 20;
#ifdef NDEBUG
  constexpr int kPairs = 200;
#else
  constexpr int kPairs = 20;
#endif
  const Climb exact = climb(
      {.from = 0, .to = 2, .recipes = recipesAt({{0, "s"}, {1, "s"}}), .stock = smallCrystalBag(kBag), .count = 2});
  Program p;
  Stock plenty{};
  plenty[mox::kChip0 - 1] = 2 * kPairs;
  plenty[mox::kSmallCrystal - 1] = 100000;
  p.withStock(plenty);
  p.start();
  auto rng = std::make_shared<std::mt19937>(11);
  p.app().random().setTickSource([rng] { return static_cast<uint32_t>((*rng)()); });
  p.place(mox::kChip0);
  p.place(mox::kSmallCrystal);
  auto used = [&] { return p.state().usedCount[mox::kSmallCrystal - 2]; };
  std::vector<double> spent;
  int64_t before = used();
  for (int made = 0; spent.size() < kPairs;) {
    p.click("图形按钮1");
    if (p.tag("芯片位") != std::to_string(mox::chipCode(2))) continue;
    p.click("芯片位");
    if (++made % 2 == 0) {
      spent.push_back(2.5 * static_cast<double>(std::max<int64_t>(0, used() - before - kBag)));
      before = used();
    }
    if (spent.size() < kPairs) p.place(mox::kChip0);
  }
  double mean = 0, square = 0;
  for (double c : spent) mean += c / kPairs;
  for (double c : spent) square += (c - mean) * (c - mean) / (kPairs - 1);
  EXPECT_NEAR(mean, *exact.expectedCost, 4 * std::sqrt(square / kPairs));
}

TEST(PlanCount, TheCommandLineAndTheLink) {
  for (const char* bad : {"0", "11", "x", "2.5", " 3", ""}) {
    const moxtest::Run run =
        moxtest::runProgram("moxsim-plan", std::string("climb 0 3 --best --count \"") + bad + "\"");
    EXPECT_EQ(run.code, 2) << bad;
    EXPECT_EQ(run.out, "moxsim-plan: --count '" + std::string(bad) + "' is not a number of chips from 1 to 10\n");
  }
  EXPECT_EQ(moxtest::runProgram("moxsim-plan", "odds 0 s --count 2").code, 2);
  const moxtest::Run climbed = moxtest::runProgram("moxsim-plan", "climb 0 3 --best --count 3 --json");
  ASSERT_EQ(climbed.code, 0) << climbed.out;
  const nlohmann::json c = nlohmann::json::parse(climbed.out);
  EXPECT_EQ(c["count"], 3);
  EXPECT_NEAR(c["expected_cost"].get<double>(),
              *climb({.from = 0, .to = 3, .recipes = bestRecipes({}), .count = 3}).expectedCost, 1e-9);
  const moxtest::Run routed = moxtest::runProgram("moxsim-plan", "route 2 --count 2");
  ASSERT_EQ(routed.code, 0) << routed.out;
  EXPECT_EQ(routed.out.substr(0, routed.out.find('\n')), "Cheapest chip of each level up to +2, 2 chips in all");
  // The budget goal chooses by the money left and the chips still to make, unless that would take too long.
  const moxtest::Run budget = moxtest::runProgram("moxsim-plan", "budget 0 3 100 --count 2");
  EXPECT_EQ(budget.out.rfind("Best chance to reach +3 from +0, 2 chips in all within 100 Q币: ", 0), 0u) << budget.out;
  const moxtest::Run large = moxtest::runProgram("moxsim-plan", "budget 0 3 2000000 --count 10");
  EXPECT_NE(large.out.find("leaves out the choice of each attempt's recipe by the money left"), std::string::npos);

  LinkQuestion q{.from = 0, .to = 7, .budget = 500, .count = 4};
  const std::string fragment = linkFragment(q);
  EXPECT_EQ(fragment, "v=1&from=0&to=7&goal=0&budget=500&bonus=00&way=0&count=4");
  EXPECT_EQ(readLinkFragment(fragment), q);
  q.count = 1;
  EXPECT_EQ(linkFragment(q), "v=1&from=0&to=7&goal=0&budget=500&bonus=00&way=0");
  EXPECT_EQ(readLinkFragment(linkFragment(q)), q);
  for (const char* count : {"1", "11", "0", "", "x", "04"}) {
    EXPECT_FALSE(readLinkFragment(linkFragment(q) + "&count=" + count)) << count;
  }
  // A number this program never writes, though it means the same.
  EXPECT_FALSE(readLinkFragment("v=1&from=0&to=07&goal=0&budget=500&bonus=00&way=0"));
  EXPECT_TRUE(readLinkFragment("v=1&from=0&to=7&goal=0&budget=500&bonus=00&way=0&stock=0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"));
}

// Where no level drops the chip, a climb out of a stock is figured a level apart from the others: the same
// distribution as the walk over what is left of the stock, where that walk can be made; and ten chips +0 to +9 out
// of fifty of each item, past that walk's limit, get their percentiles (against the exact expectation's mean).
TEST(PlanCount, LevelsApartGiveTheWalksDistributionOutOfAStock) {
  const RecipePlan best = bestRecipes({});
  std::vector<mox::plan::Odds> chain;
  for (int level = 0; level < 9; ++level) {
    chain.push_back(odds(level, *best[static_cast<size_t>(level)], {}));
    ASSERT_EQ(chain.back().drop, 0) << level;  // protected where a failure would drop it
  }
  Stock bag{};
  bag[mox::kSmallCrystal - 1] = 30;
  bag[mox::kBigCrystal - 1] = 9;
  bag[mox::kMagicCrystal - 1] = 6;
  bag[mox::kCatalyst - 1] = 5;
  bag[mox::kProtectant - 1] = 3;
  for (const int count : {1, 2}) {
    const Climb walked = climb({.from = 0, .to = 9, .recipes = best, .stock = bag, .budget = 6000.0, .count = count});
    ASSERT_TRUE(walked.complete && !walked.cdf.empty());
    mox::plan::CostDistribution apart;
    ASSERT_TRUE(mox::plan::distributeLevelsApart(chain, count, bag, 12000, true, apart));
    ASSERT_TRUE(apart.complete);
    ASSERT_EQ(apart.cdf.size(), walked.cdf.size());
    for (size_t m = 0; m < walked.cdf.size(); m += 7) EXPECT_NEAR(apart.cdf[m], walked.cdf[m], 1e-12) << m;
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(apart.percentiles[i].cost, walked.percentiles[i].cost) << count;
    EXPECT_NEAR(*apart.withinBudget, *walked.withinBudget, 1e-12);
  }
  // A level that can drop the chip: not figured apart.
  std::vector<mox::plan::Odds> dropping = chain;
  dropping[5] = odds(5, parseRecipe("bbbb+c"), {});
  ASSERT_GT(dropping[5].drop, 0);
  mox::plan::CostDistribution none;
  EXPECT_FALSE(mox::plan::distributeLevelsApart(dropping, 2, bag, -1, true, none));
  EXPECT_TRUE(none.cdf.empty());

  Stock full{};
  for (int code = mox::kSmallCrystal; code <= mox::kProtectant; ++code) full[static_cast<size_t>(code - 1)] = 50;
  const Climb ten = climb({.from = 0, .to = 9, .recipes = best, .stock = full, .budget = 40000.0, .count = kMaxChips});
  ASSERT_TRUE(ten.complete);
  double mean = 0, below = 0;
  for (size_t m = 0; m < ten.cdf.size(); ++m) {
    mean += toQ(static_cast<Steps>(m)) * (ten.cdf[m] - below);
    below = ten.cdf[m];
  }
  // The cdf stops at its 99.9th percentile: the mean of what it holds falls a little short of the whole.
  EXPECT_NEAR(mean, *ten.expectedCost, 0.01 * *ten.expectedCost);
  ASSERT_TRUE(ten.percentiles[0].cost && ten.percentiles[2].cost && ten.withinBudget);
  EXPECT_LT(*ten.percentiles[0].cost, *ten.percentiles[2].cost);
}
