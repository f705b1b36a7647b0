#include "desktop/sdl/sdl_window.h"

#include "desktop/sdl/sdl_platform.h"
#include "desktop/sdl/sdl_scale.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "assets/assets.h"
#include "ui/history.h"
#include "ui/planner_window.h"

namespace mox::sdl {

namespace {

Uint32 gTimerEvent = 0;

// Runs on SDL's timer thread: it only posts an event naming the window, the timer control and the start it
// belongs to (packed into the parameter: control in bits 0-15, window in 16-19, start above), so a tick from a
// timer the logic has since stopped or restarted is recognised and dropped on the interface thread.
Uint32 postTick(Uint32 interval, void* param) {
  const auto packed = reinterpret_cast<uintptr_t>(param);
  SDL_Event e{};
  e.type = gTimerEvent;
  e.user.code = static_cast<Sint32>(packed & 0xFFFFF);
  e.user.data1 = reinterpret_cast<void*>(packed >> 20);
  SDL_PushEvent(&e);
  return interval;
}

// The pointer's shape is one for the whole program: the window under the pointer sets it.
paint::Cursor gCursor = paint::Cursor::Arrow;

}  // namespace

Window::Window(App& app, paint::View& view, Painter& painter, int slot, bool keepsCanvas)
    : app_(app), painter_(painter), view_(view), slot_(slot), keepsCanvas_(keepsCanvas) {}

Window::~Window() {
  for (auto& [control, id] : timers_) SDL_RemoveTimer(id);
  if (canvas_) SDL_FreeSurface(canvas_);
  if (hand_) SDL_FreeCursor(hand_);
  if (arrow_) SDL_FreeCursor(arrow_);
  if (window_) SDL_DestroyWindow(window_);
}

bool Window::prepare() {
  const Rect all = view_.client();
  if (!keepsCanvas_) {
    view_.form().takeFullRedraw();
    view_.form().takeDirty();
    view_.redrawAll();
    return true;
  }
  const Rect screen = painter_.scale().rect(all);
  if (canvas_ && (canvas_->w != screen.w || canvas_->h != screen.h)) {
    SDL_FreeSurface(canvas_);  // drawn at another factor
    canvas_ = nullptr;
  }
  if (!canvas_) canvas_ = SDL_CreateRGBSurfaceWithFormat(0, screen.w, screen.h, 32, SDL_PIXELFORMAT_RGB888);
  if (!canvas_) return false;
  view_.form().takeFullRedraw();
  view_.form().takeDirty();
  painter_.execute(canvas_, view_.paintForm(all));
  return true;
}

bool Window::create() {
  if (gTimerEvent == 0) gTimerEvent = SDL_RegisterEvents(1);
  const WindowInfo& w = view_.form().window();
  // Not resizable: the layout is drawn at its own size, and the window manager keeps the frame fixed.
  const paint::Scale& scale = painter_.scale();
  const int width = scale.edge(w.clientWidth), height = scale.edge(w.clientHeight);
  // Centred in the part of the screen that panels leave free, and wholly inside it where it fits.
  int left = SDL_WINDOWPOS_CENTERED, top = SDL_WINDOWPOS_CENTERED;
  SDL_Rect usable{};
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
    left = usable.x + std::max(0, (usable.w - width) / 2);
    top = usable.y + std::max(0, (usable.h - height) / 2);
  }
  // Wayland counts a window's size in points and hands a drawable of points times its output's scale to a
  // window that asks: asked for, so the canvas's pixels reach the screen one to one.
  const bool points = std::string_view(SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "") == "wayland";
  window_ = SDL_CreateWindow(w.title.c_str(), left, top, width, height,
                             SDL_WINDOW_HIDDEN | (points ? SDL_WINDOW_ALLOW_HIGHDPI : 0));
  if (!window_) return false;
  if (points) {
    if (const auto ratio = drawableRatio(window_); ratio && *ratio > 1) {
      pixelsPerPoint_ = *ratio;
      SDL_SetWindowSize(window_, static_cast<int>(std::ceil(width / *ratio)),
                        static_cast<int>(std::ceil(height / *ratio)));
    }
  }
  return true;
}

void Window::decorate() {
  if (!window_ || decorated_) return;
  decorated_ = true;
  if (const assets::Asset* icon = assets::find(view_.form().window().icon)) {
    SDL_RWops* rw = SDL_RWFromConstMem(icon->bytes.data(), static_cast<int>(icon->bytes.size()));
    if (SDL_Surface* s = rw ? IMG_LoadICO_RW(rw) : nullptr) {
      SDL_SetWindowIcon(window_, s);
      SDL_FreeSurface(s);
    }
    if (rw) SDL_RWclose(rw);
  }
  arrow_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  hand_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
}

