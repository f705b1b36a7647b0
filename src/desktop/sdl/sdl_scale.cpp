#include "desktop/sdl/sdl_scale.h"

#include <SDL.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace mox::sdl {

namespace {

std::optional<std::string_view> env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return std::nullopt;
  return std::string_view(v);
}

}  // namespace

// The resource database the X server holds for the session (what xrdb loads), or "" without one.
static std::string xResources() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return {};
  Display* x = XOpenDisplay(display);
  if (!x) return {};
  std::string out;
  if (const char* text = XResourceManagerString(x)) out = text;
  XCloseDisplay(x);
  return out;
}

namespace {

XErrorHandler gPreviousHandler = nullptr;

// SDL wakes its waiting loop by sending an event to one of the program's windows over a second connection; at the
// end, such an event may reach the server after that window is gone. That one error is harmless; any other goes
// on to the handler before (which ends the program, as Xlib's default does).
int tolerantHandler(Display* display, XErrorEvent* error) {
  constexpr unsigned char kSendEvent = 25;
  if (error->error_code == BadWindow && error->request_code == kSendEvent) return 0;
  return gPreviousHandler ? gPreviousHandler(display, error) : 0;
}

}  // namespace

void tolerateLostWakeups() {
  if (gPreviousHandler) return;
  gPreviousHandler = XSetErrorHandler(tolerantHandler);
}

std::optional<double> xftDpi(std::string_view resources) {
  while (!resources.empty()) {
    const size_t end = resources.find('\n');
    std::string_view line = resources.substr(0, end);
    resources = end == std::string_view::npos ? std::string_view{} : resources.substr(end + 1);
    constexpr std::string_view kName = "Xft.dpi";
    if (line.substr(0, kName.size()) != kName) continue;
    line.remove_prefix(kName.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() != ':') continue;
    line.remove_prefix(1);
    if (auto v = paint::parseScale(line)) return v;
  }
  return std::nullopt;
}

std::pair<paint::Scale, bool> requestedScale() {
  paint::ScaleSources sources;
  sources.forced = env("MOXSIM_SCALE");
  if (sources.forced && !paint::parseScale(*sources.forced)) {
    std::fprintf(stderr, "moxsim: MOXSIM_SCALE=%.*s is not a scale factor (such as 1.5); using the desktop's\n",
                 static_cast<int>(sources.forced->size()), sources.forced->data());
  }
  sources.toolkit = env("GDK_SCALE");
  std::string resources;
  const bool needResources = !(sources.forced && paint::parseScale(*sources.forced)) &&
                             !(sources.toolkit && paint::parseScale(*sources.toolkit));
  if (needResources) {
    resources = xResources();
    sources.dpi = xftDpi(resources);
  }
  return paint::desktopScale(sources);
}

paint::Scale fittedScale(std::pair<paint::Scale, bool> requested, int clientWidth, int clientHeight, int display) {
  const auto [wanted, forced] = requested;
  if (forced || wanted.identity()) return wanted;
  SDL_Rect usable{};
  if (SDL_GetDisplayUsableBounds(display, &usable) != 0 || usable.w <= 0 || usable.h <= 0) return wanted;
  // The frame is the window manager's and unknown before the window is mapped: allow for a title bar and thin
  // sides as most desktops draw them, growing with the factor.
  const auto frame = [](const paint::Scale& s) { return std::make_pair(s.edge(4), s.edge(32)); };
  return paint::fitScale(wanted, clientWidth, clientHeight, usable.w, usable.h, frame);
}

std::optional<double> drawableRatio(SDL_Window* window) {
  int w = 0, h = 0, pw = 0, ph = 0;
  SDL_GetWindowSize(window, &w, &h);
  SDL_GetWindowSizeInPixels(window, &pw, &ph);
  if (w <= 0 || pw <= 0) return std::nullopt;
  return static_cast<double>(pw) / w;
}

std::optional<double> outputRatio() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::string_view(driver) != "wayland") return std::nullopt;
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 64, 64, SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI);
  if (!probe) return std::nullopt;
  const auto ratio = drawableRatio(probe);
  SDL_DestroyWindow(probe);
  return ratio;
}

}  // namespace mox::sdl
