#pragma once
// The program's windows on SDL: each a fixed-size window whose client area is its layout's coordinate space,
// drawn in software into a canvas that keeps the form's picture between frames. The paint layer's view says what
// to redraw and how; the banner is composed over the main window's canvas where the paint layer puts it, as SDL
// has no layered windows. One loop serves every window: it sleeps in SDL_WaitEvent, hands each event to the
// window it belongs to, and the forms' timers run as SDL timers that post events to it.
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "desktop/sdl/sdl_draw.h"
#include "ui/app.h"
#include "ui/paint/view.h"
#include "ui/shell.h"

struct SDL_Window;
struct SDL_Surface;
struct SDL_Cursor;
union SDL_Event;

namespace mox::sdl {

class Window {
 public:
  // `view` is the shell's view of the window's form; `slot` tells this window's timer events from the others'. A
  // window that keeps a canvas redraws only what its form changed and copies the rest (the main window, under its
  // banner's every step); one without draws the form again wherever the screen needs it, and holds no second copy
  // of its pixels.
  Window(App& app, paint::View& view, Painter& painter, int slot, bool keepsCanvas = true);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Draws the whole form into the canvas. Touches no window, so it may run on another thread while create()
  // runs on this one (start-up does both at once); nothing else may use the form meanwhile.
  bool prepare();
  // Creates the window hidden, centred on the usable part of the screen, at the layout's client size times the
  // painter's factor, titled and with its icon.
  bool create();
  // Gives the window its icon and the pointer its shapes over it (after the first frame: they read files).
  void decorate();
  SDL_Window* handle() const { return window_; }
  uint32_t id() const;
  std::pair<int, int> position() const;
  // Shows the window and presents a whole frame; hides it.
  bool show();
  void hide();
  bool shown() const { return shown_; }
  long frames() const { return frames_; }  // frames presented so far

  Form& form() { return view_.form(); }
  paint::View& view() { return view_; }
  // The abstract event an SDL event meant for this window stands for, if any.
  std::optional<paint::InputEvent> translate(const SDL_Event& event);
  // A timer of the form's started or stopped: an SDL timer that posts its ticks to the loop.
  void timer(const paint::TimerChange& change);
  // Gathers and presents what changed; `overlay` is composed over the window.
  void update(const std::optional<paint::Overlay>& overlay);

 private:
  void present();
  // A pointer coordinate on the window's surface, in the layout's pixels.
  int layout(int screen) const;

  App& app_;
  Painter& painter_;
  paint::View& view_;
  int slot_;
  bool keepsCanvas_;
  SDL_Window* window_ = nullptr;
  SDL_Surface* canvas_ = nullptr;  // the form as last drawn, without the list popup and the banner
  SDL_Cursor* arrow_ = nullptr;
  SDL_Cursor* hand_ = nullptr;
  paint::Cursor cursor_ = paint::Cursor::Arrow;
  double pixelsPerPoint_ = 1;  // window coordinates to drawable pixels (above 1 on a scaled Wayland output)
  std::map<int, int> timers_;  // timer control -> SDL_TimerID
  bool shown_ = false;
  bool decorated_ = false;
  long frames_ = 0;
};

// The main window and the planner window, and the loop that serves both: the shell's host on SDL.
class Desktop : public ShellHost {
 public:
  Desktop(App& app, Painter& painter);

  Shell& shell() { return shell_; }
  Window& main() { return main_; }
  Window& planner() { return planner_; }
  // Pictures between the picture sets are drawn quickly at first and carefully once run() starts; the windows
  // are then drawn again with them.
  void refinePictures();
  // Runs until the main window is closed; returns the exit code.
  int run();

  // The planner window is created at its first showing.
  bool showPlanner() override;
  void hidePlanner() override;
  void timer(int slot, const paint::TimerChange& change) override;
  // The banner is composed over the main window's canvas.
  void present() override;
  void quit() override { running_ = false; }

 private:
  Window* windowOf(const SDL_Event& e);
  void handle(const SDL_Event& e);

  App& app_;
  Painter& painter_;
  Shell shell_;
  Window main_;
  Window planner_;
  bool running_ = true;
};

}  // namespace mox::sdl
