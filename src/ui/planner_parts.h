#pragma once
// Pieces the planner window's files share: the bench's slots, the window's colours and small readings of the form.
#include <array>
#include <cstdint>
#include <string>

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

}  // namespace mox::planner_parts
