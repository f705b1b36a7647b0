#pragma once
// `moxsim-plan compare FRAGMENT... [--json]`: up to four plans, each a planner link's fragment, side by side.
#include "plan-cli/arguments.h"

namespace mox::plancli {

// Prints the table (or one JSON object) and returns the exit code; raises PlanError for a fragment that is not a
// question, naming it, and for more than four.
int compareCommand(const Arguments& a);

}  // namespace mox::plancli
