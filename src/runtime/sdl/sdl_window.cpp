#include "runtime/sdl/sdl_window.h"

#include "runtime/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <limits>

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

// Few rectangles are cheap to redraw one by one; many (a full refresh of the bag) are cheaper as their union.
void merge(std::vector<Rect>& rects) {
  std::erase_if(rects, [](const Rect& r) { return empty(r); });
  if (rects.size() > 8) {
    Rect all;
    for (const Rect& r : rects) all = unite(all, r);
    rects.assign(1, all);
    return;
  }
  std::vector<Rect> kept;
  for (size_t i = 0; i < rects.size(); ++i) {
    bool covered = false;
    for (size_t j = 0; j < rects.size() && !covered; ++j) {
      if (i == j) continue;
      const Rect both = intersect(rects[i], rects[j]);
      // Drop a rectangle lying inside another (of two equal ones, keep the first).
      covered = both == rects[i] && (!(rects[i] == rects[j]) || j < i);
    }
    if (!covered) kept.push_back(rects[i]);
  }
  rects.swap(kept);
}

}  // namespace

MainWindow::MainWindow(App& app, Painter& painter)
    : app_(app), form_(app.mainForm()), painter_(painter), pointer_(app.mainForm()) {}

MainWindow::~MainWindow() {
  for (TimerSlot& t : timers_) {
    if (t.id) SDL_RemoveTimer(t.id);
  }
  if (canvas_) SDL_FreeSurface(canvas_);
  if (hand_) SDL_FreeCursor(hand_);
  if (arrow_) SDL_FreeCursor(arrow_);
  if (window_) SDL_DestroyWindow(window_);
}

bool MainWindow::prepare() {
  const WindowInfo& w = form_.window();
  if (!canvas_) canvas_ = SDL_CreateRGBSurfaceWithFormat(0, w.clientWidth, w.clientHeight, 32, SDL_PIXELFORMAT_RGB888);
  if (!canvas_) return false;
  form_.takeFullRedraw();
  form_.takeDirty();
  painter_.paint(canvas_, form_, &pointer_, {0, 0, w.clientWidth, w.clientHeight});
  return true;
}

bool MainWindow::create() {
  if (gTimerEvent == 0) gTimerEvent = SDL_RegisterEvents(1);
  const WindowInfo& w = form_.window();
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
  const WindowInfo& w = form_.window();
  SDL_ShowWindow(window_);
  // The window manager may have placed it elsewhere than asked: the banner follows the real position.
  int left = 0, top = 0;
  position(left, top);
  if (left != w.left || top != w.top) app_.mainWindowMoved(left, top);
  if (!canvas_ && !prepare()) return false;
  syncTimers();
  collectDamage();
  screenDamage_.push_back({0, 0, w.clientWidth, w.clientHeight});
  present();
  return SDL_GetWindowSurface(window_) != nullptr;
}

int MainWindow::run() {
  SDL_Event e;
  while (!quit_) {
    if (!SDL_WaitEvent(&e)) return 1;
    handle(e);
    while (!quit_ && SDL_PollEvent(&e)) handle(e);
    syncTimers();
    collectDamage();
    present();
  }
  return 0;
}

bool MainWindow::handle(const SDL_Event& e) {
  const WindowInfo& w = form_.window();
  switch (e.type) {
    case SDL_QUIT:
      quit_ = true;
      break;
    case SDL_WINDOWEVENT:
      switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: quit_ = true; break;
        case SDL_WINDOWEVENT_MOVED: app_.mainWindowMoved(e.window.data1, e.window.data2); break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED: damageScreen({0, 0, w.clientWidth, w.clientHeight}); break;
        case SDL_WINDOWEVENT_LEAVE: pointer_.leave(); break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
          if (pointer_.popup()) pointer_.key(Key::Escape);
          break;
        default: break;
      }
      break;
    case SDL_KEYDOWN:
      switch (e.key.keysym.sym) {
        case SDLK_ESCAPE:
          if (!pointer_.key(Key::Escape) && w.escCloses) quit_ = true;
          break;
        case SDLK_UP: pointer_.key(Key::Up); break;
        case SDLK_DOWN: pointer_.key(Key::Down); break;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: pointer_.key(Key::Enter); break;
        default: break;
      }
      break;
    case SDL_MOUSEMOTION:
      pointer_.move(e.motion.x, e.motion.y);
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) pointer_.leftDown(e.button.x, e.button.y);
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) pointer_.leftUp(e.button.x, e.button.y);
      break;
    case SDL_MOUSEWHEEL: {
      int x = 0, y = 0;
      SDL_GetMouseState(&x, &y);
      int steps = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
      pointer_.wheel(x, y, steps);
      break;
    }
    default:
      if (e.type == diskEventType()) {
        runDiskCompletion(e.user.data1);
        pointer_.refresh();
      } else if (e.type == gTimerEvent) {
        const int index = e.user.code;
        const auto generation = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(e.user.data1));
        if (index >= 0 && index < form_.size() && form_.timerGeneration(index) == generation &&
            form_.at(index).interval > 0) {
          form_.dispatch(index, Event::Tick);
          pointer_.refresh();
        }
      }
      break;
  }
  return !quit_;
}

