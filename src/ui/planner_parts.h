#pragma once
// Pieces the planner window's files share: the bench's slots, the window's colours and small readings of the form.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "plan/planner.h"
#include "runtime/form.h"
#include "runtime/value.h"
#include "sim/items.h"
#include "runtime/palette.h"

namespace mox::planner_parts {

// The enhancement bench apart from the chip: what an attempt uses up, in the order auto-supply refills it.
inline const char* const kBenchSlots[6] = {"晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位"};

// The colours the planner's files name, from the one palette (runtime/palette.h).
using palette::kCoral;
using palette::kGrey;
using palette::kWhite;

inline int32_t tagCode(const Form& f, const char* slot) { return truncToInt(toNumber(f.get(slot).tag)); }

inline plan::Recipe planRecipe(const std::array<int32_t, 4>& crystals, bool catalyst, bool protectant) {
  plan::Recipe r;
  for (int32_t c : crystals) {
    r.small += c == kSmallCrystal;
    r.big += c == kBigCrystal;
    r.magic += c == kMagicCrystal;
  }
  r.catalyst = catalyst;
  r.protectant = protectant;
  return r;
}

inline std::string lvl(int level) { return "+" + std::to_string(level); }

// A cost curve as a chart draws it: P(cost <= x) up to a little past `right` Q币 (within the figures), at most
// about 400 points and always the last one.
inline std::vector<std::pair<double, double>> curvePoints(const std::vector<double>& cdf, double right) {
  std::vector<std::pair<double, double>> points;
  if (cdf.empty()) return points;
  right = std::min(right * 1.05, plan::toQ(static_cast<plan::Steps>(cdf.size() - 1)));
  const size_t last = std::min(cdf.size() - 1, static_cast<size_t>(right / plan::kQPerStep));
  const size_t step = std::max<size_t>(1, last / 400);
  for (size_t i = 0; i <= last; i += step) points.emplace_back(plan::toQ(static_cast<plan::Steps>(i)), cdf[i]);
  if (points.back().first < plan::toQ(static_cast<plan::Steps>(last))) {
    points.emplace_back(plan::toQ(static_cast<plan::Steps>(last)), cdf[last]);
  }
  return points;
}

}  // namespace mox::planner_parts
