#pragma once
// The whole program without a screen: both windows' forms built from the layout, the simulation wired to their
// controls, start-up in its order, and input by control name. The desktop front end and the script driver both
// drive this object; neither holds any logic of its own.
#include <memory>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files.h"
#include "runtime/form.h"
#include "runtime/platform.h"
#include "runtime/random.h"

namespace mox {

class Simulator;
class BannerAnimation;
class History;
class PlannerWindow;

class App {
 public:
  explicit App(Platform& platform);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Runs the main window's creation handler, then its moved and resized handlers, as before the first showing.
  void start();

  Form& mainForm() { return main_; }
  Form& bannerForm() { return banner_; }
  Form& plannerForm() { return planner_; }
  PlannerWindow& planner() { return *plannerWindow_; }
  History& history() { return *history_; }
  // The window that holds a control of this name (names are unique across the windows), or null.
  Form* formOf(std::string_view name);
  const Control* find(std::string_view name) {
    Form* f = formOf(name);
    return f ? f->find(name) : nullptr;
  }
  Simulator& sim() { return *sim_; }
  BannerAnimation& bannerAnimation() { return *bannerAnimation_; }
  Random& random() { return random_; }
  Files& files() { return files_; }
  Platform& platform() { return platform_; }

  // Input as a user gives it, by control name. Events on a control the user could not reach (hidden, or
  // disabled, itself or a parent) are ignored. Returns false only for a name the form does not have.
  bool click(std::string_view name);
  bool press(std::string_view name);  // left button pressed
  bool move(std::string_view name);   // mouse moved over it
  bool select(std::string_view name, int index);
  // Scrolls a list by whole rows (positive: towards the end).
  bool scroll(std::string_view name, int rows);
  // Esc in a window: stops an auto-run first; otherwise closes the window if it closes on Esc. Returns whether
  // the window should close (the front end ends the program for the main window).
  bool escape(Form& window);
  // One tick of every running timer of every window.
  void tickTimers(int count = 1);
  // Waits for figuring under way (the planner's) and shows its results: scripts and tests stay deterministic.
  void settle();

  // The front end reports the main window's new screen position (outer frame); runs the moved handler.
  void mainWindowMoved(int left, int top);

  // Status words passed to the result feedback since the last call.
  std::vector<std::string> takeBanners();

 private:
  bool fire(std::string_view name, Event event);
  static constexpr size_t kMaxBanners = 4096;

  Platform& platform_;
  Random random_;
  Files files_;
  Form main_;
  Form banner_;
  Form planner_;
  std::unique_ptr<BannerAnimation> bannerAnimation_;
  std::unique_ptr<Simulator> sim_;
  std::unique_ptr<History> history_;
  std::unique_ptr<PlannerWindow> plannerWindow_;
  std::vector<std::string> banners_;
};

}  // namespace mox
