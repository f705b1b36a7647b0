#pragma once
// The planner window's logic: the true odds of the benches, the plan to a target level (figured on a worker
// thread and delivered through the window's timer), the cost curve, the luck of the climb under way, the record
// of attempts and its export, and auto-run. Auto-run does exactly what clicks on the benches, the shop and the
// enhance and synthesis buttons do, advanced by the window's timer, so the headless program steps it tick by tick.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "plan/planner.h"
#include "runtime/form.h"
#include "runtime/platform.h"
#include "sim/simulator.h"
#include "ui/history.h"
#include "ui/route_run.h"

namespace mox {

// What the window does through the program, by control name, as a user would.
struct PlannerInput {
  std::function<bool(std::string_view)> click;
  std::function<bool(std::string_view, int)> select;
};

// The inputs of a plan; a change starts a new figuring.
struct PlanInputs {
  int from = 0, to = 1;
  plan::Bonuses bonuses;
  bool budgetGoal = false;
  double budget = 0;  // Q币
  // 按库存规划: what the player holds (the stock and the benches, the climbing chip aside) is used first, and the
  // figures are the money still to spend; empty otherwise.
  bool fromStock = false;
  plan::Stock stock{};
  bool operator==(const PlanInputs& o) const {
    return from == o.from && to == o.to && bonuses.expert == o.bonuses.expert && bonuses.lab == o.bonuses.lab &&
           budgetGoal == o.budgetGoal && budget == o.budget && fromStock == o.fromStock && stock == o.stock;
  }
};

struct PlanOutcome {
  PlanInputs inputs;
  bool cancelled = false;  // given up before it was done: nobody waited for it any more
  std::string error;  // not empty: what went wrong instead
  plan::Climb climb;  // the climb with the best recipes
  std::optional<plan::BudgetPlan> budgetPlan;
  std::vector<plan::RouteStep> route;
  plan::RouteCost routeCost;  // the whole money of the route to the target
  std::array<bool, plan::kTopLevel> routeEnhances{};  // the levels the route enhances a chip at
};

// The luck of a climb: the share of players who spent more on the same climb with the same recipes.
struct LuckInputs {
  int from = -1, level = -1;
  int64_t cost = 0;  // tenths of a Q币
  plan::RecipePlan recipes;
  plan::Bonuses bonuses;
  bool operator==(const LuckInputs& o) const {
    return from == o.from && level == o.level && cost == o.cost && recipes == o.recipes &&
           bonuses.expert == o.bonuses.expert && bonuses.lab == o.bonuses.lab;
  }
};
struct LuckOutcome {
  LuckInputs inputs;
  std::optional<double> moreThanYou;  // P(cost > yours) for the climb made
  std::optional<double> alreadyThere;  // not up yet: P(cost <= yours) of the next level
};

// How auto-run chooses each attempt, in the order of the drop-down `自动方式`: the bench as laid, again and again;
// the plan's best recipe at each level; the whole cheapest route to the target, synthesis included.
enum class AutoWay { AsLaid, PlanRecipes, Route };

// An amount of Q币 as the window writes it: "43.5 Q币", whole above 10000.
std::string qCoinFigure(double qCoins);

// The figuring of the luck kept between questions: a climb under way is asked about at every attempt, each time
// at a little more money, and as its chip drops and rises, about a handful of levels by turns.
struct LuckWalks {
  static constexpr size_t kKept = plan::kTopLevel + 1;
  std::vector<std::pair<LuckInputs, plan::ClimbCdf>> walks;  // by the climb asked about (cost 0), newest last
};

// Figures a plan and the luck (functions of their inputs; run on a worker thread). The luck goes on from the
// walks kept, when given (one figuring at a time).
PlanOutcome figurePlan(const PlanInputs& in);
LuckOutcome figureLuck(const LuckInputs& in, std::shared_ptr<LuckWalks> kept = nullptr);

class PlannerWindow {
 public:
  static constexpr int kFastBatch = 250;     // attempts per tick of a fast run without a clock (headless)
  // With a clock: attempts for this long each tick, then a frame. Ten frames a second keep both windows current
  // without drowning the display server in pictures.
  static constexpr int kFastIntervalMs = 100;
  static constexpr int kFastSliceUs = 80000;
  static constexpr int kSlowIntervalMs = 250;  // about four attempts a second, as a player watching would
  static constexpr int kResultIntervalMs = 30;
  static constexpr int kFullUpdateTicks = 3;
  static constexpr size_t kListRows = 500;

  PlannerWindow(Form& main, Form& window, Simulator& sim, Platform& platform, History& history, PlannerInput input);
  ~PlannerWindow();

  void open();
  void close();
  bool isOpen() const { return window_.window().visible; }

  // From the simulation: the benches or the switches changed; an attempt happened.
  void benchChanged();
  void attempted(const AttemptRecord& record);
  // True while a fast auto-run is under way: no sounds and no banners.
  bool quiet() const { return running_ && fast_; }

  // Handlers.
  void inputsChanged();
  void autoWayChanged();
  void toggleAutoRun();
  void autoRunTick();
  void exportHistory();
  void resultTick();
  // 复制规划链接: the question shown, as a link to the web page, onto the clipboard (or shown in a box where there
  // is none).
  void copyLink();
  // Opens the window on the question of a link's fragment: its target, goal, budget, bonuses and way, and its
  // start and stock standing in for the bench's and the bag's (never written into them). False, and nothing
  // changed, when the fragment is not a question.
  bool openLink(std::string_view fragment);
  // Esc: stops an auto-run; returns whether it did.
  bool stopOnEscape();

