#include "desktop/win32/win32_window.h"

#include <windowsx.h>

#include <algorithm>
#include <chrono>

#include "desktop/win32/first_frame.h"
#include "desktop/win32/win32_platform.h"
#include "runtime/wide.h"

namespace mox::win32 {

namespace {
constexpr wchar_t kMainClass[] = L"moxsim.main";
constexpr wchar_t kLayerClass[] = L"moxsim.banner";
constexpr int kIconResource = 1;
constexpr UINT kGetDpiScaledSize = 0x02E4;  // WM_GETDPISCALEDSIZE, Windows 10 1703 and later

RECT toRect(const Rect& r) { return {r.x, r.y, r.x + r.w, r.y + r.h}; }

// Text sizes for a display list whose text is never drawn.
class NoMetrics : public paint::TextMetrics {
 public:
  int lineHeight(const Font& font) override { return font.height; }
  int width(const Font&, std::string_view) override { return 0; }
};

// The keys the program answers to.
std::optional<paint::Key> keyOf(WPARAM key) {
  switch (key) {
    case VK_ESCAPE: return paint::Key::Escape;
    case VK_UP: return paint::Key::Up;
    case VK_DOWN: return paint::Key::Down;
    case VK_RETURN: return paint::Key::Enter;
    default: return std::nullopt;
  }
}

}  // namespace

std::optional<paint::InputEvent> pointerEvent(UINT message, LPARAM lParam, const paint::Scale& scale) {
  const int x = scale.toLayout(GET_X_LPARAM(lParam)), y = scale.toLayout(GET_Y_LPARAM(lParam));
  switch (message) {
    case WM_MOUSEMOVE: return paint::PointerMove{x, y};
    case WM_LBUTTONDOWN: return paint::PointerDown{x, y, paint::Button::Left};
    case WM_RBUTTONDOWN: return paint::PointerDown{x, y, paint::Button::Right};
    case WM_MBUTTONDOWN: return paint::PointerDown{x, y, paint::Button::Middle};
    case WM_LBUTTONUP: return paint::PointerUp{x, y, paint::Button::Left};
    case WM_RBUTTONUP: return paint::PointerUp{x, y, paint::Button::Right};
    case WM_MBUTTONUP: return paint::PointerUp{x, y, paint::Button::Middle};
    default: return std::nullopt;
  }
}

uint64_t ticksOwed(uint64_t elapsedMs, int intervalMs, uint64_t done) {
  if (intervalMs <= 0) return 0;
  const uint64_t due = elapsedMs / static_cast<uint64_t>(intervalMs);
  return due > done ? std::min(due - done, kMaxCatchUp) : 0;
}

uint64_t nowMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

// ---- the layered banner window ----

LayeredWindow::~LayeredWindow() {
  if (window_) DestroyWindow(window_);
}

bool LayeredWindow::create(HWND owner) {
  if (window_) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kLayerClass;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassExW(&wc);
  // Owned by the main window, so it stays above it; clicks pass through it to whatever lies beneath; it never
  // takes the focus or a place in the task bar.
  window_ = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kLayerClass, L"",
                            WS_POPUP, 0, 0, 1, 1, owner, nullptr, wc.hInstance, nullptr);
  return window_ != nullptr;
}

