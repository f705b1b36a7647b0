#pragma once
// Pieces the planner's files share; not part of its interface.
#include <array>
#include <string_view>

#include "plan/planner.h"

namespace mox::plan {

// Raises PlanError naming `what` when `level` lies outside low..high.
void checkLevel(int level, int low, int high, std::string_view what);

// The least expected cost in Q币 of going up one level from each level (drops and the climb back included), and,
// when `chosen` is given, the recipes that reach it.
std::array<double, kTopLevel> bestPassages(Bonuses b, RecipePlan* chosen);

}  // namespace mox::plan
