#pragma once
// The planner's figuring: the plan to a target level and the luck of the climb under way, each a function of its
// inputs, and the asking and answering of them: on a worker thread (deferred to this one in a build without
// threads), or elsewhere (the page's Web Worker) with the answers handed back. A plan nobody waits for any more
// is given up.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plan/planner.h"

namespace mox {

// The inputs of a plan; a change starts a new figuring.
struct PlanInputs {
  int from = 0, to = 1;
  plan::Bonuses bonuses;
  bool budgetGoal = false;
  double budget = 0;  // Q币
  // 按库存规划: what the player holds (the stock and both benches, the enhancement bench's chip too) is used
  // first, and the figures are the money still to spend; empty otherwise.
  bool fromStock = false;
  plan::Stock stock{};
  // 数量: chips made one after another out of the one stock and the one budget; every figure is their total.
  int count = 1;
  bool operator==(const PlanInputs& o) const {
    return from == o.from && to == o.to && bonuses.expert == o.bonuses.expert && bonuses.lab == o.bonuses.lab &&
           budgetGoal == o.budgetGoal && budget == o.budget && fromStock == o.fromStock && stock == o.stock &&
           count == o.count;
  }
};

// The chips the climb makes for a plan: the chip on the bench always, and of the others those the stock does not
// already hold at the target's level (each chip of that level held is one of the count).
int climbChips(const PlanInputs& in);

struct PlanOutcome {
  PlanInputs inputs;
  bool cancelled = false;  // given up before it was done: nobody waited for it any more
  std::string error;       // not empty: what went wrong instead
  plan::Climb climb;       // the climb with the best recipes
  std::optional<plan::BudgetPlan> budgetPlan;
  // The budget goal for several chips whose choice by the money left would take too long: the chance shown is the
  // climb's (its recipes for all of them), and the window says what it leaves out.
  bool budgetChoiceLeftOut = false;
  std::vector<plan::RouteStep> route;
  plan::RouteCost routeCost;                          // the whole money of the route to the target
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
  std::optional<double> moreThanYou;   // P(cost > yours) for the climb made
  std::optional<double> alreadyThere;  // not up yet: P(cost <= yours) of the next level
};

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

// Figuring done elsewhere (the page's Web Worker, another instance of the program): each question goes out
// through these, and its answer comes back through PlanFiguring::planFigured or luckFigured. A question refused
// (false: there is nowhere to send it) is figured here, as is every one after it. The luck's walks are then kept
// where the luck is figured.
struct Figurer {
  std::function<bool(const PlanInputs&)> plan;
  std::function<bool(const LuckInputs&)> luck;
};

// The questions asked and the latest answers. Answers are taken on the owner's thread, through collect(), wait()
// or planFigured/luckFigured, and each one taken is told to the owner.
class PlanFiguring {
 public:
  PlanFiguring(std::function<void()> planArrived, std::function<void()> luckArrived);
  ~PlanFiguring();
  PlanFiguring(const PlanFiguring&) = delete;
  PlanFiguring& operator=(const PlanFiguring&) = delete;

  // How figuring here starts: on a worker thread, or deferred and then run on this thread by collect() (a build
  // without threads, where an asynchronous start would never return).
  void setLaunch(std::launch how) { launch_ = how; }
  void figureElsewhere(Figurer figurer) { figurer_ = std::move(figurer); }
  // The place figuring went to is lost: nothing is out with it any more, and what is asked next is figured here.
  void figureHere();

  // Asks for the plan of `plan` unless one is being figured or the plan held is of it; the same for the luck,
  // when there is a climb to ask about.
  void ask(const PlanInputs& plan, const std::optional<LuckInputs>& luck);
  // Figuring here is under way: someone must come back for it (collect or wait).
  bool figuringHere() const { return planWork_.valid() || luckWork_.valid(); }
  // A plan is being figured, here or elsewhere.
  bool planPending() const { return planWork_.valid() || planOut_; }
  // Takes what figuring here has finished; a deferred figuring is run now.
  void collect();
  // Takes what figuring here there is, waiting for it.
  void wait();
  // Answers from elsewhere; false (and nothing taken) when none was awaited (for a plan: none of its inputs, so
  // that two figurings may share one place elsewhere).
  bool planFigured(const PlanOutcome& p);
  bool luckFigured(const LuckOutcome& l);

  const std::optional<PlanOutcome>& plan() const { return plan_; }
  const std::optional<LuckOutcome>& luck() const { return luck_; }

 private:
  void take(const PlanOutcome& p);
  void take(const LuckOutcome& l);

  std::function<void()> planArrived_, luckArrived_;
  std::optional<PlanOutcome> plan_;
  std::future<PlanOutcome> planWork_;
  std::shared_ptr<std::atomic<bool>> planCancel_;  // set: the figuring under way gives up
  std::optional<LuckOutcome> luck_;
  std::future<LuckOutcome> luckWork_;
  std::shared_ptr<LuckWalks> luckWalks_ = std::make_shared<LuckWalks>();
  Figurer figurer_;
  bool planOut_ = false;  // a plan question is out with the figurer
  PlanInputs planAsked_;  // the one out
  bool luckOut_ = false;
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  std::launch launch_ = std::launch::deferred;
#else
  std::launch launch_ = std::launch::async;
#endif
};

}  // namespace mox
