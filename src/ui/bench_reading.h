#pragma once
// What the planner reads off the main window and the simulation, as a player would see it: the chip on the
// enhancement bench, the bonuses switched on, and everything held, by item and by chip level.
#include "plan/planner.h"
#include "runtime/form.h"
#include "sim/simulator.h"
#include "ui/route_run.h"

namespace mox {

// The level of the chip on the enhancement bench; -1 when there is none or the synthesis bench shows.
int benchLevel(const Form& main);
// The main window's bonus switches.
plan::Bonuses bonusesShown(const Form& main);
// Everything held: the stock and both benches, by item code, the enhancement bench's chip aside.
plan::Stock heldStock(const Form& main, const Simulator& sim);
// The chips held by level: the stock's, and those on the bench showing.
ChipsHeld chipsHeld(const Form& main, const Simulator& sim);

}  // namespace mox
