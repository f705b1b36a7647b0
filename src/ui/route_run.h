#pragma once
// Carrying out the planner's cheapest route to a level, one move at a time, decided afresh from the chips held
// before every move: which chip to buy, enhance or fuse next. Holding no state, it follows whatever happened
// (drops, destroyed chips, chips the user had already) as the route's figures assume: a chip the route climbs
// is enhanced with the best recipes until it arrives, whatever it drops to on the way; a failed fusion is tried
// again with a new chip in place of the one it lost.
#include <array>
#include <optional>
#include <vector>

#include "plan/planner.h"

namespace mox {

struct RouteMove {
  enum class Kind { Reached, BuyChip, Enhance, Fuse };
  Kind kind = Kind::Reached;
  int level = 0;        // Enhance: the level of the chip to enhance
  plan::Recipe recipe;  // Enhance: what goes on the bench beside it
  int a = 0, b = 0;     // Fuse: the two chips, a >= b
  bool protectant = false;
  bool operator==(const RouteMove&) const = default;
};

using ChipsHeld = plan::ChipCounts;  // chips held by level

class RouteRun {
 public:
  // The cheapest route to `to` under these bonuses. Raises plan::PlanError for a level out of range.
  RouteRun(int to, plan::Bonuses bonuses) : RouteRun(plan::route(to, bonuses), bonuses) {}
  // The same from the steps route() gave for these bonuses.
  RouteRun(std::vector<plan::RouteStep> steps, plan::Bonuses bonuses);
  // The cheapest route out of the chips held at the start, as plan::routeCostFrom figures it: every move chosen
  // for the chips held (plan::HeldRoute) when a chip from +1 up to `to` is held, unless they are too many for that.
  RouteRun(int to, plan::Bonuses bonuses, const ChipsHeld& held);

  int to() const { return to_; }
  bool reachable() const { return steps_.back().expectedCost.has_value(); }
  const std::vector<plan::RouteStep>& steps() const { return steps_; }
  const plan::RecipePlan& recipes() const { return recipes_; }

  // The next move towards one chip of the target level, from the chips the run may use.
  RouteMove next(ChipsHeld held) const;
  // The levels a chip is enhanced at on the way (with recipes()[level]).
  std::array<bool, plan::kTopLevel> enhancedLevels() const;

 private:
  // Takes a chip of `level` out of `held` when there is one (nullopt); otherwise the move that works towards it.
  std::optional<RouteMove> need(int level, ChipsHeld& held) const;

  int to_;
  std::vector<plan::RouteStep> steps_;
  plan::RecipePlan recipes_;
  std::array<int, plan::kTopLevel + 1> lowest_{};  // a climbing chip's lowest level, per level climbed to
  std::optional<plan::HeldRoute> held_;            // the route chosen for the chips held at the start
};

}  // namespace mox
