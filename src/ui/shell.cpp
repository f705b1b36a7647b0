#include "ui/shell.h"

#include <thread>
#include <variant>

#include "ui/app.h"
#include "ui/planner_window.h"

namespace mox {

Shell::Shell(App& app, paint::TextMetrics& metrics, ShellHost& host, MainWindow main)
    : app_(app), host_(host), mainWindow_(main), main_(app.mainForm(), metrics), planner_(app.plannerForm(), metrics) {}

void Shell::start(std::function<uint64_t()> micros, int sliceUs) {
  app_.start();
  if (micros) {
    app_.planner().setClock(std::move(micros), sliceUs > 0 ? sliceUs : AutoRun::kFastSliceUs);
  } else {
    app_.planner().useSteadyClock();
  }
}

Shell::Opened Shell::open(const WindowStartUp& steps) {
  using Display = WindowStartUp::Display;
  // Drawing the first frame takes about as long as connecting to the display and creating the window: the two
  // overlap.
  bool prepared = false;
  std::thread preparer([&] { prepared = steps.prepare(); });
  const Display display = steps.connect ? steps.connect() : Display::Up;
  if (display == Display::Rescaled) {
    preparer.join();
    if (steps.rescale) steps.rescale();
    preparer = std::thread([&] { prepared = steps.prepare(); });
  }
  const bool created = display != Display::None && steps.create();
  preparer.join();
  if (steps.ready) steps.ready();
  if (display == Display::None) return Opened::NoDisplay;
  if (!created || !prepared || !steps.show()) app_.platform().fatal("载入启动窗口失败");
  // The system may have placed the window elsewhere than asked: the banner follows the real position.
  const auto [left, top] = steps.position();
  const WindowInfo& w = app_.mainForm().window();
  if (left != w.left || top != w.top) app_.mainWindowMoved(left, top);
  update();
  return Opened::Shown;
}

paint::InputResult Shell::handle(int slot, const paint::InputEvent& event) {
  if (quitting_) return {};
  const paint::InputResult result = view(slot).handle(event);
  if (result.close) close(slot, std::holds_alternative<paint::KeyDown>(event));
  return result;
}

void Shell::close(int slot, bool escape) {
  // Esc first stops an auto-run; the close box closes the planner window and ends the program at the main one.
  // In a page the main window has nowhere to close to: its Esc only stops an auto-run.
  if (slot == kPlannerSlot) {
    if (escape) {
      app_.escape(app_.plannerForm());
    } else {
      app_.planner().close();
    }
    return;
  }
  const bool closes = escape ? app_.escape(app_.mainForm()) : true;
  if (!closes || mainWindow_ == MainWindow::Stays) return;
  quitting_ = true;
  host_.quit();
}

void Shell::refresh() {
  main_.handle(paint::Refresh{});
  planner_.handle(paint::Refresh{});
}

void Shell::redrawAll() {
  main_.redrawAll();
  planner_.redrawAll();
}

void Shell::update() {
  if (quitting_) return;
  followPlanner();
  for (const int slot : {kMainSlot, kPlannerSlot}) {
    for (const paint::TimerChange& t : view(slot).takeTimerChanges()) host_.timer(slot, t);
  }
  host_.present();
}

void Shell::followPlanner() {
  const bool wanted = app_.plannerForm().window().visible;
  if (wanted == plannerShown_) return;
  // Marked first: showing or hiding a window may bring events (the keyboard moving) that update again.
  plannerShown_ = wanted;
  if (wanted) {
    plannerShown_ = host_.showPlanner();
  } else {
    host_.hidePlanner();
    // A hidden window's pointer state would otherwise linger until it shows again.
    planner_.handle(paint::PointerLeave{});
  }
}

std::optional<paint::Overlay> Shell::banner() {
  // The banner's own form is never drawn as a window: its picture lies over the main window.
  Form& banner = app_.bannerForm();
  banner.takeFullRedraw();
  banner.takeDirty();
  return paint::overlayOf(banner, app_.mainForm());
}

}  // namespace mox
