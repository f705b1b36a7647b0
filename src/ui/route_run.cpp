#include "ui/route_run.h"

#include <utility>

namespace mox {

RouteRun::RouteRun(std::vector<plan::RouteStep> steps, plan::Bonuses bonuses)
    : to_(static_cast<int>(steps.size()) - 1), steps_(std::move(steps)), recipes_(plan::bestRecipes(bonuses)) {
  for (const plan::RouteStep& s : steps_) {
    if (s.how == plan::RouteStep::How::Enhance) {
      lowest_[static_cast<size_t>(s.level)] = plan::lowestLevel(s.from, recipes_, bonuses);
    }
  }
}

RouteRun::RouteRun(int to, plan::Bonuses bonuses, const ChipsHeld& held) : RouteRun(to, bonuses) {
  if (held[static_cast<size_t>(to)] == 0 && plan::holdsChipsFor(to, held)) {
    held_ = plan::HeldRoute::solve(to, bonuses, held);
  }
}

RouteMove RouteRun::next(ChipsHeld held) const {
  if (held_ && held[static_cast<size_t>(to_)] == 0) {
    const plan::ChipMove m = held_->next(held);
    switch (m.kind) {
      case plan::ChipMove::Kind::Reached: break;  // nothing the route holds can get there: as from money alone
      case plan::ChipMove::Kind::Buy: return RouteMove{.kind = RouteMove::Kind::BuyChip};
      case plan::ChipMove::Kind::Enhance:
        return RouteMove{.kind = RouteMove::Kind::Enhance, .level = m.level, .recipe = m.recipe};
      case plan::ChipMove::Kind::Fuse:
        return RouteMove{.kind = RouteMove::Kind::Fuse, .a = m.a, .b = m.b, .protectant = m.protectant};
    }
  }
  const std::optional<RouteMove> move = need(to_, held);
  return move ? *move : RouteMove{};
}

std::array<bool, plan::kTopLevel> RouteRun::enhancedLevels() const {
  std::array<bool, plan::kTopLevel> out{};
  std::vector<int> ahead{to_};
  while (!ahead.empty()) {
    const plan::RouteStep& step = steps_[static_cast<size_t>(ahead.back())];
    ahead.pop_back();
    if (step.how == plan::RouteStep::How::Enhance) {
      for (int l = lowest_[static_cast<size_t>(step.level)]; l < step.level; ++l) out[static_cast<size_t>(l)] = true;
      ahead.push_back(step.from);
    } else if (step.how == plan::RouteStep::How::Fuse) {
      ahead.push_back(step.a);
      ahead.push_back(step.b);
    }
  }
  return out;
}

std::optional<RouteMove> RouteRun::need(int level, ChipsHeld& held) const {
  const auto at = [](ChipsHeld& h, int l) -> int& { return h[static_cast<size_t>(l)]; };
  if (at(held, level) > 0) {
    --at(held, level);
    return std::nullopt;
  }
  const plan::RouteStep& step = steps_[static_cast<size_t>(level)];
  switch (step.how) {
    case plan::RouteStep::How::Buy: return RouteMove{.kind = RouteMove::Kind::BuyChip};
    case plan::RouteStep::How::Enhance:
      // The highest chip on its way here: one that started from the route's level, or fell below it.
      for (int l = level - 1; l >= lowest_[static_cast<size_t>(level)]; --l) {
        if (at(held, l) > 0) {
          --at(held, l);
          return RouteMove{.kind = RouteMove::Kind::Enhance,
                           .level = l,
                           .recipe = recipes_[static_cast<size_t>(l)].value_or(plan::Recipe{})};
        }
      }
      return need(step.from, held);
    case plan::RouteStep::How::Fuse:
      if (auto m = need(step.a, held)) return m;
      if (auto m = need(step.b, held)) return m;
      return RouteMove{.kind = RouteMove::Kind::Fuse, .a = step.a, .b = step.b, .protectant = step.protectant};
  }
  return RouteMove{};
}

}  // namespace mox
