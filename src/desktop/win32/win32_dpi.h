#pragma once
// The screen's density on Windows, and the factor the program's windows are drawn at. The program asks to be
// told each monitor's own density (per-monitor v2, else per-monitor, else the system's); the calls that newer
// systems added are looked up at run time, so the program still starts where they are missing.
#include <windows.h>

#include <optional>
#include <string>

#include "ui/paint/scale.h"

namespace mox::win32 {

// The style of the program's windows: fixed size, a caption, the close and minimise boxes.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// Asks the system for per-monitor density awareness where the manifest's request was not honoured.
void becomeDpiAware();

// Dots per inch: of the system (the primary monitor at log-in), of the monitor a window is on.
UINT systemDpi();
UINT windowDpi(HWND window);
UINT monitorDpi(HMONITOR monitor);
// A monitor's work area (the screen without the task bar).
RECT workArea(HMONITOR monitor);
// The frame's extra width and height around a client area, at `dpi` (the frame is the system's, drawn at the
// monitor's density whatever the program's factor).
SIZE frameSize(UINT dpi, DWORD style = kWindowStyle);

// The factor MOXSIM_SCALE forces, or none. A value that cannot be read is ignored, with one line
// on standard error.
std::optional<paint::Scale> forcedScale();
std::optional<paint::Scale> parseForcedScale(const char* text, std::string* complaint);

// The factor for a window of `client` layout pixels on a monitor of `dpi` whose work area is `work`: forced,
// else the monitor's (dpi / 96), lowered to the largest that fits the work area with the frame.
paint::Scale windowScale(const std::optional<paint::Scale>& forced, UINT dpi, SIZE client, const RECT& work);

// Where a window of `outer` size goes: its top-left at `wanted`, moved the least to lie wholly inside `work`
// (at its top-left corner when larger).
POINT keepInside(POINT wanted, SIZE outer, const RECT& work);
// Where a window of `outer` size lies centred on `work` (at its top-left corner when larger).
POINT centred(SIZE outer, const RECT& work);

}  // namespace mox::win32
