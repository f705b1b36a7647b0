// moxsim-plan: the planner's figures on the command line, as tables or as one JSON object.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan-cli/arguments.h"
#include "plan/planner.h"

namespace {

using mox::plan::PlanError;
using nlohmann::json;
namespace plan = mox::plan;
using mox::plancli::Arguments;
using mox::plancli::parseArguments;
using mox::plancli::parseLevel;
using mox::plancli::parseMoney;

constexpr const char* kUsage =
    "usage: moxsim-plan odds LEVEL RECIPE [--expert] [--lab] [--json]\n"
    "       moxsim-plan climb FROM TO [--recipe LEVEL=RECIPE]... [--best] [--budget Q] [--expert] [--lab] [--json]\n"
    "       moxsim-plan budget FROM TO Q [--expert] [--lab] [--json]\n"
    "       moxsim-plan route TO [--expert] [--lab] [--json]\n"
    "RECIPE: 1 to 4 crystal letters (s small, b big, m magic), then optionally +c (catalyst) and +p (protectant).\n";

void expectPositional(const Arguments& a, size_t count, const char* names) {
  if (a.positional.size() != count) throw PlanError(a.command + " takes " + names);
}

// Money prints as the shortest text that reads back the same: 43.5, 10, 1234.5678.
std::string money(double q) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", q);
  return buf;
}

std::string percent(double p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f %%", p * 100);
  return buf;
}

std::string bonusesText(const plan::Bonuses& b) {
  std::string out;
  if (b.expert) out += ", expert bonus";
  if (b.lab) out += ", lab bonus";
  return out;
}

json orNull(const std::optional<double>& v) { return v ? json(*v) : json(nullptr); }

int oddsCommand(const Arguments& a) {
  expectPositional(a, 2, "LEVEL RECIPE");
  const int level = parseLevel(a.positional[0], "LEVEL", 0, plan::kTopLevel);
  const plan::Odds o = plan::odds(level, plan::parseRecipe(a.positional[1]), a.bonuses);
  if (a.json) {
    std::cout << json{{"level", o.level},         {"recipe", plan::recipeText(o.recipe)},
                      {"rate", o.rate},           {"shown", o.shown},
                      {"threshold", o.threshold}, {"success", o.success},
                      {"drop", o.drop},           {"cost", plan::toQ(o.cost)}}
                     .dump()
              << "\n";
    return 0;
  }
  std::printf("Chip +%d with %s%s\n", o.level, plan::recipeText(o.recipe).c_str(), bonusesText(a.bonuses).c_str());
  std::printf("  rate shown   %s\n", o.shown.c_str());
  std::printf("  threshold    %d per mille\n", o.threshold);
  std::printf("  success      %s\n", percent(o.success).c_str());
  std::printf("  drop         %s\n", percent(o.drop).c_str());
  std::printf("  cost         %s Q币\n", money(plan::toQ(o.cost)).c_str());
  return 0;
}

