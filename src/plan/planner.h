#pragma once
// The odds and cost planner: what enhancing and fusing cost under the simulator's own rules, figured exactly.
//
// One attempt's odds are fractions of the generator's 32768 outputs (with the bias of taking them modulo the
// draw's range), at +8 of its 2^31 first seeds (the second draw's seed follows from the first); a climb is an
// absorbing chain over chip levels, solved level by level for its expectation and by dynamic programming over
// money for its whole distribution, and a route the same over every chip and attempt it takes. Money is counted in
// steps of 0.5 Q币, the least unit of every shop price.
//
// Every function is pure and reentrant: no shared state, so a window can run them on a worker thread. Arguments
// that make no sense (a level outside 0..9, a crystal the level does not take, from >= to, a missing recipe)
// raise PlanError with a message naming the argument.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mox::plan {

struct PlanError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// Figuring on this thread gives up once `flag` is set: the long walks look at it now and then and throw Cancelled.
// For a question nobody waits for any more (newer inputs came, the window went away).
struct Cancelled : PlanError {
  Cancelled() : PlanError("cancelled") {}
};
class CancelScope {
 public:
  explicit CancelScope(const std::atomic<bool>* flag);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  const std::atomic<bool>* outer_;
};
// Throws Cancelled when this thread's flag is set.
void stopIfCancelled();

// Money in steps of 0.5 Q币.
using Steps = int64_t;
inline constexpr double kQPerStep = 0.5;
inline double toQ(Steps s) { return static_cast<double>(s) * kQPerStep; }

inline constexpr int kTopLevel = 9;  // chips go from +0 to +9
inline constexpr int kMaxCrystals = 4;

// The planner's two switches, held for a whole plan.
struct Bonuses {
  bool expert = false;
  bool lab = false;
};

// What goes on the enhancement bench beside the chip.
struct Recipe {
  int small = 0, big = 0, magic = 0;  // crystals by kind, 1 to 4 in all
  bool catalyst = false;
  bool protectant = false;

  int crystals() const { return small + big + magic; }
  bool operator==(const Recipe&) const = default;
};

// "bbbb+c+p", "s", "mmbb+c": crystal letters s, b, m, then optionally +c and +p. Raises PlanError naming the text.
Recipe parseRecipe(std::string_view text);
// Normalised: letters in the order s, b, m, then "+c", then "+p".
std::string recipeText(const Recipe& r);
// Raises PlanError when the recipe cannot go on the bench of a chip of `level`.
void checkRecipe(int level, const Recipe& r);
// Every recipe the bench of `level` takes (none at +9).
std::vector<Recipe> recipesFor(int level);
Steps recipeCost(const Recipe& r);

// What the player holds, by item code (stock[code - 1]), in the order the save file lists it.
inline constexpr int kItemKinds = 15;
using Stock = std::array<int32_t, kItemKinds>;
// Expected counts of items, by item code as a Stock.
using ItemCounts = std::array<double, kItemKinds>;
// What one attempt with `r` uses up, by item code.
Stock recipeItems(const Recipe& r);
// Raises PlanError for a count below 0.
void checkStock(const Stock& stock);

// P(randomInt(low, high) <= threshold) for a draw taken from one reseeded generator output.
double drawChance(int32_t low, int32_t high, int32_t threshold);

// A chip +8's attempt passes a first draw and then a second, both against its threshold, each after its own
// seeding; both seedings happen in the same millisecond, so the second seed is the first plus the seed counter's
// step, a fixed function of the first. The chance is the share of first seeds (modulo 2^31, all that the draws
// read) for which both draws pass: thresholds below 0 never pass, above kMaxThreshold always. The figure assumes
// the millisecond's tick count plus the seed counter falls on every seed alike.
inline constexpr int32_t kMaxThreshold = 1000;
inline constexpr uint64_t kSeeds = uint64_t{1} << 31;
double bothDrawsChance(int32_t threshold);
// counts[t] = how many first seeds in [begin, end) pass both draws at threshold t. The built-in table behind
// bothDrawsChance is countBothDraws(0, kSeeds), written out by tools/both_draws_table.cpp.
using SeedCounts = std::array<uint64_t, kMaxThreshold + 1>;
SeedCounts countBothDraws(uint64_t begin, uint64_t end);

