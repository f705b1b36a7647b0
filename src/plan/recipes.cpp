// Recipes, the odds of one attempt, synthesis and the best recipes.
#include <algorithm>
#include <limits>

#include "plan/chain.h"
#include "plan/planner.h"
#include "runtime/random.h"
#include "sim/items.h"
#include "sim/rates.h"

namespace mox::plan {

namespace {

constexpr bool pricesAreWholeSteps() {
  for (const ShopGoods& g : kShopGoods) {
    if (g.price % 5 != 0) return false;
  }
  return true;
}
static_assert(pricesAreWholeSteps(), "shop prices in tenths of a Q币 must be whole 0.5 Q币 steps");

struct Kind {
  char letter;
  int32_t code;
  int Recipe::*count;
  const char* name;
};
constexpr Kind kKinds[3] = {
    {'s', kSmallCrystal, &Recipe::small, "small"},
    {'b', kBigCrystal, &Recipe::big, "big"},
    {'m', kMagicCrystal, &Recipe::magic, "magic"},
};

std::string levelText(int level) { return "+" + std::to_string(level); }

}  // namespace

Steps priceSteps(int32_t code) { return shopPrice(code) / 5; }

void checkLevel(int level, int low, int high, std::string_view what) {
  if (level < low || level > high) {
    throw PlanError(std::string(what) + " " + std::to_string(level) + " is outside " + std::to_string(low) + ".." +
                    std::to_string(high));
  }
}

Recipe parseRecipe(std::string_view text) {
  const std::string quoted = "recipe '" + std::string(text) + "'";
  Recipe r;
  size_t i = 0;
  for (; i < text.size() && text[i] != '+'; ++i) {
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds) {
      if (k.letter == text[i]) kind = &k;
    }
    if (!kind) throw PlanError(quoted + ": unknown crystal letter '" + std::string(1, text[i]) + "'");
    ++(r.*(kind->count));
  }
  if (r.crystals() == 0) throw PlanError(quoted + ": no crystal");
  if (r.crystals() > kMaxCrystals) throw PlanError(quoted + ": more than 4 crystals");
  while (i < text.size()) {
    const std::string_view option = text.substr(i, 2);
    bool* flag = option == "+c" ? &r.catalyst : option == "+p" ? &r.protectant : nullptr;
    if (!flag || *flag) throw PlanError(quoted + ": unknown or repeated option '" + std::string(text.substr(i)) + "'");
    *flag = true;
    i += 2;
  }
  return r;
}

std::string recipeText(const Recipe& r) {
  std::string out;
  for (const Kind& k : kKinds) out.append(static_cast<size_t>(std::max(0, r.*(k.count))), k.letter);
  if (r.catalyst) out += "+c";
  if (r.protectant) out += "+p";
  return out;
}

void checkRecipe(int level, const Recipe& r) {
  checkLevel(level, 0, kTopLevel, "level");
  if (level == kTopLevel) throw PlanError("a chip +9 cannot be enhanced");
  if (r.crystals() < 1 || r.crystals() > kMaxCrystals || r.small < 0 || r.big < 0 || r.magic < 0) {
    throw PlanError("recipe '" + recipeText(r) + "': 1 to 4 crystals");
  }
  for (const Kind& k : kKinds) {
    if (r.*(k.count) > 0 && !crystalFits(level, k.code)) {
      throw PlanError("recipe '" + recipeText(r) + "': a chip " + levelText(level) + " does not take " + k.name +
                      " crystals");
    }
  }
}

std::vector<Recipe> recipesFor(int level) {
  std::vector<Recipe> out;
  if (level < 0 || level >= kTopLevel) return out;
  std::vector<const Kind*> kinds;
  for (const Kind& k : kKinds) {
    if (crystalFits(level, k.code)) kinds.push_back(&k);
  }
  if (kinds.size() != 2) return out;
  // Cheap before dear: fewer crystals first, then without the catalyst and the protectant.
  for (int protectant = 0; protectant < 2; ++protectant) {
    for (int catalyst = 0; catalyst < 2; ++catalyst) {
      for (int n = 1; n <= kMaxCrystals; ++n) {
        for (int lesser = n; lesser >= 0; --lesser) {
          Recipe r;
          r.*(kinds[0]->count) = lesser;
          r.*(kinds[1]->count) = n - lesser;
          r.catalyst = catalyst;
          r.protectant = protectant;
          out.push_back(r);
        }
      }
    }
  }
  return out;
}

