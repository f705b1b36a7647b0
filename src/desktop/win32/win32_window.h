#pragma once
// The program's windows on Windows: each a fixed-size window whose client area is its layout's coordinate space.
// A form is drawn into a DIB section canvas that keeps its picture between frames; each frame copies what changed
// into a second DIB with the open list on top, which WM_PAINT presents. The banner is a real layered window of
// its own, composed by the system with its per-pixel alpha and moved with the main window. The forms' timers run
// as SetTimer timers of their windows, and their ticks are counted by elapsed time, since timer rates differ
// between systems.
#include <windows.h>

#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "desktop/win32/win32_draw.h"
#include "desktop/win32/win32_dpi.h"
#include "ui/app.h"
#include "ui/paint/view.h"
#include "ui/shell.h"

namespace mox::win32 {

// Ticks a timer owes after `elapsedMs` since its start at `intervalMs`, when `done` were already given. At most
// kMaxCatchUp at once: after a long stall (a modal box, a suspended machine) an animation jumps ahead rather
// than replaying every missed step.
constexpr uint64_t kMaxCatchUp = 25;
uint64_t ticksOwed(uint64_t elapsedMs, int intervalMs, uint64_t done);

// The pointer event a mouse message on a client area drawn at `scale` carries, in layout pixels; none for other
// messages.
std::optional<paint::InputEvent> pointerEvent(UINT message, LPARAM lParam, const paint::Scale& scale);

// Milliseconds on a steady clock.
uint64_t nowMs();

// A layered top-level window owned by the main window, showing one picture with its own alpha.
class LayeredWindow {
 public:
  explicit LayeredWindow(Pictures& pictures) : pictures_(pictures) {}
  ~LayeredWindow();
  LayeredWindow(const LayeredWindow&) = delete;
  LayeredWindow& operator=(const LayeredWindow&) = delete;

  void setOwner(HWND owner) { owner_ = owner; }
  HWND handle() const { return window_; }
  // Shows the overlay's picture over the window whose client area starts at the screen point `clientOrigin`
  // and is drawn at `scale`; none hides the window.
  void show(const std::optional<paint::Overlay>& overlay, POINT clientOrigin, const paint::Scale& scale);
  // Its picture is made again at the next show (it was drawn again).
  void forget() {
    picture_.clear();
    origin_ = {LONG_MIN, LONG_MIN};
  }

 private:
  bool create(HWND owner);

  Pictures& pictures_;
  HWND owner_ = nullptr;
  HWND window_ = nullptr;
  std::optional<paint::Overlay> shown_;
  POINT origin_{};
  paint::Scale scale_;
  std::string picture_;  // the picture the window holds, at scale_
};

class Desktop;

// One of the program's top-level windows, showing one form through the shell's view of it.
class Window {
 public:
  Window(Desktop& desktop, paint::View& view, Painter& painter, Pictures& pictures);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Names the pictures the whole form draws to Pictures::announce, measuring no text, so decoding can start
  // before the fonts are ready (no picture's place depends on a text's size).
  void announcePictures();
  // The factor the window will be drawn at on `monitor` (the owner's, else the primary one): the forced one,
  // else the monitor's, lowered until the window with its frame fits the monitor's work area.
  void chooseScale(HMONITOR monitor);
  const paint::Scale& scale() const { return scale_; }
  // Draws the whole form into the canvas. Touches no window, so it may run on another thread while create() runs
  // on this one (start-up does both at once); nothing else may use the form meanwhile.
  bool prepare();
  // Creates the window hidden, centred on the work area of the owner's monitor (else the primary one), at the
  // layout's client size times the factor, titled, with its icon; owned by `owner` when given (it then stays
  // above it and has no task bar button of its own).
  bool create(HWND owner = nullptr);
  HWND handle() const { return window_; }
  // Moves the window, centred, onto the monitor `other` is on, when it is on another.
  void moveToMonitorOf(HWND other);
  // Shows the window, takes the keyboard and presents a whole frame; hides it.
  bool show();
  void hide();
  bool shown() const { return shown_; }
  bool painted() const { return painted_; }

