#pragma once
// The main window on SDL: a fixed-size window whose client area is the layout's coordinate space, drawn in
// software into a canvas that keeps the form's picture between frames. The paint layer's view says what to
// redraw and how; the banner is composed over the canvas where the paint layer puts it, as SDL has no layered
// windows. The loop sleeps in SDL_WaitEvent; the form's timers run as SDL timers that post events to it.
#include <cstdint>
#include <map>
#include <optional>

#include "desktop/sdl/sdl_draw.h"
#include "ui/app.h"
#include "ui/paint/view.h"

struct SDL_Window;
struct SDL_Surface;
struct SDL_Cursor;
union SDL_Event;

namespace mox::sdl {

class MainWindow {
 public:
  MainWindow(App& app, Painter& painter);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Draws the whole form into the canvas. Touches no window, so it may run on another thread while create()
  // runs on this one (start-up does both at once); nothing else may use the form meanwhile.
  bool prepare();
  // Creates the window hidden, centred, at the layout's client size, titled and with its icon.
  bool create();
  SDL_Window* handle() const { return window_; }
  // The client area's screen position, as the banner placement wants it.
  void position(int& left, int& top) const;
  // Shows the window and presents the first whole frame.
  bool show();
  // Runs until the window is closed; returns the exit code.
  int run();

 private:
  // The abstract event an SDL event stands for, if any (window moves and finished saves are handled here).
  std::optional<paint::InputEvent> translate(const SDL_Event& event);
  void syncTimers();
  void collect();
  void present();

  App& app_;
  Painter& painter_;
  paint::View view_;
  SDL_Window* window_ = nullptr;
  SDL_Surface* canvas_ = nullptr;  // the form as last drawn, without the list popup and the banner
  SDL_Cursor* arrow_ = nullptr;
  SDL_Cursor* hand_ = nullptr;
  paint::Cursor cursor_ = paint::Cursor::Arrow;
  std::map<int, int> timers_;  // timer control -> SDL_TimerID
  bool quit_ = false;
};

}  // namespace mox::sdl
