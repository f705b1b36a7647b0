#pragma once
// The planner window: the true odds of the benches, the plan to a target level and its cost curve, the luck of
// the climb under way, the record of attempts and its export, and the controls of auto-run. The figuring
// (src/ui/plan_figuring.h) and the run (src/ui/auto_run.h) are rooms of their own; the window asks them, shows
// what they answer and passes its timers' ticks on to them.
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "plan/compare.h"
#include "plan/planner.h"
#include "runtime/form.h"
#include "runtime/platform.h"
#include "sim/simulator.h"
#include "ui/auto_run.h"
#include "ui/history.h"
#include "ui/plan_figuring.h"
#include "ui/plan_pins.h"

namespace mox {

class PlannerWindow {
 public:
  static constexpr int kResultIntervalMs = 30;
  static constexpr size_t kListRows = 500;

  PlannerWindow(Form& main, Form& window, Simulator& sim, Platform& platform, History& history, PlannerInput input);
  ~PlannerWindow();

  void open();
  void close();
  bool isOpen() const { return window_.window().visible; }

  // From the simulation: the benches or the switches changed; an attempt happened.
  void benchChanged();
  void attempted(const AttemptRecord& record);
  // True while a fast auto-run is under way: no sounds and no banners.
  bool quiet() const { return run_.quiet(); }

  // Handlers.
  void inputsChanged();
  void autoWayChanged();
  void toggleAutoRun();
  void autoRunTick();
  void exportHistory();
  void resultTick();
  // 复制规划链接: the question shown, as a link to the web page, onto the clipboard (or shown in a box where there
  // is none).
  void copyLink();
  // Opens the window on the question of a link's fragment: its target, goal, budget, bonuses and way, and its
  // start and stock standing in for the bench's and the bag's (never written into them). False, and nothing
  // changed, when the fragment is not a question.
  bool openLink(std::string_view fragment);
  // 对比: 加入对比 pins the plan shown (its question and its figures; a fifth replaces the oldest), a row's 删除
  // unpins it and 清空对比 all of them. The pins are kept in MOXplans and figured again after a restart.
  void pinPlan();
  void removePin(int index);
  void clearPins();
  // Reads MOXplans (at start) and says what it dropped.
  void loadPins();
  // Esc: stops an auto-run; returns whether it did.
  bool stopOnEscape();

  bool autoRunning() const { return run_.running(); }
  // The run's clock (see AutoRun::setClock).
  void setClock(std::function<uint64_t()> micros, int sliceUs = AutoRun::kFastSliceUs) {
    run_.setClock(std::move(micros), sliceUs);
  }
  // The figuring's seams (see PlanFiguring): how it starts here, and figuring done elsewhere, its answers handed
  // back, and the place it went to lost.
  void setFiguringLaunch(std::launch how) {
    figuring_.setLaunch(how);
    pinFiguring_.setLaunch(how);
  }
  using Figurer = mox::Figurer;
  // The pins' figuring goes to the same place: its answers are told from the plan's by their inputs.
  void figureElsewhere(Figurer figurer) {
    figuring_.figureElsewhere(figurer);
    pinFiguring_.figureElsewhere(std::move(figurer));
  }
  void planFigured(const PlanOutcome& p);
  void luckFigured(const LuckOutcome& l);
  void figureHere();
  // The desktop programs' clock: the system's steady clock in microseconds.
  void useSteadyClock() {
    setClock([] {
      return static_cast<uint64_t>(
          std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
              .count());
    });
  }
  // Blocks until figuring under way is done and its results are shown (for tests and scripts).
  void settle();

  double exactChance(const AttemptRecord& record) const;

 private:
  PlanInputs currentInputs() const;
  std::optional<LuckInputs> luckInputs() const;
  void showOdds();
  void showClimbState();
  void showHistory();
  void startWork();
  // The money a way spends, as the result labels and the chart show it: the plan's climb, or the route.
  struct CostFigures {
    bool route = false;
    std::optional<double> expected;
    const plan::CostDistribution* spread = nullptr;  // null when not figured
  };
  CostFigures costFigures() const;
  bool routeShown() const;
  void showCostFigures();
  void showPlan();
  void drawChart();
  AutoWay selectedWay() const;
  RunRequest runRequest() const;
  void showRun(const RunStatus& s);
  void setButtonLook(bool running);
  std::string synthesisRateShown() const;
  // The question shown as a link asks it; none while the target is not above the start.
  std::optional<plan::LinkQuestion> questionShown() const;

  // A pin's figures and curve: the plan's when it was pinned, or figured again from its question (after a
  // restart; until then `figured` is false).
  struct PinShown {
    bool figured = false;
    plan::QuestionFigures figures;
    std::vector<std::pair<double, double>> curve;
  };
  static PinShown pinFrom(const PlanOutcome& p, bool route);
  void pinsChanged(const std::string& said);
  void sayAboutPins(const std::string& said, uint32_t colour);
  void askPinFigures();
  void pinFigured();
  void showPins();
  void addPinCurves(ChartData& d) const;

  Form& main_;
  Form& window_;
  Simulator& sim_;
  Platform& platform_;
  History& history_;
  PlannerInput input_;

  // A question opened from a link: its start and its stock are planned from until the player lays a chip of
  // their own or starts a run (unticking 按库存规划 lets go of the stock).
  struct LinkHeld {
    int from = 0;
    std::optional<plan::Stock> stock;
  };
  std::optional<LinkHeld> link_;

  PlanFiguring figuring_;
  PlanPins pins_;
  std::vector<PinShown> pinShown_;  // by pin
  PlanFiguring pinFiguring_;        // the pins' figures after a restart, one question at a time
  AutoRun run_;
  int lastBenchLevel_ = -1;
  mutable std::unordered_map<uint64_t, double> chanceCache_;
  std::shared_ptr<bool> alive_;  // read by a finished export that outlives the window
};

}  // namespace mox
