#include "ui/plan_figuring.h"

#include <algorithm>
#include <chrono>
#include <iterator>

#include "sim/items.h"
#include "ui/planner_parts.h"
#include "ui/route_run.h"

namespace mox {

using planner_parts::lvl;

int climbChips(const PlanInputs& in) {
  if (!in.fromStock || in.to < 1 || in.to > plan::kTopLevel) return in.count;
  const int32_t held = in.stock[static_cast<size_t>(chipCode(in.to) - 1)];
  return std::max(1, in.count - std::max(held, 0));
}

PlanOutcome figurePlan(const PlanInputs& in) {
  PlanOutcome out;
  out.inputs = in;
  if (in.to <= in.from) {
    out.error = "目标等级要高于起始等级 " + lvl(in.from);
    return out;
  }
  try {
    const int chips = climbChips(in);
    // Out of the stock the recipes are chosen for what it holds (an empty stock gives the least-cost recipes).
    const plan::RecipePlan recipes = in.fromStock ? plan::bestRecipesFrom(in.from, in.to, in.bonuses, in.stock, chips)
                                                  : plan::bestRecipes(in.bonuses);
    plan::ClimbRequest req{.from = in.from,
                           .to = in.to,
                           .recipes = recipes,
                           .bonuses = in.bonuses,
                           .stock = in.stock,
                           .budget = in.budget,
                           .count = chips};
    out.climb = plan::climb(req);
    if (in.budgetGoal) {
      // The choice by the money left for every chip, where it takes about a second at most.
      out.budgetChoiceLeftOut = plan::budgetWork(in.from, in.to, in.budget, chips) > plan::kBudgetWorkInASecond;
      if (!out.budgetChoiceLeftOut)
        out.budgetPlan = plan::bestWithinBudget(in.from, in.to, in.budget, in.bonuses, chips);
    }
    out.route = plan::route(in.to, in.bonuses);
    out.routeCost = plan::routeCostFrom(out.route, in.to, in.bonuses, in.stock, in.budget, true, in.count);
    out.routeEnhances = RouteRun(out.route, in.bonuses).enhancedLevels();
  } catch (const plan::Cancelled&) {
    out.cancelled = true;
  } catch (const plan::PlanError& e) {
    out.error = e.what();
  }
  return out;
}

LuckOutcome figureLuck(const LuckInputs& in, std::shared_ptr<LuckWalks> kept) {
  LuckOutcome out;
  out.inputs = in;
  if (in.from < 0 || in.level < 0 || in.from >= plan::kTopLevel) return out;
  try {
    // A level the climb never used a recipe at (it may still drop there) takes the best recipe.
    plan::RecipePlan recipes = in.recipes;
    const plan::RecipePlan best = plan::bestRecipes(in.bonuses);
    for (size_t i = 0; i < recipes.size(); ++i) {
      if (!recipes[i]) recipes[i] = best[i];
    }
    const bool up = in.level > in.from;
    // Only P(cost <= what was spent) is wanted: the distribution is figured up to that amount and no further
    // (its 99.9th percentile may lie millions of steps on, half a second's figuring for a climb on small
    // crystals), going on from where the last question about the same climb stopped. A spend past the largest
    // budget figured is taken at that budget.
    const plan::Steps spent = std::min<plan::Steps>(in.cost / 5, plan::kMaxBudgetSteps);  // tenths of a Q币
    LuckInputs climb = in;
    climb.cost = 0;
    LuckWalks own;
    LuckWalks& walks = kept ? *kept : own;
    auto it = std::find_if(walks.walks.begin(), walks.walks.end(), [&](const auto& w) { return w.first == climb; });
    if (it == walks.walks.end()) {
      if (walks.walks.size() >= LuckWalks::kKept) walks.walks.erase(walks.walks.begin());
      walks.walks.emplace_back(
          climb, plan::ClimbCdf(
                     {.from = in.from, .to = up ? in.level : in.from + 1, .recipes = recipes, .bonuses = in.bonuses}));
      it = std::prev(walks.walks.end());
    }
    const double atMost = it->second.atMost(spent);
    if (up)
      out.moreThanYou = 1.0 - atMost;
    else
      out.alreadyThere = atMost;
  } catch (const plan::PlanError&) {
  }
  return out;
}

PlanFiguring::PlanFiguring(std::function<void()> planArrived, std::function<void()> luckArrived)
    : planArrived_(std::move(planArrived)), luckArrived_(std::move(luckArrived)) {}

PlanFiguring::~PlanFiguring() {
  // A plan under way is of no use now: it stops at its next look at the flag rather than running to its end.
  if (planCancel_) planCancel_->store(true);
  if (planWork_.valid()) planWork_.wait();
  if (luckWork_.valid()) luckWork_.wait();
}

void PlanFiguring::ask(const PlanInputs& plan, const std::optional<LuckInputs>& luck) {
  if (!planWork_.valid() && !planOut_ && (!plan_ || !(plan_->inputs == plan))) {
    planOut_ = figurer_.plan && figurer_.plan(plan);
    planAsked_ = plan;
    if (!planOut_) {
      figurer_ = {};
      planCancel_ = std::make_shared<std::atomic<bool>>(false);
      planWork_ = std::async(launch_, [plan, cancel = planCancel_] {
        const plan::CancelScope scope(cancel.get());
        return figurePlan(plan);
      });
    }
  }
  if (!luckWork_.valid() && !luckOut_ && luck && (!luck_ || !(luck_->inputs == *luck))) {
    luckOut_ = figurer_.luck && figurer_.luck(*luck);
    if (!luckOut_) {
      figurer_ = {};
      luckWork_ = std::async(launch_, figureLuck, *luck, luckWalks_);
    }
  }
}

void PlanFiguring::figureHere() {
  figurer_ = {};
  planOut_ = luckOut_ = false;
}

void PlanFiguring::collect() {
  using namespace std::chrono_literals;
  // Deferred figuring is never "ready" by itself: getting it runs it here.
  if (planWork_.valid() && planWork_.wait_for(0s) != std::future_status::timeout) take(planWork_.get());
  if (luckWork_.valid() && luckWork_.wait_for(0s) != std::future_status::timeout) take(luckWork_.get());
}

void PlanFiguring::wait() {
  if (planWork_.valid()) take(planWork_.get());
  if (luckWork_.valid()) take(luckWork_.get());
}

bool PlanFiguring::planFigured(const PlanOutcome& p) {
  if (!planOut_ || !(p.inputs == planAsked_)) return false;
  planOut_ = false;
  take(p);
  return true;
}

bool PlanFiguring::luckFigured(const LuckOutcome& l) {
  if (!luckOut_) return false;
  luckOut_ = false;
  take(l);
  return true;
}

void PlanFiguring::take(const PlanOutcome& p) {
  if (p.cancelled) return;
  plan_ = p;
  if (planArrived_) planArrived_();
}

void PlanFiguring::take(const LuckOutcome& l) {
  luck_ = l;
  if (luckArrived_) luckArrived_();
}

}  // namespace mox
