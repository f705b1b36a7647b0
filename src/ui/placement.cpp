#include "ui/placement.h"

#include <array>

#include "ui/layout.h"

namespace mox {

namespace {

// The main window: the header; the help panels, which lie across both columns, while one is open; the bench
// column (both benches, the bonus check boxes and 信息栏); the bag column (the bag, the balance, the buttons and
// the lists).
constexpr std::array kMainParts{
    WindowPart{{0, 0, 906, 82}},
    WindowPart{{199, 82, 522, 483}, "强化说明"},
    WindowPart{{200, 82, 520, 481}, "强化说明1"},
    WindowPart{{0, 94, 443, 588}},
    WindowPart{{455, 94, 451, 588}},
};

// The planner: the odds, the plan and its curve and the luck; then the recipes, auto-run and the record.
constexpr std::array kPlannerParts{
    WindowPart{{0, 0, 450, 640}},
    WindowPart{{450, 0, 450, 640}},
};

}  // namespace

std::span<const WindowPart> windowParts(std::string_view window) {
  if (window == "主窗口") return kMainParts;
  if (window == kPlannerWindow) return kPlannerParts;
  return {};
}

std::vector<Rect> shownParts(const Form& form) {
  std::vector<Rect> out;
  for (const WindowPart& p : windowParts(form.window().name)) {
    if (*p.shownWith) {
      const int i = form.indexOf(p.shownWith);
      if (i < 0 || !form.reachable(i)) continue;
    }
    out.push_back(p.rect);
  }
  return out;
}

}  // namespace mox