void LayeredWindow::show(const std::optional<paint::Overlay>& overlay, POINT origin, const paint::Scale& scale) {
  if (overlay == shown_ && origin.x == origin_.x && origin.y == origin_.y && scale == scale_) return;
  const bool wasShown = shown_.has_value();
  if (scale != scale_) picture_.clear();
  shown_ = overlay;
  origin_ = origin;
  scale_ = scale;
  if (!overlay) {
    if (wasShown && window_) ShowWindow(window_, SW_HIDE);
    return;
  }
  // Made when the first banner shows, not at start-up: creating a window is the slowest step before the first
  // frame.
  if (!create(owner_)) return;
  // The picture at its own size, from its largest drawing.
  const paint::PictureSource source = paint::pictureSource(overlay->picture, scale);
  const Image* full = pictures_.get(source.asset);
  if (!full) return;
  const Rect place =
      scale.rect({overlay->rect.x, overlay->rect.y, full->width / source.density, full->height / source.density});
  POINT at{origin.x + place.x, origin.y + place.y};
  if (overlay->picture != picture_) {
    const Image* image = pictures_.sized(source.asset, std::nullopt, place.w, place.h);
    if (!image) return;
    Canvas layer(image->width, image->height);
    if (!layer.ok()) return;
    for (int y = 0; y < image->height; ++y) {
      std::copy_n(image->pixels.data() + static_cast<size_t>(y) * image->width, image->width, layer.row(y));
    }
    SIZE size{image->width, image->height};
    POINT zero{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    HDC screen = GetDC(nullptr);
    UpdateLayeredWindow(window_, screen, &at, &size, layer.dc(), &zero, 0, &blend, ULW_ALPHA);
    ReleaseDC(nullptr, screen);
    picture_ = overlay->picture;
  } else {
    SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (!wasShown) ShowWindow(window_, SW_SHOWNOACTIVATE);
}

// ---- a window ----

Window::Window(Desktop& desktop, paint::View& view, Painter& painter, Pictures& pictures)
    : desktop_(desktop), painter_(painter), pictures_(pictures), view_(view) {}

Window::~Window() {
  if (window_) {
    for (auto& [control, clock] : clocks_) KillTimer(window_, clock.id);
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void Window::announcePictures() {
  NoMetrics none;
  paint::DisplayList list;
  paint::paintForm(list, view_.form(), paint::PointerLook{}, view_.client(), none);
  pictures_.announce(list, scale_);
}

paint::Scale Window::scaleOn(UINT dpi, HMONITOR monitor) {
  const WindowInfo& w = view_.form().window();
  return windowScale(forcedScale(), dpi, {w.clientWidth, w.clientHeight}, workArea(monitor));
}

void Window::chooseScale(HMONITOR monitor) {
  dpi_ = monitor ? monitorDpi(monitor) : systemDpi();
  scale_ = scaleOn(dpi_, monitor);
  scaleChosen_ = true;
}

bool Window::prepare() {
  const Rect all = view_.client();
  view_.form().takeFullRedraw();
  view_.form().takeDirty();
  const paint::DisplayList list = view_.paintForm(all);
  const Rect screen = scale_.rect(all);
  if (!canvas_) canvas_ = std::make_unique<Canvas>(screen.w, screen.h);
  if (!frame_) frame_ = std::make_unique<Canvas>(screen.w, screen.h);
  if (!canvas_->ok() || !frame_->ok()) return false;
  painter_.execute(*canvas_, list, scale_);
  return true;
}

SIZE Window::outerSize(const paint::Scale& scale, UINT dpi) const {
  const Rect client = scale.rect(view_.client());
  const SIZE frame = frameSize(dpi);
  return {client.w + frame.cx, client.h + frame.cy};
}

void Window::followDpi(UINT dpi, const RECT* suggested) {
  dpi_ = dpi;
  HMONITOR monitor = suggested ? MonitorFromRect(suggested, MONITOR_DEFAULTTONEAREST)
                               : MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST);
  const RECT work = workArea(monitor);
  const paint::Scale scale = scaleOn(dpi, monitor);
  const bool redraw = scale != scale_;
  scale_ = scale;
  const SIZE outer = outerSize(scale_, dpi_);
  RECT now{};
  GetWindowRect(window_, &now);
  // The system's place while the window is dragged between monitors; otherwise wholly on the work area.
  const POINT at = suggested ? POINT{suggested->left, suggested->top} : keepInside({now.left, now.top}, outer, work);
  SetWindowPos(window_, nullptr, at.x, at.y, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  if (redraw && canvas_) {
    canvas_.reset();
    frame_.reset();
    prepare();
    view_.exposeAll();
  }
}

bool Window::create(HWND owner) {
  if (window_) return true;
  const WindowInfo& w = view_.form().window();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  static const bool registered = [instance] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = kMainClass;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = nullptr;  // chosen on every WM_SETCURSOR
    return RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
  arrow_ = LoadCursorW(nullptr, IDC_ARROW);
  hand_ = LoadCursorW(nullptr, IDC_HAND);

  // Not resizable: the layout is drawn at its own size times the factor.
  HMONITOR monitor =
      owner ? MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST) : MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY);
  if (!scaleChosen_) chooseScale(monitor);
  const SIZE outer = outerSize(scale_, dpi_);
  const RECT work = workArea(monitor);
  const POINT at = centred(outer, work);
  window_ = CreateWindowExW(0, kMainClass, widen(w.title).c_str(), kWindowStyle, at.x, at.y, outer.cx, outer.cy, owner,
                            nullptr, instance, this);
  if (!window_) return false;
  for (auto& [control, clock] : clocks_) {
    clock.start = nowMs();
    SetTimer(window_, clock.id, static_cast<UINT>(clock.interval), nullptr);
  }
  return true;
}

void Window::moveToMonitorOf(HWND other) {
  HMONITOR monitor = MonitorFromWindow(other, MONITOR_DEFAULTTONEAREST);
  if (!window_ || monitor == MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST)) return;
  // Centred there at the size for that monitor's density; show() then follows the density if it differs.
  const SIZE outer = outerSize(scaleOn(monitorDpi(monitor), monitor), monitorDpi(monitor));
  const RECT work = workArea(monitor);
  const POINT at = centred(outer, work);
  SetWindowPos(window_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

POINT Window::clientOrigin() const {
  POINT p{0, 0};
  ClientToScreen(window_, &p);
  return p;
}

bool Window::show() {
  if (!window_ || (!canvas_ && !prepare())) return false;
  // The window may have opened on a monitor of another density than the one it was drawn for.
  if (const UINT dpi = windowDpi(window_); dpi != dpi_) followDpi(dpi, nullptr);
  ShowWindow(window_, SW_SHOWNORMAL);
  SetForegroundWindow(window_);
  shown_ = true;
  view_.exposeAll();
  return true;
}

void Window::hide() {
  if (window_) ShowWindow(window_, SW_HIDE);
  shown_ = false;
}

LRESULT CALLBACK Window::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message == WM_NCDESTROY) {
    // Owned windows go with their owner: nothing may use this handle afterwards.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    self->clocks_.clear();
    self->shown_ = false;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return self ? self->handle(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

void Window::paintFrame(bool isMain) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  const RECT& r = ps.rcPaint;
  if (frame_) BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, frame_->dc(), r.left, r.top, SRCCOPY);
  EndPaint(window_, &ps);
  if (!painted_) {
    painted_ = true;
    if (isMain) desktop_.firstPaint();
  }
}

void Window::pointer(UINT message, WPARAM wParam, LPARAM lParam) {
  // A press keeps the pointer until the last button is released, even outside the window.
  if (message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN || message == WM_MBUTTONDOWN)
    SetCapture(window_);
  else if (message != WM_MOUSEMOVE && !(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)))
    ReleaseCapture();
  if (auto event = pointerEvent(message, lParam, scale_)) desktop_.feed(*this, *event);
}

void Window::wheel(WPARAM wParam, LPARAM lParam) {
  POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};  // screen coordinates for the wheel
  ScreenToClient(window_, &p);
  wheelRest_ += GET_WHEEL_DELTA_WPARAM(wParam);
  const int steps = wheelRest_ / WHEEL_DELTA;
  wheelRest_ -= steps * WHEEL_DELTA;
  if (steps != 0) desktop_.feed(*this, paint::Wheel{scale_.toLayout(p.x), scale_.toLayout(p.y), steps});
}