// One enhancement attempt.
struct Odds {
  int level = 0;
  Recipe recipe;
  int32_t rate = 0;       // thousandths of a percent, as the window computes and shows it (no lab bonus)
  std::string shown;      // the window's text of that rate
  int32_t threshold = 0;  // per mille, with the lab bonus
  double success = 0;     // the chip goes up one level (at +8: both draws pass, see bothDrawsChance)
  double drop = 0;        // the chip goes down one level
  Steps cost = 0;         // what the attempt uses up
};
Odds odds(int level, const Recipe& r, Bonuses b);

// One synthesis attempt of chips +a and +b (a >= b), and what making a chip this way costs when the inputs cost
// inputA and inputB each: unprotected, every attempt uses up a chip +b; protected, every attempt uses up a
// protectant and success uses both chips.
struct Fusion {
  int a = 0, b = 0;
  bool protectant = false;
  int result = 0;    // the level made, 0 when the pair has no synthesis
  int32_t rate = 0;  // thousandths of a percent (expert bonus applies, lab does not)
  int32_t threshold = 0;
  double success = 0;
};
Fusion fusion(int a, int b, bool protectant, Bonuses bonuses);
// Expected cost of one chip made by fusing until success; nullopt when the pair never succeeds.
std::optional<double> fusionCost(const Fusion& f, double inputA, double inputB);

// A recipe per chip level 0..8 (the bench level the recipe is used at).
using RecipePlan = std::array<std::optional<Recipe>, kTopLevel>;

// The recipes with the least expected cost of going up one level from each level, drops included. The same
// recipes give the least expected cost of every climb.
RecipePlan bestRecipes(Bonuses b);

// The recipes with the least expected money still to spend on a climb from `from` to `to` out of `stock`: one
// recipe a level, found by trying every recipe at each level in turn, the others held, until no change saves
// anything (each try figured exactly). With nothing of use in the stock, bestRecipes(b). Counts above
// kChoiceCap are taken as kChoiceCap for the choice alone: a try walks the stock item by item as far as a climb
// can use it, and a bag of a million crystals took minutes; a climb almost never uses a thousand of a kind, so
// the choice is the same. The figures of the plan chosen are then made from the whole stock.
inline constexpr int32_t kChoiceCap = 1000;
// With `count`, the least expected money for that many climbs one after another out of the stock.
RecipePlan bestRecipesFrom(int from, int to, Bonuses b, const Stock& stock, int count = 1);
// Whether the stock holds more than kChoiceCap of something the recipes use (the choice took it as that many).
bool choiceCapped(const Stock& stock);

// The lowest level a climb from `from` can reach by drops with these recipes (it needs recipes from there up).
// Raises PlanError for a level it passes and has no recipe for.
int lowestLevel(int from, const RecipePlan& recipes, Bonuses b);

struct ClimbRequest {
  int from = 0, to = 1;
  RecipePlan recipes;  // must cover every level from lowestLevel(from) to to - 1
  Bonuses bonuses;
  // What the climb takes first, free; what runs out is bought at the shop's price, one at a time. Every money
  // figure of the climb is then the money still to spend.
  Stock stock{};
  std::optional<double> budget;  // Q币
  bool distribution = true;      // false: expectations only
  // Chips made one after another, each from `from` to `to`, out of the one stock and the one budget: every figure
  // is then the total for all of them (their money's distribution the count-fold convolution of one chip's).
  int count = 1;
};
inline constexpr int kMaxChips = 10;  // the most chips a plan makes at once

struct Percentile {
  double q = 0;                // 0.5, 0.9, 0.99
  std::optional<double> cost;  // least m with P(cost <= m) >= q, Q币; nullopt when out of reach
};

// The money spent on the way to a goal, on the grid of 0.5 Q币 steps.
struct CostDistribution {
  // cdf[i] = P(cost <= i * 0.5 Q币): a chart of it plots (toQ(i), cdf[i]). Runs at least to the 99.9th
  // percentile and to the budget, unless that lies beyond kMaxStoredSteps (then complete is false). Empty when
  // the goal cannot be reached, or only the expectation was asked for.
  std::vector<double> cdf;
  bool complete = true;
  std::array<Percentile, 3> percentiles{{{0.5, {}}, {0.9, {}}, {0.99, {}}}};
  std::optional<double> withinBudget;  // P(cost <= budget), when a budget was given and is within reach
};