int climbCommand(const Arguments& a) {
  expectPositional(a, 2, "FROM TO");
  plan::ClimbRequest req;
  req.from = parseLevel(a.positional[0], "FROM", 0, plan::kTopLevel);
  req.to = parseLevel(a.positional[1], "TO", 0, plan::kTopLevel);
  if (req.from >= req.to) throw PlanError("FROM " + a.positional[0] + " must be below TO " + a.positional[1]);
  req.bonuses = a.bonuses;
  for (const std::string& given : a.recipes) {
    const size_t eq = given.find('=');
    if (eq == std::string::npos) throw PlanError("--recipe '" + given + "' is not LEVEL=RECIPE");
    const int level = parseLevel(given.substr(0, eq), "--recipe level", 0, plan::kTopLevel - 1);
    const plan::Recipe r = plan::parseRecipe(given.substr(eq + 1));
    plan::checkRecipe(level, r);
    req.recipes[static_cast<size_t>(level)] = r;
  }
  if (a.best) {
    const plan::RecipePlan best = plan::bestRecipes(a.bonuses);
    for (size_t i = 0; i < best.size(); ++i) {
      if (!req.recipes[i]) req.recipes[i] = best[i];
    }
  }
  if (a.budget) req.budget = parseMoney(*a.budget);
  req.distribution = true;
  plan::Climb c;
  try {
    c = plan::climb(req);
  } catch (const PlanError& e) {
    throw PlanError(std::string(e.what()) + " (give --recipe LEVEL=RECIPE or --best)");
  }

  if (a.json) {
    json recipes = json::object();
    for (size_t i = 0; i < c.recipes.size(); ++i) {
      if (c.recipes[i]) recipes[std::to_string(i)] = plan::recipeText(*c.recipes[i]);
    }
    json percentiles = json::object();
    for (const plan::Percentile& p : c.percentiles) percentiles[std::to_string(std::lround(p.q * 100))] = orNull(p.cost);
    json out{{"from", c.from},
             {"to", c.to},
             {"recipes", recipes},
             {"expected_cost", orNull(c.expectedCost)},
             {"expected_attempts", orNull(c.expectedAttempts)},
             {"percentiles", percentiles}};
    if (req.budget) out["within_budget"] = orNull(c.withinBudget);
    std::cout << out.dump() << "\n";
    return 0;
  }
  std::printf("Climb +%d to +%d%s\n", c.from, c.to, bonusesText(a.bonuses).c_str());
  std::printf("  level  recipe      success          drop        cost\n");
  for (int level = c.lowest; level < c.to; ++level) {
    const plan::Odds o = plan::odds(level, *c.recipes[static_cast<size_t>(level)], a.bonuses);
    std::printf("  +%-5d %-10s %12s %12s %8s Q币\n", level, plan::recipeText(o.recipe).c_str(),
                percent(o.success).c_str(), percent(o.drop).c_str(), money(plan::toQ(o.cost)).c_str());
  }
  if (!c.expectedCost) {
    std::printf("  +%d cannot be reached: a recipe on the way never succeeds\n", c.to);
    return 0;
  }
  std::printf("  expected cost      %s Q币\n", money(*c.expectedCost).c_str());
  std::printf("  expected attempts  %s\n", money(*c.expectedAttempts).c_str());
  for (const plan::Percentile& p : c.percentiles) {
    std::printf("  %2ld%% spend at most %s\n", std::lround(p.q * 100),
                p.cost ? (money(*p.cost) + " Q币").c_str() : "(beyond what is figured)");
  }
  if (req.budget) {
    std::printf("  within %s Q币     %s\n", money(*req.budget).c_str(),
                c.withinBudget ? percent(*c.withinBudget).c_str() : "(beyond what is figured)");
  }
  return 0;
}

int budgetCommand(const Arguments& a) {
  expectPositional(a, 3, "FROM TO Q");
  const int from = parseLevel(a.positional[0], "FROM", 0, plan::kTopLevel);
  const int to = parseLevel(a.positional[1], "TO", 0, plan::kTopLevel);
  if (from >= to) throw PlanError("FROM " + a.positional[0] + " must be below TO " + a.positional[1]);
  const double budget = parseMoney(a.positional[2]);
  const plan::BudgetPlan p = plan::bestWithinBudget(from, to, budget, a.bonuses);
  if (a.json) {
    std::cout << json{{"from", from}, {"to", to}, {"budget", budget}, {"within_budget", p.chance}}.dump() << "\n";
    return 0;
  }
  std::printf("Best chance to reach +%d from +%d within %s Q币%s: %s\n", to, from, money(budget).c_str(),
              bonusesText(a.bonuses).c_str(), percent(p.chance).c_str());
  if (const auto first = p.recipeAt(from, budget)) {
    std::printf("  first attempt: %s\n", plan::recipeText(*first).c_str());
  }
  return 0;
}

int routeCommand(const Arguments& a) {
  expectPositional(a, 1, "TO");
  const int to = parseLevel(a.positional[0], "TO", 0, plan::kTopLevel);
  const std::vector<plan::RouteStep> steps = plan::route(to, a.bonuses);
  if (a.json) {
    json levels = json::array();
    for (const plan::RouteStep& s : steps) {
      levels.push_back({{"level", s.level}, {"expected_cost", orNull(s.expectedCost)}, {"how", s.text()}});
    }
    std::cout << json{{"to", to}, {"levels", levels}}.dump() << "\n";
    return 0;
  }
  std::printf("Cheapest chip of each level up to +%d%s\n", to, bonusesText(a.bonuses).c_str());
  std::printf("  level  expected cost   how\n");
  for (const plan::RouteStep& s : steps) {
    std::printf("  +%-5d %13s   %s\n", s.level, s.expectedCost ? (money(*s.expectedCost) + " Q币").c_str() : "-",
                s.expectedCost ? s.text().c_str() : "cannot be made");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  try {
    const Arguments a = parseArguments(argc, argv);
    if (a.command == "odds") return oddsCommand(a);
    if (a.command == "climb") return climbCommand(a);
    if (a.command == "budget") return budgetCommand(a);
    if (a.command == "route") return routeCommand(a);
    throw PlanError("unknown command '" + a.command + "' (odds, climb, budget or route)");
  } catch (const PlanError& e) {
    std::fprintf(stderr, "moxsim-plan: %s\n", e.what());
    return 2;
  }
}
