// moxsim-plan: the planner's figures on the command line, as tables or as one JSON object.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan-cli/arguments.h"
#include "plan-cli/compare_command.h"
#include "plan-cli/output.h"
#include "plan/planner.h"
#include "runtime/headless_platform.h"
#include "store/saved_stock.h"

namespace {

using mox::plan::PlanError;
using nlohmann::json;
namespace plan = mox::plan;
using mox::plancli::Arguments;
using mox::plancli::columns;
using mox::plancli::money;
using mox::plancli::parseArguments;
using mox::plancli::parseCount;
using mox::plancli::parseLevel;
using mox::plancli::parseMoney;
using mox::plancli::parseStock;
using mox::plancli::percent;
using mox::plancli::right;

constexpr const char* kUsage =
    "usage: moxsim-plan odds LEVEL RECIPE [--expert] [--lab] [--json]\n"
    "       moxsim-plan climb FROM TO [--recipe LEVEL=RECIPE]... [--best] [--budget Q] [STOCK] [--expert] [--lab]\n"
    "                   [--count N] [--json]\n"
    "       moxsim-plan budget FROM TO Q [STOCK] [--expert] [--lab] [--count N] [--json]\n"
    "       moxsim-plan route TO [--budget Q] [STOCK] [--expert] [--lab] [--count N] [--json]\n"
    "       moxsim-plan compare FRAGMENT... [--json]\n"
    "--count N: N chips (1 to 10) made one after another from one stock and one budget; every figure is their\n"
    "total.\n"
    "RECIPE: 1 to 4 crystal letters (s small, b big, m magic), then optionally +c (catalyst) and +p (protectant).\n"
    "STOCK: --stock \"N1 ... N15\" (what is held, in item-code order: +0 chip, small, big, magic crystal, catalyst,\n"
    "protectant, +1 to +9 chips) or --save PATH (a MOXdata): items are taken from it first, and every money figure\n"
    "is what is still to spend.\n"
    "Money is in Q币, at the shop's prices. A chip +8 must pass two draws; the second is seeded in the same\n"
    "millisecond as the first, so its seed follows from the first seed: the odds count every first seed alike\n"
    "(the millisecond clock plus the seed counter, modulo 2^31, is taken to fall on each equally often).\n"
    "FRAGMENT: a planner link's fragment (v=1&from=0&to=7&...); compare puts up to four plans side by side.\n";
void expectPositional(const Arguments& a, size_t count, const char* names) {
  if (a.positional.size() != count) throw PlanError(a.command + " takes " + names);
}

// The stock of --stock or --save; nothing without either.
std::optional<plan::Stock> stockOf(const Arguments& a) {
  if (a.stock) return parseStock(*a.stock);
  if (!a.save) return std::nullopt;
  const std::string named = "--save '" + *a.save + "'";
  std::ifstream in(*a.save, std::ios::binary);
  if (!in) throw PlanError(named + ": cannot be read");
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  mox::HeadlessPlatform quiet;
  const std::optional<std::array<int32_t, 15>> counts = mox::savedStock(bytes, quiet);
  if (!counts) throw PlanError(named + ": not a save file of this program");
  try {
    plan::checkStock(*counts);
  } catch (const PlanError& e) {
    throw PlanError(named + ": " + e.what());
  }
  return *counts;
}

json fromStockJson(const plan::ItemCounts& taken) { return json(std::vector<double>(taken.begin(), taken.end())); }

json orNull(const std::optional<double>& v) { return v ? json(*v) : json(nullptr); }

json percentilesJson(const std::array<plan::Percentile, 3>& percentiles) {
  json out = json::object();
  for (const plan::Percentile& p : percentiles) out[std::to_string(std::lround(p.q * 100))] = orNull(p.cost);
  return out;
}

// The count of chips in a heading, nothing for one.
std::string chipsText(int count) { return count > 1 ? ", " + std::to_string(count) + " chips in all" : ""; }

std::string bonusesText(const plan::Bonuses& b) {
  std::string out;
  if (b.expert) out += ", expert bonus";
  if (b.lab) out += ", lab bonus";
  return out;
}

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

// What a plan takes from the stock, for people: the expected count of each item it uses.
void printFromStock(const plan::ItemCounts& taken) {
  static const char* const kNames[plan::kItemKinds] = {
      "+0 chip", "small crystal", "big crystal", "magic crystal", "catalyst", "protectant", "+1 chip", "+2 chip",
      "+3 chip", "+4 chip",       "+5 chip",     "+6 chip",       "+7 chip",  "+8 chip",    "+9 chip"};
  std::string items;
  for (size_t k = 0; k < taken.size(); ++k) {
    if (taken[k] > 0) items += (items.empty() ? "" : ", ") + money(taken[k]) + " " + kNames[k];
  }
  std::printf("  from the stock     %s; every money figure is what is still to spend\n",
              items.empty() ? "nothing" : items.c_str());
}

int climbCommand(const Arguments& a) {
  expectPositional(a, 2, "FROM TO");
  plan::ClimbRequest req;
  req.from = parseLevel(a.positional[0], "FROM", 0, plan::kTopLevel);
  req.to = parseLevel(a.positional[1], "TO", 0, plan::kTopLevel);
  if (req.from >= req.to) throw PlanError("FROM " + a.positional[0] + " must be below TO " + a.positional[1]);
  req.bonuses = a.bonuses;
  req.count = parseCount(a.count);
  for (const std::string& given : a.recipes) {
    const size_t eq = given.find('=');
    if (eq == std::string::npos) throw PlanError("--recipe '" + given + "' is not LEVEL=RECIPE");
    const int level = parseLevel(given.substr(0, eq), "--recipe level", 0, plan::kTopLevel - 1);
    const plan::Recipe r = plan::parseRecipe(given.substr(eq + 1));
    plan::checkRecipe(level, r);
    req.recipes[static_cast<size_t>(level)] = r;
  }
  const std::optional<plan::Stock> stock = stockOf(a);
  if (stock) req.stock = *stock;
  if (a.best) {
    // Out of a stock, the least-cost recipes are chosen for this climb and what the stock holds.
    const plan::RecipePlan best =
        stock ? plan::bestRecipesFrom(req.from, req.to, a.bonuses, *stock, req.count) : plan::bestRecipes(a.bonuses);
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
    json out{{"from", c.from},
             {"to", c.to},
             {"recipes", recipes},
             {"expected_cost", orNull(c.expectedCost)},
             {"expected_attempts", orNull(c.expectedAttempts)},
             {"percentiles", percentilesJson(c.percentiles)}};
    if (req.budget) out["within_budget"] = orNull(c.withinBudget);
    if (stock) out["from_stock"] = fromStockJson(c.fromStock);
    if (req.count > 1) out["count"] = req.count;
    std::cout << out.dump() << "\n";
    return 0;
  }
  std::printf("Climb +%d to +%d%s%s\n", c.from, c.to, chipsText(req.count).c_str(), bonusesText(a.bonuses).c_str());
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
  if (stock) printFromStock(c.fromStock);
  std::printf("  expected cost      %s Q币\n", money(*c.expectedCost).c_str());
  std::printf("  expected attempts  %s\n", money(*c.expectedAttempts).c_str());
  if (stock && c.cdf.empty() && !c.complete) {
    std::printf("  percentiles        not figured for so large a stock (the expectation is exact)\n");
    return 0;
  }
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

// bestWithinBudget's work (levels times steps of the budget) that takes about a second.

int budgetCommand(const Arguments& a) {
  expectPositional(a, 3, "FROM TO Q");
  const int from = parseLevel(a.positional[0], "FROM", 0, plan::kTopLevel);
  const int to = parseLevel(a.positional[1], "TO", 0, plan::kTopLevel);
  if (from >= to) throw PlanError("FROM " + a.positional[0] + " must be below TO " + a.positional[1]);
  const double budget = parseMoney(a.positional[2]);
  const int count = parseCount(a.count);
  const std::optional<plan::Stock> stock = stockOf(a);
  // The choice by the money left, for several chips, where it takes no more than about a second.
  const bool choosing =
      !stock && (count == 1 || plan::budgetWork(from, to, budget, count) <= plan::kBudgetWorkInASecond);
  if (!choosing) {
    // Out of a stock, or too long to choose: the chance of the least-cost recipes, exact for them.
    const plan::Climb c = plan::climb(
        {.from = from,
         .to = to,
         .recipes = stock ? plan::bestRecipesFrom(from, to, a.bonuses, *stock, count) : plan::bestRecipes(a.bonuses),
         .bonuses = a.bonuses,
         .stock = stock.value_or(plan::Stock{}),
         .budget = budget,
         .distribution = false,
         .count = count});
    const double chance = c.withinBudget.value_or(0);
    if (a.json) {
      json out{{"from", from},
               {"to", to},
               {"budget", budget},
               {"within_budget", chance},
               {"recipes", stock ? "least-cost from the stock" : "least-cost"}};
      if (stock) out["from_stock"] = fromStockJson(c.fromStock);
      if (count > 1) out["count"] = count;
      std::cout << out.dump() << "\n";
      return 0;
    }
    std::printf("Chance to reach +%d from +%d%s within %s Q币%s%s, with the least-cost recipes%s: %s\n", to, from,
                chipsText(count).c_str(), money(budget).c_str(), stock ? " still to spend" : "",
                bonusesText(a.bonuses).c_str(), stock ? " for the stock" : "", percent(chance).c_str());
    if (!stock) {
      std::printf(
          "  leaves out the choice of each attempt's recipe by the money left (too long to figure for %d chips)\n",
          count);
    }
    if (stock) printFromStock(c.fromStock);
    return 0;
  }
  const plan::BudgetPlan p = plan::bestWithinBudget(from, to, budget, a.bonuses, count);
  if (a.json) {
    json out{{"from", from}, {"to", to}, {"budget", budget}, {"within_budget", p.chance}};
    if (count > 1) out["count"] = count;
    std::cout << out.dump() << "\n";
    return 0;
  }
  std::printf("Best chance to reach +%d from +%d%s within %s Q币%s: %s\n", to, from, chipsText(count).c_str(),
              money(budget).c_str(), bonusesText(a.bonuses).c_str(), percent(p.chance).c_str());
  if (const auto first = p.recipeAt(from, budget)) {
    std::printf("  first attempt: %s\n", plan::recipeText(*first).c_str());
  }
  return 0;
}

int routeCommand(const Arguments& a) {
  expectPositional(a, 1, "TO");
  const int to = parseLevel(a.positional[0], "TO", 0, plan::kTopLevel);
  const std::optional<plan::Stock> stock = stockOf(a);
  std::optional<double> budget;
  if (a.budget) budget = parseMoney(*a.budget);
  const int count = parseCount(a.count);
  const std::vector<plan::RouteStep> steps = plan::route(to, a.bonuses);
  // Each level's chip made out of the whole stock (an empty one: from money alone).
  std::vector<plan::RouteCost> costs;
  for (const plan::RouteStep& s : steps) {
    costs.push_back(plan::routeCostFrom(steps, s.level, a.bonuses, stock.value_or(plan::Stock{}), budget, true, count));
  }
  if (a.json) {
    json levels = json::array();
    for (const plan::RouteStep& s : steps) {
      const plan::RouteCost& c = costs[static_cast<size_t>(s.level)];
      json level{{"level", s.level},
                 {"expected_cost", orNull(c.expectedCost)},
                 {"how", s.text()},
                 {"percentiles", percentilesJson(c.percentiles)}};
      if (budget) level["within_budget"] = orNull(c.withinBudget);
      if (stock) level["from_stock"] = fromStockJson(c.fromStock);
      levels.push_back(level);
    }
    json out{{"to", to}, {"levels", levels}};
    if (stock) out["from_stock"] = fromStockJson(costs.back().fromStock);
    if (count > 1) out["count"] = count;
    std::cout << out.dump() << "\n";
    return 0;
  }
  auto cell = [](const std::optional<double>& q) { return q ? money(*q) + " Q币" : std::string("-"); };
  const std::string within = budget ? "within " + money(*budget) + " Q币" : "";
  std::printf("Cheapest chip of each level up to +%d%s%s\n", to, chipsText(count).c_str(),
              bonusesText(a.bonuses).c_str());
  std::printf("  level %s %s %s %s%s   how\n", right("expected cost", 14).c_str(), right("50% at most", 14).c_str(),
              right("90% at most", 14).c_str(), right("99% at most", 14).c_str(),
              budget ? ("  " + within).c_str() : "");
  for (const plan::RouteStep& s : steps) {
    const plan::RouteCost& c = costs[static_cast<size_t>(s.level)];
    std::printf("  +%-5d %s", s.level, right(cell(c.expectedCost), 14).c_str());
    for (const plan::Percentile& p : c.percentiles) std::printf(" %s", right(cell(p.cost), 14).c_str());
    if (budget) std::printf("  %s", right(c.withinBudget ? percent(*c.withinBudget) : "-", columns(within)).c_str());
    std::printf("   %s\n", s.expectedCost ? s.text().c_str() : "cannot be made");
  }
  if (stock) printFromStock(costs.back().fromStock);
  if (count > 1 && costs.back().chipsByRule) {
    std::printf("  the chips held below +%d are taken as the run takes them (moves chosen for one chip)\n", to);
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
    if (a.command == "compare") return mox::plancli::compareCommand(a);
    throw PlanError("unknown command '" + a.command + "' (odds, climb, budget, route or compare)");
  } catch (const PlanError& e) {
    std::fprintf(stderr, "moxsim-plan: %s\n", e.what());
    return 2;
  }
}