uint32_t Window::id() const { return window_ ? SDL_GetWindowID(window_) : 0; }

std::pair<int, int> Window::position() const {
  int left = 0, top = 0;
  SDL_GetWindowPosition(window_, &left, &top);
  return {left, top};
}

bool Window::show() {
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  shown_ = true;
  if (keepsCanvas_ && !canvas_ && !prepare()) return false;
  view_.collect();
  view_.exposeAll();
  present();
  return SDL_GetWindowSurface(window_) != nullptr;
}

void Window::hide() {
  if (window_) SDL_HideWindow(window_);
  shown_ = false;
}

int Window::layout(int screen) const {
  return painter_.scale().toLayout(static_cast<int>(std::lround(screen * pixelsPerPoint_)));
}

std::optional<paint::InputEvent> Window::translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: return paint::CloseRequest{};
        case SDL_WINDOWEVENT_MOVED:
          if (slot_ == 0) app_.mainWindowMoved(e.window.data1, e.window.data2);
          break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED: view_.exposeAll(); break;
        case SDL_WINDOWEVENT_LEAVE: return paint::PointerLeave{};
        case SDL_WINDOWEVENT_FOCUS_LOST: return paint::FocusLost{};
        default: break;
      }
      return std::nullopt;
    case SDL_KEYDOWN:
      switch (e.key.keysym.sym) {
        case SDLK_ESCAPE: return paint::KeyDown{paint::Key::Escape};
        case SDLK_UP: return paint::KeyDown{paint::Key::Up};
        case SDLK_DOWN: return paint::KeyDown{paint::Key::Down};
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return paint::KeyDown{paint::Key::Enter};
        default: return std::nullopt;
      }
    case SDL_MOUSEMOTION: return paint::PointerMove{layout(e.motion.x), layout(e.motion.y)};
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const paint::Button b = e.button.button == SDL_BUTTON_LEFT    ? paint::Button::Left
                              : e.button.button == SDL_BUTTON_RIGHT ? paint::Button::Right
                                                                    : paint::Button::Middle;
      if (e.type == SDL_MOUSEBUTTONDOWN) return paint::PointerDown{layout(e.button.x), layout(e.button.y), b};
      return paint::PointerUp{layout(e.button.x), layout(e.button.y), b};
    }
    case SDL_MOUSEWHEEL: {
      int x = 0, y = 0;
      SDL_GetMouseState(&x, &y);
      return paint::Wheel{layout(x), layout(y), e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y};
    }
    default:
      if (e.type == gTimerEvent) {
        return paint::TimerTick{e.user.code & 0xFFFF, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.user.data1))};
      }
      return std::nullopt;
  }
}

void Window::timer(const paint::TimerChange& t) {
  if (gTimerEvent == 0) gTimerEvent = SDL_RegisterEvents(1);
  if (auto it = timers_.find(t.control); it != timers_.end()) {
    SDL_RemoveTimer(it->second);
    timers_.erase(it);
  }
  if (t.interval <= 0) return;
  const uintptr_t packed = static_cast<uintptr_t>(t.generation) << 20 | static_cast<uintptr_t>(slot_) << 16 |
                           static_cast<uintptr_t>(t.control);
  if (SDL_TimerID id = SDL_AddTimer(static_cast<Uint32>(t.interval), postTick, reinterpret_cast<void*>(packed))) {
    timers_[t.control] = id;
  }
}

void Window::update(const std::optional<paint::Overlay>& overlay) {
  view_.collect(overlay);
  if (SDL_GetMouseFocus() == window_ && arrow_ && hand_) {
    const paint::Cursor cursor = view_.pointer().cursor();
    if (cursor != gCursor) {
      gCursor = cursor;
      SDL_SetCursor(cursor == paint::Cursor::Hand ? hand_ : arrow_);
    }
  }
  present();
}

void Window::present() {
  const std::vector<Rect> formDamage = view_.takeFormDamage();
  if (canvas_) {
    for (const Rect& r : formDamage) painter_.execute(canvas_, view_.paintForm(r));
  }
  const std::vector<Rect> damage = view_.takeScreenDamage();
  if (damage.empty()) return;
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) return;
  std::vector<SDL_Rect> rects;
  for (const Rect& r : damage) {
    SDL_Rect s = toSdl(painter_.scale().rect(r));
    SDL_Rect d = s;
    if (canvas_) {
      SDL_BlitSurface(canvas_, &s, screen, &d);
    } else {
      painter_.execute(screen, view_.paintForm(r));
    }
    painter_.execute(screen, view_.paintTop(r));
    rects.push_back(s);
  }
  SDL_UpdateWindowSurfaceRects(window_, rects.data(), static_cast<int>(rects.size()));
  ++frames_;
}

