#pragma once
// The main window on SDL: a fixed-size window whose client area is the layout's coordinate space, drawn in
// software into a canvas that keeps the form's picture between frames. Only what changed is redrawn: controls
// the logic marked, buttons whose hover or pressed look changed, the open list of a drop-down and the banner,
// which is composed with its per-pixel alpha over the canvas where the banner window's position puts it. The
// loop sleeps in SDL_WaitEvent; the form's timers run as SDL timers that post events to it.
#include <cstdint>
#include <vector>

#include "runtime/sdl/sdl_draw.h"
#include "runtime/sdl/sdl_input.h"
#include "ui/app.h"

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
  struct TimerSlot {
    int control = -1;
    uint64_t generation = 0;
    int id = 0;  // SDL_TimerID, 0 = none
  };
  struct BannerLook {
    bool visible = false;
    Rect rect;
    std::string picture;
    bool operator==(const BannerLook&) const = default;
  };

  // Returns false when the window should close.
  bool handle(const SDL_Event& event);
  void syncTimers();
  void collectDamage();
  void present();
  BannerLook bannerLook() const;
  void damageCanvas(const Rect& r);
  void damageScreen(const Rect& r);
  void updateCursor();

  App& app_;
  Form& form_;
  Painter& painter_;
  Pointer pointer_;
  SDL_Window* window_ = nullptr;
  SDL_Surface* canvas_ = nullptr;  // the form as last drawn, without the list popup and the banner
  SDL_Cursor* arrow_ = nullptr;
  SDL_Cursor* hand_ = nullptr;
  bool handShown_ = false;
  std::vector<TimerSlot> timers_;
  std::vector<Rect> canvasDamage_;
  std::vector<Rect> screenDamage_;
  BannerLook banner_;
  bool quit_ = false;
};

}  // namespace mox::sdl