Stock recipeItems(const Recipe& r) {
  Stock items{};
  for (const Kind& k : kKinds) items[static_cast<size_t>(k.code - 1)] = r.*(k.count);
  items[kCatalyst - 1] = r.catalyst;
  items[kProtectant - 1] = r.protectant;
  return items;
}

Steps recipeCost(const Recipe& r) {
  const Stock items = recipeItems(r);
  Steps cost = 0;
  for (int32_t code = 1; code <= kItemKinds; ++code) cost += items[static_cast<size_t>(code - 1)] * priceSteps(code);
  return cost;
}

void checkStock(const Stock& stock) {
  for (int32_t code = 1; code <= kItemKinds; ++code) {
    if (stock[static_cast<size_t>(code - 1)] < 0) {
      throw PlanError("stock of item " + std::to_string(code) + " is " +
                      std::to_string(stock[static_cast<size_t>(code - 1)]) + ", below 0");
    }
  }
}

// The draw takes one generator output d, uniform on 0..kOutputs-1, as low + d mod n with n = high - low + 1; it
// passes for the first k = threshold - low + 1 residues, and the outputs above the last whole multiple of n give
// the low residues one extra chance each.
double drawChance(int32_t low, int32_t high, int32_t threshold) {
  const int64_t n = static_cast<int64_t>(high) - low + 1;
  const int64_t k = std::clamp<int64_t>(static_cast<int64_t>(threshold) - low + 1, 0, n);
  const int64_t outputs = Random::kOutputs;
  const int64_t passing = outputs / n * k + std::min(k, outputs % n);
  return static_cast<double>(passing) / static_cast<double>(outputs);
}

Odds odds(int level, const Recipe& r, Bonuses b) {
  checkRecipe(level, r);
  Odds o;
  o.level = level;
  o.recipe = r;
  std::array<int32_t, kMaxCrystals> codes{};
  size_t slot = 0;
  for (const Kind& k : kKinds) {
    for (int i = 0; i < r.*(k.count); ++i) codes[slot++] = k.code;
  }
  o.rate = enhanceRate(level, codes, b.expert, r.catalyst);
  o.shown = enhanceRateText(o.rate);
  o.threshold = drawThreshold(labRate(o.rate, b.lab));
  o.cost = recipeCost(r);
  // A bench without a rate is refused before any draw; none of the recipes gets there, but the odds stay 0.
  if (o.rate <= 0) return o;
  o.success = level == kSecondDrawLevel ? bothDrawsChance(o.threshold)
                                        : drawChance(kFirstDraw.low, kFirstDraw.high, o.threshold);
  if (failureLowers(level) && !r.protectant) o.drop = 1 - o.success;
  return o;
}

Fusion fusion(int a, int b, bool protectant, Bonuses bonuses) {
  checkLevel(a, 1, kTopLevel - 1, "synthesis chip");
  checkLevel(b, 1, kTopLevel - 1, "synthesis chip");
  if (a < b) std::swap(a, b);
  Fusion f;
  f.a = a;
  f.b = b;
  f.protectant = protectant;
  const SynthesisOutlook outlook = synthesisOutlook(chipCode(a), chipCode(b), bonuses.expert);
  f.rate = outlook.rate;
  if (f.rate <= 0) return f;
  f.result = outlook.level;
  f.threshold = drawThreshold(f.rate);
  f.success = drawChance(kFirstDraw.low, kFirstDraw.high, f.threshold);
  return f;
}

std::optional<double> fusionCost(const Fusion& f, double inputA, double inputB) {
  if (f.success <= 0) return std::nullopt;
  if (f.protectant) return inputA + inputB + toQ(priceSteps(kProtectant)) / f.success;
  return inputA + inputB / f.success;
}

std::array<double, kTopLevel> bestPassages(Bonuses b, RecipePlan* chosen) {
  std::array<double, kTopLevel> passage{};
  double below = 0;  // nothing lies below +0, and +0 never drops
  for (int level = 0; level < kTopLevel; ++level) {
    double best = std::numeric_limits<double>::infinity();
    for (const Recipe& r : recipesFor(level)) {
      const Odds o = odds(level, r, b);
      if (o.success <= 0) continue;
      const double cost = (toQ(o.cost) + o.drop * below) / o.success;
      if (cost < best) {
        best = cost;
        if (chosen) (*chosen)[static_cast<size_t>(level)] = r;
      }
    }
    passage[static_cast<size_t>(level)] = best;
    below = best;
  }
  return passage;
}

RecipePlan bestRecipes(Bonuses b) {
  RecipePlan plan;
  bestPassages(b, &plan);
  return plan;
}

}  // namespace mox::plan
