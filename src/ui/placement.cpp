#include "ui/placement.h"

#include <algorithm>
#include <array>

#include "ui/layout.h"

namespace mox {

namespace {

// The main window: the header; the help panels, which lie across both columns, while one is open (alone under
// the header then); the bench column (both benches, the bonus check boxes and 信息栏); the bag column (the bag, the
// balance, the buttons and the lists).
constexpr std::array kMainParts{
    WindowPart{{0, 0, 906, 82}},
    WindowPart{{199, 82, 522, 483}, "强化说明"},
    WindowPart{{200, 82, 520, 481}, "强化说明1"},
    WindowPart{{0, 94, 443, 588}},
    WindowPart{{455, 94, 451, 588}},
};

// The planner: the odds, the plan, its curve and the plans side by side; then the recipes, auto-run, the record and
// the luck.
constexpr std::array kPlannerParts{
    WindowPart{{0, 0, 450, 760}},
    WindowPart{{450, 0, 450, 760}},
};

}  // namespace

std::span<const WindowPart> windowParts(std::string_view window) {
  if (window == "主窗口") return kMainParts;
  if (window == kPlannerWindow) return kPlannerParts;
  return {};
}

std::vector<Rect> shownParts(const Form& form) {
  // A panel that shows is shown alone under the parts it leaves uncovered: the columns under it would show pieces
  // of it (the window draws it over them), and what it leaves of them waits until it closes.
  const std::span<const WindowPart> parts = windowParts(form.window().name);
  const auto shows = [&form](const WindowPart& p) {
    const int i = form.indexOf(p.shownWith);
    return i >= 0 && form.reachable(i);
  };
  std::vector<Rect> panels;
  for (const WindowPart& p : parts) {
    if (*p.shownWith && shows(p)) panels.push_back(p.rect);
  }
  std::vector<Rect> out;
  for (const WindowPart& p : parts) {
    const bool covered = std::any_of(panels.begin(), panels.end(), [&p](const Rect& r) {
      return p.rect.x < r.x + r.w && r.x < p.rect.x + p.rect.w && p.rect.y < r.y + r.h && r.y < p.rect.y + p.rect.h;
    });
    if (*p.shownWith ? shows(p) : !covered) out.push_back(p.rect);
  }
  return out;
}

}  // namespace mox
