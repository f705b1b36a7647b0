// The floor for the desktop program's benchmarks: the least an SDL2 program can do to show a window of the
// same client size, with the same video settings, and present one frame. moxsim's start-up time, memory and
// idle CPU are read side by side with this program's.
#include <SDL.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int, char**) {
  SDL_SetHint(SDL_HINT_RENDER_DRIVER, "software");
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::fprintf(stderr, "floor: %s\n", SDL_GetError());
    return 1;
  }
  // At a scale factor (MOXSIM_SCALE, as moxsim takes it), a window of moxsim's size on the screen.
  double scale = 1;
  if (const char* s = std::getenv("MOXSIM_SCALE")) scale = std::atof(s) > 0 ? std::atof(s) : 1;
  SDL_Window* w =
      SDL_CreateWindow("floor", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                       static_cast<int>(std::lround(906 * scale)), static_cast<int>(std::lround(682 * scale)), 0);
  SDL_Surface* s = w ? SDL_GetWindowSurface(w) : nullptr;
  if (!s) {
    std::fprintf(stderr, "floor: %s\n", SDL_GetError());
    return 1;
  }
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0x27, 0x15, 0x0a));
  SDL_UpdateWindowSurface(w);
  if (const char* t0 = std::getenv("MOXSIM_BENCH_T0")) {
    const long long now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    std::printf("first-frame-ms %.2f\n", static_cast<double>(now - std::atoll(t0)) / 1e6);
    return 0;
  }
  SDL_Event e;
  while (SDL_WaitEvent(&e) && e.type != SDL_QUIT) {
  }
  SDL_DestroyWindow(w);
  SDL_Quit();
  return 0;
}