  Form& form() { return view_.form(); }
  paint::View& view() { return view_; }
  POINT clientOrigin() const;
  // A clock of the form's started or stopped (one asked for before the window is made starts with it).
  void timer(const paint::TimerChange& change);
  // Damage, the cursor, and a frame when something changed.
  void update();

 private:
  struct Clock {
    UINT_PTR id = 0;
    int interval = 0;
    uint64_t generation = 0;
    uint64_t start = 0;
    uint64_t done = 0;
  };
  static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  // WM_PAINT: the frame copied to the screen where the system asks.
  void paintFrame(bool isMain);
  // A mouse button or move in the client area; the wheel, in whole steps.
  void pointer(UINT message, WPARAM wParam, LPARAM lParam);
  void wheel(WPARAM wParam, LPARAM lParam);
  void tick(UINT_PTR id);
  void present();
  // The factor on a monitor of `dpi` (see chooseScale), and the window's size with its frame at a factor and
  // density.
  paint::Scale scaleOn(UINT dpi, HMONITOR monitor);
  SIZE outerSize(const paint::Scale& scale, UINT dpi) const;
  // Follows a new density (the window created or moved onto another monitor): the factor chosen again for the
  // monitor, the window resized (at `suggested`'s place when the system gives one, else kept on the work area)
  // and, at a new factor, drawn again.
  void followDpi(UINT dpi, const RECT* suggested);

  Desktop& desktop_;
  Painter& painter_;
  Pictures& pictures_;
  paint::View& view_;
  paint::Scale scale_;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;  // the density the window was placed for
  bool scaleChosen_ = false;
  HWND window_ = nullptr;
  std::unique_ptr<Canvas> canvas_;  // the form as last drawn
  std::unique_ptr<Canvas> frame_;   // the canvas with the open list on top: what WM_PAINT presents
  HCURSOR arrow_ = nullptr, hand_ = nullptr;
  paint::Cursor cursor_ = paint::Cursor::Arrow;
  std::map<int, Clock> clocks_;  // by timer control
  bool tracking_ = false;        // a WM_MOUSELEAVE is asked for
  int wheelRest_ = 0;            // wheel movement short of a whole step
  bool shown_ = false;
  bool painted_ = false;
};

// The main window with its banner, and the planner window, the shell's host on Windows: input to the window it is
// meant for, and after every event both windows brought up to date, since what happens in one often changes the
// other.
class Desktop : public ShellHost {
 public:
  Desktop(App& app, Painter& painter, Pictures& pictures);

  Shell& shell() { return shell_; }
  Window& main() { return main_; }
  Window& planner() { return planner_; }
  // Shows the main window (its first whole frame is presented at the shell's next update).
  bool showMain();
  // Runs until the main window is closed; returns the exit code. With `stopAfterFirstFrame` it ends as soon as
  // the first frame has been presented (for start-up benchmarks).
  int run(bool stopAfterFirstFrame = false);

  // From the windows.
  void feed(Window& window, const paint::InputEvent& event);
  // `count` ticks of a window's timer, then one update.
  void tick(Window& window, const paint::TimerTick& tick, uint64_t count);
  void mainMoved(int left, int top);
  void firstPaint();
  void diskDone(LPARAM completion);
  // Pictures between the picture sets are drawn quickly at first and carefully after the first frame; the
  // windows are then drawn again with them (picturesRefined).
  void refinePictures();
  void picturesRefined();
  void updateAll();

  // The planner window is created at its first showing, on the main window's monitor.
  bool showPlanner() override;
  void hidePlanner() override;
  void timer(int slot, const paint::TimerChange& change) override;
  // The banner is shown by the layered window, over the main one.
  void present() override;
  void quit() override;

 private:
  int slotOf(const Window& window) const { return &window == &planner_ ? kPlannerSlot : kMainSlot; }

  App& app_;
  Pictures& pictures_;
  Shell shell_;
  Window main_;
  Window planner_;
  LayeredWindow banner_;
  bool stopAfterFirstFrame_ = false;
};

}  // namespace mox::win32
