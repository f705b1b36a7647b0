#include "desktop/sdl/sdl_window.h"

#include "desktop/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_image.h>

#include <vector>

#include "assets/assets.h"

namespace mox::sdl {

namespace {

Uint32 gTimerEvent = 0;

// Runs on SDL's timer thread: it only posts an event naming the timer control and the start it belongs to, so a
// tick from a timer the logic has since stopped or restarted is recognised and dropped on the interface thread.
Uint32 postTick(Uint32 interval, void* param) {
  const auto packed = reinterpret_cast<uintptr_t>(param);
  SDL_Event e{};
  e.type = gTimerEvent;
  e.user.code = static_cast<Sint32>(packed & 0xFFFF);
  e.user.data1 = reinterpret_cast<void*>(packed >> 16);
  SDL_PushEvent(&e);
  return interval;
}

SDL_Rect toSdl(const Rect& r) { return {r.x, r.y, r.w, r.h}; }

}  // namespace

MainWindow::MainWindow(App& app, Painter& painter)
    : app_(app), painter_(painter), view_(app.mainForm(), painter) {}

MainWindow::~MainWindow() {
  for (auto& [control, id] : timers_) SDL_RemoveTimer(id);
  if (canvas_) SDL_FreeSurface(canvas_);
  if (hand_) SDL_FreeCursor(hand_);
  if (arrow_) SDL_FreeCursor(arrow_);
  if (window_) SDL_DestroyWindow(window_);
}

bool MainWindow::prepare() {
  const Rect all = view_.client();
  if (!canvas_) canvas_ = SDL_CreateRGBSurfaceWithFormat(0, all.w, all.h, 32, SDL_PIXELFORMAT_RGB888);
  if (!canvas_) return false;
  view_.form().takeFullRedraw();
  view_.form().takeDirty();
  painter_.execute(canvas_, view_.paintForm(all));
  return true;
}

bool MainWindow::create() {
  if (gTimerEvent == 0) gTimerEvent = SDL_RegisterEvents(1);
  const WindowInfo& w = view_.form().window();
  // Not resizable: the layout is drawn at its own size, and the window manager keeps the frame fixed.
  window_ = SDL_CreateWindow(w.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w.clientWidth,
                             w.clientHeight, SDL_WINDOW_HIDDEN);
  if (!window_) return false;
  if (const assets::Asset* icon = assets::find(w.icon)) {
    SDL_RWops* rw = SDL_RWFromConstMem(icon->bytes.data(), static_cast<int>(icon->bytes.size()));
    if (SDL_Surface* s = rw ? IMG_LoadICO_RW(rw) : nullptr) {
      SDL_SetWindowIcon(window_, s);
      SDL_FreeSurface(s);
    }
    if (rw) SDL_RWclose(rw);
  }
  arrow_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
  hand_ = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_HAND);
  return true;
}

void MainWindow::position(int& left, int& top) const { SDL_GetWindowPosition(window_, &left, &top); }

bool MainWindow::show() {
  const WindowInfo& w = view_.form().window();
  SDL_ShowWindow(window_);
  // The window manager may have placed it elsewhere than asked: the banner follows the real position.
  int left = 0, top = 0;
  position(left, top);
  if (left != w.left || top != w.top) app_.mainWindowMoved(left, top);
  if (!canvas_ && !prepare()) return false;
  syncTimers();
  collect();
  view_.exposeAll();
  present();
  return SDL_GetWindowSurface(window_) != nullptr;
}

int MainWindow::run() {
  SDL_Event e;
  while (!quit_) {
    if (!SDL_WaitEvent(&e)) return 1;
    do {
      if (auto event = translate(e)) quit_ = view_.handle(*event).close || quit_;
    } while (!quit_ && SDL_PollEvent(&e));
    syncTimers();
    collect();
    present();
  }
  return 0;
}

std::optional<paint::InputEvent> MainWindow::translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      return paint::CloseRequest{};
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: return paint::CloseRequest{};
        case SDL_WINDOWEVENT_MOVED: app_.mainWindowMoved(e.window.data1, e.window.data2); break;
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
    case SDL_MOUSEMOTION:
      return paint::PointerMove{e.motion.x, e.motion.y};
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      const paint::Button b = e.button.button == SDL_BUTTON_LEFT    ? paint::Button::Left
                              : e.button.button == SDL_BUTTON_RIGHT ? paint::Button::Right
                                                                    : paint::Button::Middle;
      if (e.type == SDL_MOUSEBUTTONDOWN) return paint::PointerDown{e.button.x, e.button.y, b};
      return paint::PointerUp{e.button.x, e.button.y, b};
    }
    case SDL_MOUSEWHEEL: {
      int x = 0, y = 0;
      SDL_GetMouseState(&x, &y);
      return paint::Wheel{x, y, e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y};
    }
    default:
      if (e.type == diskEventType()) {
        runDiskCompletion(e.user.data1);
        return paint::Refresh{};
      }
      if (e.type == gTimerEvent) {
        return paint::TimerTick{e.user.code, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.user.data1))};
      }
      return std::nullopt;
  }
}

void MainWindow::syncTimers() {
  for (const paint::TimerChange& t : view_.takeTimerChanges()) {
    if (auto it = timers_.find(t.control); it != timers_.end()) {
      SDL_RemoveTimer(it->second);
      timers_.erase(it);
    }
    if (t.interval <= 0) continue;
    const uintptr_t packed = (static_cast<uintptr_t>(t.generation) << 16) | static_cast<uintptr_t>(t.control);
    if (SDL_TimerID id = SDL_AddTimer(static_cast<Uint32>(t.interval), postTick, reinterpret_cast<void*>(packed))) {
      timers_[t.control] = id;
    }
  }
}

void MainWindow::collect() {
  // The banner's own form is never drawn as a window here: its picture is composed over this one.
  Form& banner = app_.bannerForm();
  banner.takeFullRedraw();
  banner.takeDirty();
  view_.collect(paint::overlayOf(banner, view_.form()));
  const paint::Cursor cursor = view_.pointer().cursor();
  if (cursor != cursor_) {
    cursor_ = cursor;
    SDL_SetCursor(cursor == paint::Cursor::Hand ? hand_ : arrow_);
  }
}

void MainWindow::present() {
  for (const Rect& r : view_.takeFormDamage()) painter_.execute(canvas_, view_.paintForm(r));
  const std::vector<Rect> damage = view_.takeScreenDamage();
  if (damage.empty()) return;
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) return;
  std::vector<SDL_Rect> rects;
  for (const Rect& r : damage) {
    SDL_Rect s = toSdl(r);
    SDL_Rect d = s;
    SDL_BlitSurface(canvas_, &s, screen, &d);
    painter_.execute(screen, view_.paintTop(r));
    rects.push_back(s);
  }
  SDL_UpdateWindowSurfaceRects(window_, rects.data(), static_cast<int>(rects.size()));
}

}  // namespace mox::sdl