struct Climb : CostDistribution {
  int from = 0, to = 1;
  int lowest = 0;                      // the lowest level the climb can drop to
  RecipePlan recipes;                  // the levels the climb can visit, lowest to to - 1
  std::optional<double> expectedCost;  // Q币; nullopt when the target cannot be reached
  std::optional<double> expectedAttempts;
  ItemCounts fromStock{};  // the expected count of each item taken from the stock
};
inline constexpr Steps kMaxStoredSteps = Steps{1} << 21;    // 1,048,576 Q币 of distribution kept
inline constexpr Steps kMaxComputedSteps = Steps{1} << 25;  // percentiles and budgets beyond this are not figured

Climb climb(const ClimbRequest& request);

// P(cost <= m) of one climb at amounts asked again and again, mostly rising (the luck of a climb under way, asked
// at every attempt): the figuring is kept between questions, so a question costs only the steps past the last
// one. The request's budget and distribution are not used; raises PlanError as climb() does.
class ClimbCdf {
 public:
  explicit ClimbCdf(const ClimbRequest& request);
  ~ClimbCdf();
  ClimbCdf(ClimbCdf&&) noexcept;
  ClimbCdf& operator=(ClimbCdf&&) noexcept;
  // F(m) for m in steps; 0 where the target cannot be reached. Past the last amount figured (kMaxComputedSteps)
  // it stays at that amount's value.
  double atMost(Steps m);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The highest chance of reaching `to` from `from` without spending more than `budget` Q币, choosing each attempt's
// recipe by the level and the money left.
struct BudgetPlan {
  int from = 0, to = 1;
  Steps budget = 0;  // whole steps of the budget
  int count = 1;     // chips made one after another within the budget; the choices are the first chip's
  double chance = 0;
  std::array<std::vector<Recipe>, kTopLevel> candidates;  // per level, the recipes worth considering
  // choice[level][money] indexes candidates[level]; -1 where nothing can be afforded or the level is not needed.
  std::array<std::vector<int8_t>, kTopLevel> choice;
  // The recipe to use at `level` with `money` Q币 left, or nullopt.
  std::optional<Recipe> recipeAt(int level, double money) const;
};
inline constexpr Steps kMaxBudgetSteps = Steps{1} << 22;  // budgets above 2,097,152 Q币 are refused

// With `count`, the chance of making that many chips one after another within the budget, the choice made by the
// level, the money left and the chips still to make; its work grows with budget * count (see budgetWork).
BudgetPlan bestWithinBudget(int from, int to, double budget, Bonuses b, int count = 1);
// bestWithinBudget's work for `count` chips: the levels it figures times the budget's steps.
double budgetWork(int from, int to, double budget, int count);
// About as much of budgetWork's work as a second holds.
inline constexpr double kBudgetWorkInASecond = 3e7;

// The cheapest way to hold one chip of each level, starting from bought +0 chips. Enhancing uses the recipes of
// bestRecipes; fusing without a protectant loses the lower chip on failure, which is made again the same way.
struct RouteStep {
  enum class How { Buy, Enhance, Fuse };
  int level = 0;
  std::optional<double> expectedCost;  // Q币
  How how = How::Buy;
  int from = 0;              // Enhance: the level enhanced from
  int a = 0, b = 0;          // Fuse: the two inputs, a >= b
  bool protectant = false;   // Fuse: protected
  std::string text() const;  // "buy", "enhance from 4", "fuse 5+5 protected"
};
// steps[level] for every level 0..to.
std::vector<RouteStep> route(int to, Bonuses b);

// The whole money a route spends on its chip of `level`, as a distribution: every chip bought, every attempt's
// crystals, catalysts and protectants, and every chip a failed fusion loses and the route makes again. `steps` is
// what route() gave for the same bonuses `b`, reaching `level`; `budget` in Q币 as for a climb. To chart it, plot
// (toQ(i), cdf[i]); percentiles[2] is a good right edge. No cdf when the level cannot be made.
CostDistribution routeCost(const std::vector<RouteStep>& steps, int level, Bonuses b,
                           std::optional<double> budget = std::nullopt);

// The same out of a stock, every item taken from the stock before the route buys one; every money figure is the
// money still to spend. One chip of `level` held leaves nothing to spend. Other chips held from +1 up to `level`:
// the route is HeldRoute's, every move chosen for the chips held (the items chosen at the shop's prices); where
// those are too many, the route from money alone, taking the chips as the run does (one of the level needed at
// once, the highest held on a climb's way). Its expectation is exact. An empty stock gives routeCost's figures and
// steps[level].expectedCost.
struct RouteCost : CostDistribution {
  std::optional<double> expectedCost;  // Q币; nullopt when the level cannot be made
  // The chips held were too many to choose every move for (HeldRoute gave none): they are taken as above.
  bool chipsByRule = false;
  ItemCounts fromStock{};  // the expected count of each item taken from the stock
};
// With `count`, that many chips of `level` one after another, the figures their total: each chip of `level` held
// is one of them, and the other chips held are taken as the run does (chipsByRule, when there are any).
RouteCost routeCostFrom(const std::vector<RouteStep>& steps, int level, Bonuses b, const Stock& stock,
                        std::optional<double> budget = std::nullopt, bool distribution = true, int count = 1);

// The chips held by level, +0 to +9.
using ChipCounts = std::array<int32_t, kTopLevel + 1>;
// Whether a chip from +1 to `to` is held: the route to `to` is then chosen for the chips held (HeldRoute).
bool holdsChipsFor(int to, const ChipCounts& held);
// The +0 chips HeldRoute counts among the chips held, at most kHeldZeroes: the others stay in the stock as items,
// which its purchases of a +0 take first (a bag of many +0 chips would otherwise make too many counts).
inline constexpr int32_t kHeldZeroes = 2;
int heldZeroes(const ChipCounts& held);

// A move of a route out of chips held.
struct ChipMove {
  enum class Kind { Reached, Buy, Enhance, Fuse };
  Kind kind = Kind::Reached;  // Reached: a chip of the target's level is held (or nothing can get one)
  int level = 0;              // Enhance: the chip's level, with `recipe`
  Recipe recipe;
  int a = 0, b = 0;  // Fuse: the two chips, a >= b
  bool protectant = false;
  bool operator==(const ChipMove&) const = default;
};

struct Node;
// The least expected money to a chip of `to` out of the chips held, each move chosen from the chips held before it
// (the chips made on the way held as any other): buy a +0, enhance a chip with one of its level's recipes, or fuse
// two. Dynamic programming over the counts of chips by level below `to`, each from none to what was held and one
// more (kSpare where the route from money alone fuses two of the level; a move that would hold more is not
// taken), solved by sweeps until no move changes and no value moves; every item at the shop's price. nullopt when
// those counts are more than kMaxHeldStates together, or no chip of `to` can be made.
class HeldRoute {
 public:
  static constexpr int kSpare = 2;
  static constexpr size_t kMaxHeldStates = size_t{1} << 16;
  static constexpr int kMaxRounds = 200, kFollowSweeps = 200;
  static std::optional<HeldRoute> solve(int to, Bonuses b, const ChipCounts& held);

