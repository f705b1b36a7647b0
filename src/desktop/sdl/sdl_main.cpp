// moxsim: the desktop program. Start-up in the order the program's frame asks for: the program's directory made
// current, the forms built, the creation handler and then the moved and resized handlers run before the window
// is first shown; then the event loop until the close box or Esc, and exit code 0.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "desktop/sdl/sdl_audio.h"
#include "desktop/sdl/sdl_draw.h"
#include "desktop/sdl/sdl_fonts.h"
#include "desktop/sdl/sdl_platform.h"
#include "desktop/sdl/sdl_scale.h"
#include "desktop/sdl/sdl_window.h"
#include "ui/app.h"
#include "ui/shell.h"

namespace {

bool set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// For bench/run.sh: when MOXSIM_BENCH_T0 holds the launcher's steady-clock time in nanoseconds, the program
// reports how long it took to present its first frame and ends there.
void reportFirstFrame() {
  const char* t0 = std::getenv("MOXSIM_BENCH_T0");
  if (!t0 || !*t0) return;
  const long long start = std::atoll(t0);
  const long long now =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
  std::printf("first-frame-ms %.2f\n", static_cast<double>(now - start) / 1e6);
  std::fflush(stdout);
}

// The program takes keys, never typed text, so the compose sequences of the X input method SDL opens are of no
// use to it; yet Xlib reads and parses the locale's whole Compose table when the method opens (half a megabyte
// for a UTF-8 locale: most of the work of connecting to the display). An empty table is named while the display
// is connected, and the player's own setting is put back before anything that could start another program runs.
class EmptyComposeTable {
 public:
  EmptyComposeTable() {
    if (const char* v = std::getenv(kName)) saved_ = v;
    ::setenv(kName, "/dev/null", 1);
  }
  ~EmptyComposeTable() { restore(); }
  EmptyComposeTable(const EmptyComposeTable&) = delete;
  EmptyComposeTable& operator=(const EmptyComposeTable&) = delete;

  void restore() {
    if (restored_) return;
    restored_ = true;
    if (saved_)
      ::setenv(kName, saved_->c_str(), 1);
    else
      ::unsetenv(kName);
  }

 private:
  static constexpr const char* kName = "XCOMPOSEFILE";
  std::optional<std::string> saved_;
  bool restored_ = false;
};

// Chooses SDL's video driver and its hints. Without a display SDL would quietly pick an offscreen driver and the
// user would see nothing at all: returns false, having said so, when there is none.
bool chooseVideo() {
  if (!set("SDL_VIDEODRIVER")) {
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY")) {
      std::fprintf(stderr,
                   "moxsim needs a graphical display: no X11 (DISPLAY) or Wayland (WAYLAND_DISPLAY) session was "
                   "found.\nStart it from a desktop session, or set SDL_VIDEODRIVER to choose a video driver.\n");
      return false;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, set("DISPLAY") ? "x11" : "wayland");
  }
  // Software drawing into the window's own surface: no OpenGL stack to load, a smaller and faster start.
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A desktop program lets the compositor and the screensaver do their work.
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  return true;
}

// The program from the making of its parts to the end of its loop; returns the exit code.
int runDesktop(const std::filesystem::path& programDir) {
  mox::sdl::SdlAudio audio;
  mox::sdl::SdlPlatform platform(mox::sdl::chooseDataDir(programDir, std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
                                 audio);
  mox::App app(platform);
  mox::sdl::Pictures pictures;
  mox::sdl::FontCache fonts;
  mox::sdl::Painter painter(pictures, fonts);
  mox::sdl::Desktop desktop(app, painter);
  // The forms, then the creation, moved and resized handlers: all before the window is first shown.
  desktop.shell().start();
  desktop.refinePictures();
  mox::sdl::Window& window = desktop.main();
  const auto requested = mox::sdl::requestedScale();
  painter.setScale(requested.first);
  mox::paint::Scale fitted = requested.first;
  EmptyComposeTable noCompose;  // set before the thread starts: the environment is not for sharing
  // Opening the faces and drawing the first frame (its pictures are carried decoded) take about as long as
  // connecting to the display and creating the window: on two cores the two overlap. The faces of every
  // control first, all at once: measured, that is sooner at 2x than opening them as the drawing meets them.
  const auto prepare = [&] {
    painter.warmFonts(app.mainForm());
    return window.prepare();
  };
  // Wayland's own scale where nothing else set one; a factor too large for the screen comes down to one that
  // fits. Either is rare, and the canvas is then drawn again.
  const auto connect = [&] {
    using Display = mox::WindowStartUp::Display;
    if (set("DISPLAY")) mox::sdl::tolerateLostWakeups();
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) return Display::None;
    auto wanted = requested;
    if (!wanted.second && wanted.first.identity()) {
      if (const auto ratio = mox::sdl::outputRatio()) wanted.first = mox::paint::Scale(*ratio);
    }
    const mox::WindowInfo& layout = app.mainForm().window();
    fitted = mox::sdl::fittedScale(wanted, layout.clientWidth, layout.clientHeight);
    return fitted != requested.first ? Display::Rescaled : Display::Up;
  };
  const mox::Shell::Opened opened = desktop.shell().open({
      .prepare = prepare,
      .connect = connect,
      .rescale = [&] { painter.setScale(fitted); },
      .create = [&] { return window.create(); },
      .ready = [&] { noCompose.restore(); },
      .show =
          [&] {
            platform.setWindow(window.handle());
            return window.show();
          },
      .position = [&] { return window.position(); },
  });
  if (opened == mox::Shell::Opened::NoDisplay) {
    std::fprintf(stderr, "moxsim: cannot open the display: %s\n", SDL_GetError());
    return 2;
  }
  if (std::getenv("MOXSIM_BENCH_T0")) {
    reportFirstFrame();
    return 0;
  }
  audio.start();
  return desktop.run();
}

}  // namespace

int main() {
  // Pictures and canvases are large and come and go (the quick pictures of the first frame give way to careful
  // ones): each gets pages of its own that go back to the system when it is freed, rather than a heap that only
  // grows.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  const std::filesystem::path programDir = mox::sdl::programDirectory();
  // The save file is opened by its bare name: the program's own directory is the current one.
  if (::chdir(programDir.c_str()) != 0) std::perror("moxsim: cannot enter the program's directory");

  if (!chooseVideo()) return 2;
  if (TTF_Init() != 0) std::fprintf(stderr, "moxsim: no text drawing: %s\n", TTF_GetError());
  const int exitCode = runDesktop(programDir);
  TTF_Quit();
  SDL_Quit();
  return exitCode;
}
