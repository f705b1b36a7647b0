#pragma once
// Auto-run: attempt after attempt, each chosen in one of three ways, made by exactly the clicks a user makes on
// the benches, the shop and the enhance and synthesis buttons. It reads the main window's benches and the
// simulation, is advanced by its owner's timer tick by tick (so the headless program steps it), and tells its
// owner what it shows: what it is doing, why it stopped and what it spent.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "plan/planner.h"
#include "runtime/form.h"
#include "runtime/platform.h"
#include "sim/simulator.h"
#include "ui/route_run.h"

namespace mox {

// What the planner does through the program, by control name, as a user would.
struct PlannerInput {
  std::function<bool(std::string_view)> click;
  std::function<bool(std::string_view, int)> select;
};

// How auto-run chooses each attempt, in the order of the drop-down `自动方式`: the bench as laid, again and again;
// the plan's best recipe at each level; the whole cheapest route to the target, synthesis included.
enum class AutoWay { AsLaid, PlanRecipes, Route };

// A run as the planner's controls ask for it.
struct RunRequest {
  AutoWay way = AutoWay::AsLaid;
  int target = 0;
  plan::Bonuses bonuses;
  bool fast = false;    // 快速: no sounds, no banners, many attempts a tick
  bool supply = false;  // 自动补给: what runs out is bought
  // 按规划配方 follows the plan's goal: the best chance within the budget (Q币), or the least cost, from the stock
  // held when it starts or from money alone.
  bool budgetGoal = false;
  double budget = 0;
  bool fromStock = false;
  // 数量: chips made one after another, each taken off the bench into the bag when it arrives and the next laid
  // from the bag (a +0 bought when it has none and supply is on). A chip of the target's level held is one of them
  // (out of the stock, for the climbs; always, for the route).
  int count = 1;
};

// What a run shows, each time it changes: when it starts, after each tick, when it stops.
struct RunStatus {
  enum class Phase { Started, Going, Stopped };
  Phase phase = Phase::Started;
  std::string line;      // what it is doing, or why it stopped and after how many attempts
  std::string money;     // what it spent, topped up and has left of its budget; empty before its first attempt
  bool catchUp = false;  // a fast run's few times a second: the rest of the window is brought up to date
};

class AutoRun {
 public:
  static constexpr int kFastBatch = 250;  // attempts per tick of a fast run without a clock (headless)
  // With a clock: attempts for this long each tick, then a frame. Ten frames a second keep both windows current
  // without drowning the display server in pictures.
  static constexpr int kFastIntervalMs = 100;
  static constexpr int kFastSliceUs = 80000;
  static constexpr int kSlowIntervalMs = 250;  // about four attempts a second, as a player watching would
  static constexpr int kFullUpdateTicks = 3;

  AutoRun(const Form& main, Simulator& sim, Platform& platform, PlannerInput input,
          std::function<void(const RunStatus&)> shown);

  // Why a run of `r` may not start from the benches as they lie; empty when it may.
  std::string refusal(const RunRequest& r) const;
  // Starts a run that refusal() lets start.
  void start(const RunRequest& r);
  void stop(const std::string& why);
  // One tick of the owner's timer: one attempt of a slow run, a batch or a slice of a fast one. `fast` and
  // `supply` are the switches as they are now (the player may turn them during a run).
  void tick(bool fast, bool supply);
  // From the simulation: an attempt happened (a route counts what its attempts used up).
  void attempted(const AttemptRecord& record);

  bool running() const { return running_; }
  // True while a fast run is under way: no sounds and no banners.
  bool quiet() const { return running_ && fast_; }
  // The owner's timer: how often it ticks the run, 0 when it need not.
  int intervalMs() const { return !running_ ? 0 : fast_ ? kFastIntervalMs : kSlowIntervalMs; }
  // What was held when the run started: its plan is made from it.
  const plan::Stock& startStock() const { return runStock_; }
  // What was held when the last run stopped.
  const plan::Stock& endStock() const { return endStock_; }
  // The route under way or the last one, once it made an attempt: what it makes, what it used up (tenths of a
  // Q币, chips included) and whether it made its chip.
  struct RouteSpent {
    int to = 0;
    int64_t cost = 0;
    bool made = false;  // all its chips
    int count = 1;
  };
  std::optional<RouteSpent> routeSpent() const;

  // A microsecond clock: fast runs then fill each tick with attempts for a fixed time, so the machine's speed
  // sets the pace while the windows still show several frames a second. Without one (headless, tests) a tick
  // makes a fixed number of attempts, and runs are the same every time.
  // `sliceUs` is how long each tick of a fast run may take (a page's thread must not stall for long).
  void setClock(std::function<uint64_t()> micros, int sliceUs) {
    clock_ = std::move(micros);
    sliceUs_ = sliceUs;
  }

 private:
  void show(RunStatus::Phase phase, bool catchUp = false, std::string line = {});
  bool step(std::string& why);
  int climbingLevel(std::string& why) const;
  bool stepAsLaid(std::string& why);
  bool stepPlanRecipes(std::string& why);
  bool stepRoute(std::string& why);
  bool enhance(std::string& why);
  bool supply(std::string& why);
  bool buy(int32_t code, std::string& why);
  bool layFromStock(int32_t code, std::string& why);
  bool useBench(bool synthesis);
  bool layEnhancement(int level, const plan::Recipe& recipe, std::string& why);
  bool layFusion(const RouteMove& move, std::string& why);
  bool routeReached() const;
  bool chipMade(std::string& why);
  std::string madeText() const;

  const Form& main_;
  Simulator& sim_;
  Platform& platform_;
  PlannerInput input_;
  std::function<void(const RunStatus&)> shown_;

  bool running_ = false;
  bool fast_ = false;
  bool supply_ = false;
  AutoWay way_ = AutoWay::AsLaid;
  int target_ = 0;
  int count_ = 1;       // chips to make
  int made_ = 0;        // chips made (or held at the target's level when it started)
  int startLevel_ = 0;  // the climbs' start: each next chip is laid at this level
  plan::Bonuses bonuses_;
  double budget_ = 0;
  plan::RecipePlan planRecipes_;  // 按规划配方: the best recipe per level
  // 按规划配方 when the plan's goal is the best chance within a budget: the recipe for each level and money left,
  // and what is left of the budget for the run's attempts.
  std::optional<plan::BudgetPlan> runBudget_;
  plan::Steps runBudgetLeft_ = 0;
  std::optional<RouteRun> route_;  // 按路线: the route under way, or the last one
  int64_t routeCost_ = 0;          // tenths of a Q币: what the route used up, chips included
  std::string routeDoing_;         // what the route's last attempt worked towards
  bool routeMade_ = false;         // the route's run made its chip
  int runAttempts_ = 0;
  int32_t runStartSpend_ = 0;
  int32_t runStartRecharge_ = 0;
  plan::Stock runStock_{};
  plan::Stock endStock_{};
  std::array<int32_t, 6> recipeKinds_{};  // the run's bench: four crystals, catalyst, protectant (codes)
  std::function<uint64_t()> clock_;
  int sliceUs_ = kFastSliceUs;
  uint64_t lastTickEnd_ = 0;
  uint64_t pace_ = 0;  // the generator of the gaps between the attempts
  int fastTicks_ = 0;
};

}  // namespace mox