  int to() const { return to_; }
  // Q币, from the chips held at the start.
  double expectedCost() const;
  // The move from these chips (those above the target aside; a count past what the route holds counts as that).
  ChipMove next(const ChipCounts& held) const;
  // The expected count of the chips `held` at the start (as given to solve) that the route uses up, by item code.
  ItemCounts chipsTaken(const ChipCounts& held) const;
  // Appends a node per state the moves chosen reach from the start, with what each uses up; returns the start's.
  int process(std::vector<Node>& nodes, std::vector<Stock>& uses) const;

 private:
  struct Outcome {
    double p = 0;
    int64_t to = 0;  // a state, kDone, or -1 (past a count: the move is not taken)
  };
  // At most three: up, down, the same (or a fusion's success and failure).
  struct Outcomes {
    std::array<Outcome, 3> at{};
    int n = 0;
    void push_back(Outcome o) { at[static_cast<size_t>(n++)] = o; }
    bool empty() const { return n == 0; }
    const Outcome* begin() const { return at.data(); }
    const Outcome* end() const { return at.data() + n; }
  };
  size_t indexOf(const ChipCounts& held) const;
  int countAt(size_t state, int level) const;
  int64_t moved(size_t state, int level, int delta) const;
  Outcomes outcomes(size_t state, int move, Steps& cost) const;
  double valueOf(size_t state, int move) const;
  void iterate();

  int to_ = 1;
  Bonuses bonuses_;
  std::array<int, kTopLevel + 1> cap_{};
  std::array<size_t, kTopLevel + 1> stride_{};
  std::array<std::vector<Odds>, kTopLevel> recipes_;
  std::vector<Fusion> fusions_;
  std::vector<std::pair<int, int>> moves_;  // the enhancements: level, recipe there
  std::vector<double> value_;
  std::vector<int> choice_;  // 0 buy, then moves_, then fusions_; -1 none
  size_t start_ = 0;
};

}  // namespace mox::plan
