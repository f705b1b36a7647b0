#pragma once
// moxsim-plan's command line read into its parts, and its numbers read with the ranges they must lie in. Each
// raises PlanError with a message naming the argument; the fuzzer drives these as the program does.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/planner.h"

namespace mox::plancli {

struct Arguments {
  std::string command;
  std::vector<std::string> positional;
  std::vector<std::string> recipes;  // LEVEL=RECIPE
  std::optional<std::string> budget;
  plan::Bonuses bonuses;
  bool json = false;
  bool best = false;
  std::optional<std::string> stock;  // --stock "N1 ... N15"
  std::optional<std::string> save;   // --save PATH
  std::optional<std::string> count;  // --count N
};

// The command (argv[1]), its positional arguments and its options.
Arguments parseArguments(int argc, char** argv);
// A level written in decimal from `low` to `high`; `what` names the argument in the message.
int parseLevel(const std::string& text, std::string_view what, int low, int high);
// How many chips a plan makes: 1 (no --count) to plan::kMaxChips.
int parseCount(const std::optional<std::string>& text);
// An amount of Q币 of 0 or more.
double parseMoney(const std::string& text);
// Fifteen counts of 0 or more in item-code order, separated by blanks.
plan::Stock parseStock(const std::string& text);

}  // namespace mox::plancli
