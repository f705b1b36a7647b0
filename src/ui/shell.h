#pragma once
// The front end's shell, written once for every toolkit: the views of the main and the planner windows, the
// banner composed over the main one, the planner window brought on screen and off it as its form says, what Esc
// and the close box do, the windows drawn again after a disk write or when refined pictures arrive, and the
// desktops' start-up. A front end implements ShellHost (and a desktop gives the steps of WindowStartUp): the
// checklist of what a new platform must do. It feeds the shell its windows' events and calls update() after each
// batch of them.
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

#include "ui/paint/display_list.h"
#include "ui/paint/view.h"

namespace mox {

class App;

// The windows by slot: 0 the main window, 1 the planner window.
constexpr int kMainSlot = 0;
constexpr int kPlannerSlot = 1;

// What the shell asks of a front end.
class ShellHost {
 public:
  virtual ~ShellHost() = default;
  // Brings the planner window on screen (made at its first showing): whether it shows now. Asked again at the next
  // update when it does not.
  virtual bool showPlanner() = 0;
  // Takes the planner window off screen, the keyboard back to the main window.
  virtual void hidePlanner() = 0;
  // A window's timer for `change.control` stopped, and started again when its interval is above 0.
  virtual void timer(int slot, const paint::TimerChange& change) = 0;
  // What changed in the shown windows put on screen (drawn now, or a frame asked for); Shell::banner() says what
  // lies over the main window.
  virtual void present() = 0;
  // The main window closed: the program ends. Never asked of a host whose main window stays.
  virtual void quit() = 0;
};

// What a desktop does to bring up its main window (Shell::open), step by step; the optional steps may be left out.
struct WindowStartUp {
  enum class Display { None, Up, Rescaled };

  // Draws the main window's canvas whole. Touches no window: it runs on a thread of its own, beside connect and
  // create, and nothing else uses the form meanwhile.
  std::function<bool()> prepare;
  // Optional. Connects to the display: Rescaled when the canvas is to be drawn at another factor than the one
  // prepare began with (the screen's own, or one that fits it); None when there is no display.
  std::function<Display()> connect;
  // Optional. After Rescaled, once the first drawing is done: the new factor taken, before it is drawn again.
  std::function<void()> rescale;
  // Creates the main window, hidden.
  std::function<bool()> create;
  // Optional. The canvas and the window are both done: whatever else ran beside them is finished here.
  std::function<void()> ready;
  // Shows the main window, the whole of it marked for presenting (presented now, or by the update that follows).
  std::function<bool()> show;
  // Where the main window's client area landed, in the screen coordinates of the main form's window position.
  std::function<std::pair<int, int>()> position;
};

class Shell {
 public:
  // Whether the main window's close box and Esc end the program; in a page it has nowhere to close to.
  enum class MainWindow { Closes, Stays };
  enum class Opened { Shown, NoDisplay };

  Shell(App& app, paint::TextMetrics& metrics, ShellHost& host, MainWindow main = MainWindow::Closes);
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  // Starts the program (the creation, moved and resized handlers); fast auto-runs are timed by `micros`, in
  // slices of `sliceUs` (the steady clock and the desktop's slice when none is given).
  void start(std::function<uint64_t()> micros = {}, int sliceUs = 0);
  // The desktop's start-up, after start(): the main window's canvas drawn while the window is made, both
  // checked (the start-up box when either failed), then the window shown with its first frame.
  Opened open(const WindowStartUp& steps);

  paint::View& view(int slot) { return slot == kPlannerSlot ? planner_ : main_; }
  paint::View& main() { return main_; }
  paint::View& planner() { return planner_; }
  bool plannerShown() const { return plannerShown_; }
  // The main window closed: nothing more is handled or presented.
  bool quitting() const { return quitting_; }

  // One event for a window (the view's answer), Esc and the close box included.
  paint::InputResult handle(int slot, const paint::InputEvent& event);
  // Something ran outside input (a disk write finished): the pointer looks again in both windows.
  void refresh();
  // Both windows drawn again from scratch (refined pictures arrived, the fonts changed).
  void redrawAll();
  // After a batch of events: the planner window followed, the timers passed on, what changed presented.
  void update();
  // Brings the planner window on screen or off it as its form says.
  void followPlanner();
  // The banner as it lies over the main window now, if it shows.
  std::optional<paint::Overlay> banner();

 private:
  void close(int slot, bool escape);

  App& app_;
  ShellHost& host_;
  MainWindow mainWindow_;
  paint::View main_;
  paint::View planner_;
  bool plannerShown_ = false;
  bool quitting_ = false;
};

}  // namespace mox