void MainWindow::syncTimers() {
  if (timers_.empty()) {
    for (int i = 0; i < form_.size(); ++i) {
      if (form_.at(i).kind == Kind::Timer) {
        timers_.push_back({i, std::numeric_limits<uint64_t>::max(), 0});
      }
    }
  }
  for (TimerSlot& t : timers_) {
    const uint64_t generation = form_.timerGeneration(t.control);
    if (generation == t.generation) continue;
    if (t.id) SDL_RemoveTimer(t.id);
    t.id = 0;
    t.generation = generation;
    const int interval = form_.at(t.control).interval;
    if (interval > 0) {
      const uintptr_t packed = (static_cast<uintptr_t>(generation) << 16) | static_cast<uintptr_t>(t.control);
      t.id = SDL_AddTimer(static_cast<Uint32>(interval), postTick, reinterpret_cast<void*>(packed));
    }
  }
}

MainWindow::BannerLook MainWindow::bannerLook() const {
  const WindowInfo& b = app_.bannerForm().window();
  const WindowInfo& m = form_.window();
  BannerLook look;
  look.visible = b.visible && !b.layerPicture.empty();
  look.rect = {b.left - m.left, b.top - m.top, b.width, b.height};
  look.picture = b.layerPicture;
  return look;
}

void MainWindow::damageCanvas(const Rect& r) {
  if (!empty(r)) canvasDamage_.push_back(r);
}

void MainWindow::damageScreen(const Rect& r) {
  if (!empty(r)) screenDamage_.push_back(r);
}

void MainWindow::collectDamage() {
  const WindowInfo& w = form_.window();
  const Rect all{0, 0, w.clientWidth, w.clientHeight};
  if (form_.takeFullRedraw()) {
    form_.takeDirty();
    damageCanvas(all);
  } else if (form_.anyDirty()) {
    for (int i : form_.takeDirty()) damageCanvas(visibleRect(form_, i));
  }
  for (const Rect& r : pointer_.takeDamage()) damageCanvas(r);

  Form& bannerForm = app_.bannerForm();
  bannerForm.takeFullRedraw();
  bannerForm.takeDirty();
  BannerLook look = bannerLook();
  if (!(look == banner_)) {
    if (banner_.visible) damageScreen(banner_.rect);
    if (look.visible) damageScreen(look.rect);
    banner_ = std::move(look);
  }
  updateCursor();
}

void MainWindow::present() {
  const WindowInfo& w = form_.window();
  const Rect all{0, 0, w.clientWidth, w.clientHeight};
  merge(canvasDamage_);
  for (const Rect& r : canvasDamage_) {
    painter_.paint(canvas_, form_, &pointer_, r);
    screenDamage_.push_back(r);
  }
  canvasDamage_.clear();
  merge(screenDamage_);
  if (screenDamage_.empty()) return;
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) {
    screenDamage_.clear();
    return;
  }
  std::vector<SDL_Rect> rects;
  for (const Rect& damaged : screenDamage_) {
    const Rect r = intersect(damaged, all);
    if (empty(r)) continue;
    SDL_Rect s = toSdl(r);
    SDL_Rect d = s;
    SDL_BlitSurface(canvas_, &s, screen, &d);
    if (const auto& popup = pointer_.popup()) painter_.paintPopup(screen, form_, *popup, r);
    if (banner_.visible) painter_.paintLayer(screen, banner_.picture, banner_.rect.x, banner_.rect.y, r);
    rects.push_back(s);
  }
  screenDamage_.clear();
  if (!rects.empty()) SDL_UpdateWindowSurfaceRects(window_, rects.data(), static_cast<int>(rects.size()));
}

void MainWindow::updateCursor() {
  const bool hand = pointer_.handCursor();
  if (hand == handShown_) return;
  handShown_ = hand;
  SDL_SetCursor(hand ? hand_ : arrow_);
}

}  // namespace mox::sdl
