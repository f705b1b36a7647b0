#pragma once
// A planner question as the fragment of a link
// (`v=1&from=0&to=7&goal=0&budget=500&bonus=10&way=1&count=3&stock=40.10...`), so that a plan can be shared: the same
// question opens on another machine or in the page. The fragment is data from anywhere: reading it accepts exactly what
// writing it makes and nothing else.
#include <optional>
#include <string>
#include <string_view>

#include "plan/planner.h"

namespace mox::plan {

struct LinkQuestion {
  int from = 0, to = 1;
  bool budgetGoal = false;  // the best chance within the budget, rather than the least expected cost
  int budget = 0;           // whole Q币
  Bonuses bonuses;
  int way = 0;                 // auto-run's way, in the order of its drop-down
  std::optional<Stock> stock;  // planned from this stock, when given
  int count = 1;               // chips made one after another, 1 to kMaxChips (written only above 1)
  bool operator==(const LinkQuestion& o) const {
    return from == o.from && to == o.to && budgetGoal == o.budgetGoal && budget == o.budget &&
           bonuses.expert == o.bonuses.expert && bonuses.lab == o.bonuses.lab && way == o.way && stock == o.stock &&
           count == o.count;
  }
};

inline constexpr int kLinkWays = 3;
inline constexpr int kLinkMaxBudget = 10'000'000;
inline constexpr int32_t kLinkMaxCount = 99'999'999;
inline constexpr size_t kLinkMaxLength = 512;

// The fragment, without the '#'.
std::string linkFragment(const LinkQuestion& q);
// The question a fragment asks (a leading '#' is allowed), or nothing when it is not one this program wrote: an
// unknown or repeated key, a number out of range or not plainly written, a level pair that does not climb.
std::optional<LinkQuestion> readLinkFragment(std::string_view fragment);

}  // namespace mox::plan
