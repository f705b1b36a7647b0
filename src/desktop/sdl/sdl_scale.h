#pragma once
// The X server's side of the Linux program: the factor it draws at, as GTK and Qt programs follow the desktop's
// setting: MOXSIM_SCALE (the program's own, for players and tests), else GDK_SCALE, else the X resource Xft.dpi over
// 96, else, on Wayland, the ratio between a window's drawable pixels and its size; then cut down to what fits the
// screen.
#include <optional>
#include <string_view>

#include "ui/paint/scale.h"

struct SDL_Window;

namespace mox::sdl {

// The Xft.dpi value in an X resource database's text (as `xrdb -query` prints it), if it holds one.
std::optional<double> xftDpi(std::string_view resources);

// What the environment and the X server's resources ask for, before the video system is up. A MOXSIM_SCALE that
// cannot be read is named on standard error and passed over.
std::pair<paint::Scale, bool> requestedScale();

// The factor on the grid at which a window of the layout's client size, with a frame, fits the usable part of
// the display (`display` is SDL's display index). A forced factor is kept.
paint::Scale fittedScale(std::pair<paint::Scale, bool> requested, int clientWidth, int clientHeight, int display = 0);

// Drawable pixels per window point of a window made to ask for them (Wayland's scale), or nullopt where SDL
// reports none.
std::optional<double> drawableRatio(SDL_Window* window);
// On Wayland, the scale of the output a new window opens on (a small hidden window is made to ask); elsewhere
// nullopt.
std::optional<double> outputRatio();

// On X11, before the video system starts: an error for an event sent to a window already destroyed (SDL's wake-up
// of its loop, crossing the window's destruction at the end) no longer ends the program. Installed first, it is
// the handler SDL keeps as the original and puts back when it shuts down, so it also covers the errors that only
// arrive while SDL closes its connections.
void tolerateLostWakeups();

}  // namespace mox::sdl