namespace {
uint32_t refinedEventType() {
  static const uint32_t type = SDL_RegisterEvents(1);
  return type;
}
}  // namespace

Desktop::Desktop(App& app, Painter& painter)
    : app_(app),
      painter_(painter),
      shell_(app, painter, *this),
      main_(app, shell_.main(), painter, kMainSlot),
      planner_(app, shell_.planner(), painter, kPlannerSlot, false) {}

Window* Desktop::windowOf(const SDL_Event& e) {
  uint32_t id = 0;
  switch (e.type) {
    case SDL_WINDOWEVENT: id = e.window.windowID; break;
    case SDL_KEYDOWN: id = e.key.windowID; break;
    case SDL_MOUSEMOTION: id = e.motion.windowID; break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: id = e.button.windowID; break;
    case SDL_MOUSEWHEEL: id = e.wheel.windowID; break;
    default:
      if (e.type == gTimerEvent) return (e.user.code >> 16) == kPlannerSlot ? &planner_ : &main_;
      return nullptr;
  }
  if (id != 0 && id == planner_.id()) return &planner_;
  return id == main_.id() ? &main_ : nullptr;
}

void Desktop::handle(const SDL_Event& e) {
  if (e.type == SDL_QUIT) {
    running_ = false;
  } else if (e.type == refinedEventType()) {
    // Each picture replaces its quick one as it comes; the windows show them all at once, when the last is in.
    if (painter_.pictures().adoptRefined() && painter_.pictures().refined()) shell_.redrawAll();
  } else if (e.type == diskEventType()) {
    runDiskCompletion(e.user.data1);
    shell_.refresh();
  } else if (Window* w = windowOf(e)) {
    if (const std::optional<paint::InputEvent> event = w->translate(e)) {
      shell_.handle(w == &planner_ ? kPlannerSlot : kMainSlot, *event);
    }
  }
}

void Desktop::refinePictures() {
  refinedEventType();  // registered here, not first on the refiner's thread
  painter_.pictures().refineLater([] {
    SDL_Event e{};
    e.type = refinedEventType();
    SDL_PushEvent(&e);  // if the queue is full, the next batch's wake-up brings these too
  });
}

bool Desktop::showPlanner() {
  if (!planner_.handle() && !(planner_.create() && planner_.prepare())) return false;
  planner_.decorate();
  planner_.show();
  return planner_.shown();
}

void Desktop::hidePlanner() {
  planner_.hide();
  // The keyboard goes back to the main window (without a window manager nobody else would hand it over).
  SDL_RaiseWindow(main_.handle());
  SDL_SetWindowInputFocus(main_.handle());
}

void Desktop::timer(int slot, const paint::TimerChange& change) {
  (slot == kPlannerSlot ? planner_ : main_).timer(change);
}

void Desktop::present() {
  main_.update(shell_.banner());
  if (planner_.shown()) planner_.update(std::nullopt);
}

int Desktop::run() {
  // For bench/planner.py: how long a click on the planner button takes to show the window, and how many frames
  // the planner window presented in all.
  const bool bench = std::getenv("MOXSIM_BENCH_PLANNER") != nullptr;
  bool wasRunning = false;
  // The icon and the pointer's shapes (read from the cursor theme's files) wait until the first frame is up;
  // the planner window is made, hidden, right after, so that opening it only draws it.
  main_.decorate();
  if (planner_.create()) planner_.decorate();
  painter_.pictures().startRefining();
  SDL_Event e;
  while (running_) {
    if (!SDL_WaitEvent(&e)) return 1;
    const auto start = std::chrono::steady_clock::now();
    const bool wasShown = planner_.shown();
    do {
      handle(e);
    } while (running_ && SDL_PollEvent(&e));
    shell_.update();
    if (bench && app_.planner().autoRunning() != wasRunning) {
      // Auto-run started or stopped in this batch: the time and the attempts recorded so far.
      wasRunning = !wasRunning;
      std::printf("autorun-%s %.3f %llu\n", wasRunning ? "start" : "stop",
                  std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
                  static_cast<unsigned long long>(app_.history().total()));
      std::fflush(stdout);
    }
    if (bench && planner_.shown() && !wasShown) {
      std::printf("planner-open-ms %.2f\n",
                  std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      std::fflush(stdout);
    }
  }
  if (bench) std::printf("planner-frames %ld\n", planner_.frames());
  return 0;
}

}  // namespace mox::sdl
