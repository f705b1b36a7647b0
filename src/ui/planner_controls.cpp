// The planner window's controls that ask rather than show: the link to a question, both ways, and auto-run's
// switches, button and timer, which start, stop and tick the run (src/ui/auto_run.h) and show what it says.
#include <algorithm>
#include <cmath>

#include "plan/link.h"
#include "ui/bench_reading.h"
#include "ui/planner_parts.h"
#include "ui/planner_window.h"

namespace mox {

using namespace planner_parts;

std::optional<plan::LinkQuestion> PlannerWindow::questionShown() const {
  const PlanInputs in = currentInputs();
  // A link asks a question the planner can answer: a climb upwards.
  if (in.to <= in.from) return std::nullopt;
  plan::LinkQuestion q{.from = in.from,
                       .to = in.to,
                       .budgetGoal = in.budgetGoal,
                       .budget = static_cast<int>(std::lround(in.budget)),
                       .bonuses = in.bonuses,
                       .way = static_cast<int>(selectedWay()),
                       .count = in.count};
  if (in.fromStock) q.stock = in.stock;
  return q;
}

void PlannerWindow::copyLink() {
  const std::optional<plan::LinkQuestion> q = questionShown();
  if (!q) {
    window_.setCaption("计算状态标签", "先选更高的目标");
    return;
  }
  const std::string link = platform_.siteAddress() + "#" + plan::linkFragment(*q);
  if (platform_.copyText(link)) {
    window_.setCaption("计算状态标签", "链接已复制");
  } else {
    platform_.messageBox("没能放进剪贴板，请手动复制这个链接：\n" + link, 0, "规划链接");
  }
}

bool PlannerWindow::openLink(std::string_view fragment) {
  const std::optional<plan::LinkQuestion> q = plan::readLinkFragment(fragment);
  if (!q) return false;
  const Control& budgets = window_.get("预算列表");
  int budgetItem = -1;
  for (int i = 0; i < static_cast<int>(budgets.items.size()); ++i) {
    if (window_.comboItemData("预算列表", i) == static_cast<int64_t>(q->budget) * 10) budgetItem = i;
  }
  if (budgetItem < 0) return false;
  if (run_.running()) run_.stop("打开了链接里的问题");
  // The bonuses are the main window's switches, turned as a player would turn them.
  if (main_.get("选择框1").checked != q->bonuses.expert) input_.click("选择框1");
  if (main_.get("选择框2").checked != q->bonuses.lab) input_.click("选择框2");
  window_.setSelection("目标等级", q->to);
  window_.setSelection("数量", q->count - 1);
  window_.setSelection("规划目标", q->budgetGoal ? 1 : 0);
  window_.setSelection("预算列表", budgetItem);
  window_.setChecked("按库存规划", q->stock.has_value());
  window_.setSelection("自动方式", q->way);
  autoWayChanged();
  link_ = LinkHeld{.from = q->from, .stock = q->stock};
  open();
  return true;
}

bool PlannerWindow::stopOnEscape() {
  if (!run_.running()) return false;
  run_.stop("按了 Esc");
  return true;
}

AutoWay PlannerWindow::selectedWay() const {
  return static_cast<AutoWay>(std::clamp(window_.get("自动方式").selection, 0, 2));
}

void PlannerWindow::autoWayChanged() {
  static const char* const kExplained[] = {"照强化台上这套配方一直强化；快速：不放横幅和声音；补给：用完就买",
                                           "每一级换上规划的最佳配方；快速：不放横幅和声音；补给：缺什么买什么",
                                           "照最省路线买芯片、强化、合成到目标；快速：不放横幅和声音；补给：缺就买"};
  window_.setCaption("自动说明标签", kExplained[static_cast<int>(selectedWay())]);
  showPlan();
  showClimbState();
}

RunRequest PlannerWindow::runRequest() const {
  const PlanInputs in = currentInputs();
  return {.way = selectedWay(),
          .target = in.to,
          .bonuses = in.bonuses,
          .fast = window_.get("快速").checked,
          .supply = window_.get("自动补给").checked,
          .budgetGoal = in.budgetGoal,
          .budget = in.budget,
          .fromStock = in.fromStock,
          .count = in.count};
}

void PlannerWindow::toggleAutoRun() {
  if (run_.running()) {
    run_.stop("按了停止");
    return;
  }
  const RunRequest r = runRequest();
  if (const std::string refusal = run_.refusal(r); !refusal.empty()) {
    window_.setCaption("自动状态标签", refusal);
    window_.setTextColour("自动状态标签", kCoral);
    return;
  }
  link_.reset();  // a run works on the player's own bag and bench
  if (r.way != AutoWay::Route) history_.startClimb(benchLevel(main_));
  run_.start(r);
}

void PlannerWindow::autoRunTick() {
  run_.tick(window_.get("快速").checked, window_.get("自动补给").checked);
  window_.setInterval("自动强化时钟", run_.intervalMs());
}

void PlannerWindow::showRun(const RunStatus& s) {
  using Phase = RunStatus::Phase;
  window_.setInterval("自动强化时钟", run_.intervalMs());
  if (s.phase != Phase::Going) {
    window_.setCaption("自动强化按钮", s.phase == Phase::Started ? "停止" : "自动强化");
    setButtonLook(s.phase == Phase::Started);
  }
  window_.setCaption("自动状态标签", s.line);
  if (s.phase != Phase::Going) window_.setTextColour("自动状态标签", s.phase == Phase::Started ? kWhite : kGrey);
  window_.setCaption("自动花费标签", s.money);
  // The rest of the window: at the start the luck and the plan follow the run; at its end, and a few times a
  // second during a fast one, everything does.
  if (s.phase == Phase::Going && !s.catchUp) return;
  if (s.phase != Phase::Started) {
    showOdds();
    showHistory();
  }
  showClimbState();
  startWork();
}

void PlannerWindow::setButtonLook(bool running) {
  const std::string base = running ? "wide_stop_" : "wide_autorun_";
  const int i = window_.indexOf("自动强化按钮");
  window_.setButtonPictures(i, base + "normal", base + "hover", base + "pressed", base + "disabled");
}

}  // namespace mox