LRESULT Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  const bool isMain = this == &desktop_.main();
  switch (message) {
    case WM_PAINT: paintFrame(isMain); return 0;
    case WM_ERASEBKGND: return 1;  // every pixel comes from the frame
    case WM_MOVE:
      // The client area's new screen position: the banner keeps its place over it.
      if (isMain) desktop_.mainMoved(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        SetCursor(cursor_ == paint::Cursor::Hand ? hand_ : arrow_);
        return TRUE;
      }
      break;
    case kGetDpiScaledSize: {
      // Asked while the window is dragged towards a monitor of another density: the size it will take there
      // (not simply in proportion, when the factor must come down to fit), so that the place the system then
      // suggests holds it.
      const UINT dpi = static_cast<UINT>(wParam);
      *reinterpret_cast<SIZE*>(lParam) =
          outerSize(scaleOn(dpi, MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST)), dpi);
      return TRUE;
    }
    case WM_DPICHANGED:
      followDpi(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      desktop_.updateAll();
      return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: pointer(message, wParam, lParam); return 0;
    case WM_MOUSELEAVE:
      tracking_ = false;
      desktop_.feed(*this, paint::PointerLeave{});
      return 0;
    case WM_MOUSEWHEEL: wheel(wParam, lParam); return 0;
    case WM_KEYDOWN:
      if (const std::optional<paint::Key> key = keyOf(wParam)) {
        desktop_.feed(*this, paint::KeyDown{*key});
        return 0;
      }
      break;
    case WM_KILLFOCUS: desktop_.feed(*this, paint::FocusLost{}); return 0;
    case WM_TIMER: tick(wParam); return 0;
    case kDiskMessage: desktop_.diskDone(lParam); return 0;
    case kRefinedMessage: desktop_.picturesRefined(); return 0;
    case WM_CLOSE: desktop_.feed(*this, paint::CloseRequest{}); return 0;
    case WM_DESTROY:
      for (auto& [control, clock] : clocks_) KillTimer(window_, clock.id);
      clocks_.clear();
      if (isMain) PostQuitMessage(0);
      return 0;
    default: break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void Window::tick(UINT_PTR id) {
  for (auto& [control, clock] : clocks_) {
    if (clock.id != id) continue;
    const uint64_t elapsed = nowMs() - clock.start;
    const uint64_t owed = ticksOwed(elapsed, clock.interval, clock.done);
    // Ticks beyond the catch-up limit are given up, not owed.
    clock.done = std::max(clock.done, elapsed / static_cast<uint64_t>(clock.interval));
    desktop_.tick(*this, paint::TimerTick{control, clock.generation}, owed);
    return;
  }
}

void Window::timer(const paint::TimerChange& t) {
  if (auto it = clocks_.find(t.control); it != clocks_.end()) {
    if (window_) KillTimer(window_, it->second.id);
    clocks_.erase(it);
  }
  if (t.interval <= 0) return;
  Clock clock;
  clock.id = static_cast<UINT_PTR>(t.control) + 1;
  clock.interval = t.interval;
  clock.generation = t.generation;
  clock.start = nowMs();
  if (!window_ || SetTimer(window_, clock.id, static_cast<UINT>(t.interval), nullptr)) clocks_[t.control] = clock;
}

void Window::update() {
  if (!window_) return;
  view_.collect();
  const paint::Cursor cursor = view_.pointer().cursor();
  if (cursor != cursor_) {
    cursor_ = cursor;
    // Shown at once when the pointer is over the client area, not at its next move.
    POINT p;
    RECT client;
    if (GetCursorPos(&p) && WindowFromPoint(p) == window_ && ScreenToClient(window_, &p) &&
        GetClientRect(window_, &client) && PtInRect(&client, p)) {
      SetCursor(cursor_ == paint::Cursor::Hand ? hand_ : arrow_);
    }
  }
  // The leave is asked for only while it would change something: Wine polls the pointer for as long as it is
  // asked (a few wakeups a second at rest). Asked for with the pointer already outside, it comes at once.
  const bool leave = shown_ && view_.pointer().leaveMatters();
  if (leave != tracking_) {
    TRACKMOUSEEVENT t{sizeof t, static_cast<DWORD>(leave ? TME_LEAVE : TME_LEAVE | TME_CANCEL), window_, 0};
    if (TrackMouseEvent(&t)) tracking_ = leave;
  }
  if (shown_) present();
}

void Window::present() {
  for (const Rect& r : view_.takeFormDamage()) painter_.execute(*canvas_, view_.paintForm(r), scale_);
  for (const Rect& r : view_.takeScreenDamage()) {
    frame_->copyFrom(*canvas_, scale_.rect(r));
    painter_.execute(*frame_, view_.paintTop(r), scale_);
    const RECT rect = toRect(scale_.rect(r));
    InvalidateRect(window_, &rect, FALSE);
  }
}

// ---- the program's windows ----

Desktop::Desktop(App& app, Painter& painter, Pictures& pictures)
    : app_(app),
      pictures_(pictures),
      shell_(app, painter, *this),
      main_(*this, shell_.main(), painter, pictures),
      planner_(*this, shell_.planner(), painter, pictures),
      banner_(pictures) {}

bool Desktop::showMain() {
  if (!main_.show()) return false;
  banner_.setOwner(main_.handle());
  return true;
}

int Desktop::run(bool stopAfterFirstFrame) {
  UpdateWindow(main_.handle());  // the first frame painted now
  stopAfterFirstFrame_ = stopAfterFirstFrame;
  if (stopAfterFirstFrame_ && main_.painted()) return 0;
  // The planner window is made and drawn once, hidden, right after the first frame, so its fonts and pictures
  // are ready when the user opens it.
  if (!stopAfterFirstFrame_ && planner_.create()) planner_.prepare();
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got < 0) return 1;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Desktop::feed(Window& window, const paint::InputEvent& event) {
  shell_.handle(slotOf(window), event);
  updateAll();
}

void Desktop::tick(Window& window, const paint::TimerTick& tick, uint64_t count) {
  // A tick may stop or restart this very timer: the view then drops the rest.
  for (uint64_t i = 0; i < count && !shell_.quitting(); ++i) shell_.handle(slotOf(window), tick);
  updateAll();
}

void Desktop::mainMoved(int left, int top) {
  app_.mainWindowMoved(left, top);
  updateAll();
}

void Desktop::firstPaint() {
  reportFirstFrame();
  if (stopAfterFirstFrame_)
    PostQuitMessage(0);
  else
    pictures_.startRefining();
}

void Desktop::refinePictures() {
  pictures_.refineLater([this] { PostMessageW(main_.handle(), kRefinedMessage, 0, 0); });
}

void Desktop::picturesRefined() {
  // Each picture replaces its quick one as it comes; the windows show them all at once, when the last is in.
  if (shell_.quitting() || !pictures_.adoptRefined() || !pictures_.refined()) return;
  shell_.redrawAll();
  banner_.forget();
  updateAll();
}

void Desktop::diskDone(LPARAM completion) {
  runCompletion(completion);
  shell_.refresh();
  updateAll();
}

void Desktop::updateAll() {
  if (main_.handle()) shell_.update();
}

bool Desktop::showPlanner() {
  if (!planner_.create()) return false;
  planner_.moveToMonitorOf(main_.handle());
  return planner_.show();
}

void Desktop::hidePlanner() {
  planner_.hide();
  // The keyboard goes back to the main window.
  SetForegroundWindow(main_.handle());
}

void Desktop::timer(int slot, const paint::TimerChange& change) {
  (slot == kPlannerSlot ? planner_ : main_).timer(change);
}

void Desktop::present() {
  main_.update();
  banner_.show(shell_.banner(), main_.clientOrigin(), main_.scale());
  planner_.update();
}

void Desktop::quit() { DestroyWindow(main_.handle()); }

}  // namespace mox::win32