  bool autoRunning() const { return running_; }
  // A microsecond clock: fast runs then fill each tick with attempts for a fixed time, so the machine's speed
  // sets the pace while the windows still show several frames a second. Without one (headless, tests) a tick
  // makes a fixed number of attempts, and runs are the same every time.
  // `sliceUs` is how long each tick of a fast run may take (a page's thread must not stall for long).
  void setClock(std::function<uint64_t()> micros, int sliceUs = kFastSliceUs) {
    clock_ = std::move(micros);
    sliceUs_ = sliceUs;
  }
  // How figuring starts: on a worker thread, or deferred and then run on this thread by the result tick (a build
  // without threads, where an asynchronous start would never return).
  void setFiguringLaunch(std::launch how) { launch_ = how; }
  // Figuring done elsewhere (the page's Web Worker, another instance of the program): each question goes out
  // through these, and its answer comes back through planFigured or luckFigured. A question refused (false: there
  // is nowhere to send it) is figured here, as is every one after it. The luck's walks are then kept where the
  // luck is figured.
  struct Figurer {
    std::function<bool(const PlanInputs&)> plan;
    std::function<bool(const LuckInputs&)> luck;
  };
  void figureElsewhere(Figurer figurer) { figurer_ = std::move(figurer); }
  void planFigured(const PlanOutcome& p);
  void luckFigured(const LuckOutcome& l);
  // The place figuring went to is lost: what was asked there and not answered is asked again here.
  void figureHere();
  // The desktop programs' clock: the system's steady clock in microseconds.
  void useSteadyClock() {
    setClock([] {
      return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                       std::chrono::steady_clock::now().time_since_epoch())
                                       .count());
    });
  }
  // Blocks until figuring under way is done and its results are shown (for tests and scripts).
  void settle();

  double exactChance(const AttemptRecord& record) const;

 private:
  struct Slots;
  PlanInputs currentInputs() const;
  plan::Bonuses bonuses() const;
  int benchLevel() const;
  void showOdds();
  void showClimbState();
  void showHistory();
  void startWork();
  void applyPlan(const PlanOutcome& p);
  void applyLuck(const LuckOutcome& l);
  // The money a way spends, as the result labels and the chart show it: the plan's climb, or the route.
  struct CostFigures {
    bool route = false;
    std::optional<double> expected;
    const plan::CostDistribution* spread = nullptr;  // null when not figured
  };
  CostFigures costFigures() const;
  bool routeShown() const;
  bool routeRan() const { return route_.has_value() && runAttempts_ > 0; }
  void showCostFigures();
  void showPlan();
  void drawChart();
  void stopAutoRun(const std::string& why);
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
  ChipsHeld chipsHeld() const;
  // Everything held: the stock and both benches, by item code, the enhancement bench's chip aside.
  plan::Stock heldStock() const;
  bool routeReached() const;
  AutoWay selectedWay() const;
  void showAutoRun();
  void setButtonLook(bool running);
  std::string synthesisRateShown() const;

  Form& main_;
  Form& window_;
  Simulator& sim_;
  Platform& platform_;
  History& history_;
  PlannerInput input_;

  // A question opened from a link: its start and its stock are planned from until the player lays a chip of
  // their own or starts a run (unticking 按库存规划 lets go of the stock).
  struct LinkHeld {
    int from = 0;
    std::optional<plan::Stock> stock;
  };
  std::optional<LinkHeld> link_;

  std::optional<PlanOutcome> plan_;
  std::future<PlanOutcome> planWork_;
  std::shared_ptr<std::atomic<bool>> planCancel_;  // set: the figuring under way gives up
  std::optional<PlanInputs> planAsked_;  // what the work under way figures
  std::optional<LuckOutcome> luck_;
  std::future<LuckOutcome> luckWork_;
  std::optional<LuckInputs> luckAsked_;
  std::shared_ptr<LuckWalks> luckWalks_ = std::make_shared<LuckWalks>();
  Figurer figurer_;
  bool planOut_ = false;  // a plan question is out with the figurer
  bool luckOut_ = false;

  bool running_ = false;
  bool fast_ = false;
  AutoWay way_ = AutoWay::AsLaid;
  plan::RecipePlan planRecipes_;        // 按规划配方: the best recipe per level
  // 按规划配方 when the plan's goal is the best chance within a budget: the recipe for each level and money left,
  // and what is left of the budget for the run's attempts.
  std::optional<plan::BudgetPlan> runBudget_;
  plan::Steps runBudgetLeft_ = 0;
  std::optional<RouteRun> route_;       // 按路线: the route under way, or the last one
  int routeBaseline_ = 0;               // chips of the target level held when the run started
  int64_t routeCost_ = 0;               // tenths of a Q币: what the route used up, chips included
  std::string routeDoing_;              // what the route's last attempt worked towards
  bool routeMade_ = false;              // the route's run made its chip
  int target_ = 0;
  int runAttempts_ = 0;
  int32_t runStartSpend_ = 0;
  int32_t runStartRecharge_ = 0;
  plan::Stock runStock_{};              // what was held when the run started: its plan is made from it
  std::array<int32_t, 6> recipeKinds_{};  // the run's bench: four crystals, catalyst, protectant (codes)
  std::function<uint64_t()> clock_;
  int sliceUs_ = kFastSliceUs;
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  std::launch launch_ = std::launch::deferred;
#else
  std::launch launch_ = std::launch::async;
#endif
  uint64_t lastTickEnd_ = 0;
  uint64_t pace_ = 0;  // the generator of the gaps between an auto-run's attempts
  int fastTicks_ = 0;
  int lastBenchLevel_ = -1;
  mutable std::unordered_map<uint64_t, double> chanceCache_;
  std::shared_ptr<bool> alive_;  // read by a finished export that outlives the window
};

}  // namespace mox
