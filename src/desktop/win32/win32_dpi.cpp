#include "desktop/win32/win32_dpi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace mox::win32 {

namespace {

// A function of a system library by name, or nullptr where this system has none.
template <typename F>
F lookUp(const wchar_t* library, const char* name, bool load = false) {
  HMODULE module = GetModuleHandleW(library);
  if (!module && load) module = LoadLibraryW(library);
  return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
using SetAwareness = HRESULT(WINAPI*)(int);
using DpiForWindow = UINT(WINAPI*)(HWND);
using DpiForSystem = UINT(WINAPI*)();
using DpiForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
constexpr int kPerMonitorAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE
constexpr int kEffectiveDpi = 0;     // MDT_EFFECTIVE_DPI

UINT sane(UINT dpi) { return dpi >= 48 && dpi <= 960 ? dpi : USER_DEFAULT_SCREEN_DPI; }

}  // namespace

void becomeDpiAware() {
  // The manifest asks for per-monitor v2 (Windows 10 1703 and later) and per-monitor; where it was honoured,
  // nothing is left to do.
  if (IsProcessDPIAware()) return;
  if (auto set = lookUp<SetContext>(L"user32.dll", "SetProcessDpiAwarenessContext")) {
    if (set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) || set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) return;
  }
  if (auto set = lookUp<SetAwareness>(L"shcore.dll", "SetProcessDpiAwareness", true)) {
    if (SUCCEEDED(set(kPerMonitorAware))) return;
  }
  SetProcessDPIAware();
}

UINT systemDpi() {
  if (auto get = lookUp<DpiForSystem>(L"user32.dll", "GetDpiForSystem")) return sane(get());
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : USER_DEFAULT_SCREEN_DPI;
  if (screen) ReleaseDC(nullptr, screen);
  return sane(static_cast<UINT>(dpi));
}

UINT windowDpi(HWND window) {
  if (auto get = lookUp<DpiForWindow>(L"user32.dll", "GetDpiForWindow")) {
    if (const UINT dpi = get(window)) return sane(dpi);
  }
  return monitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

UINT monitorDpi(HMONITOR monitor) {
  if (auto get = lookUp<DpiForMonitor>(L"shcore.dll", "GetDpiForMonitor", true)) {
    UINT x = 0, y = 0;
    if (monitor && SUCCEEDED(get(monitor, kEffectiveDpi, &x, &y))) return sane(x);
  }
  return systemDpi();
}

RECT workArea(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (monitor && GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

SIZE frameSize(UINT dpi, DWORD style) {
  RECT r{0, 0, 0, 0};
  auto adjust = lookUp<AdjustForDpi>(L"user32.dll", "AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&r, style, FALSE, 0, dpi)) AdjustWindowRectEx(&r, style, FALSE, 0);
  return {r.right - r.left, r.bottom - r.top};
}

std::optional<paint::Scale> parseForcedScale(const char* text, std::string* complaint) {
  if (!text || !*text) return std::nullopt;
  if (const std::optional<double> v = paint::parseScale(text)) return paint::Scale(*v);
  if (complaint) {
    *complaint =
        std::string("moxsim: MOXSIM_SCALE=") + text + " is not a scale factor (such as 1.5); using the desktop's";
  }
  return std::nullopt;
}

std::optional<paint::Scale> forcedScale() {
  std::string complaint;
  std::optional<paint::Scale> forced = parseForcedScale(std::getenv("MOXSIM_SCALE"), &complaint);
  static bool complained = false;
  if (!complaint.empty() && !complained) {
    complained = true;
    std::fprintf(stderr, "%s\n", complaint.c_str());
    std::fflush(stderr);
  }
  return forced;
}

paint::Scale windowScale(const std::optional<paint::Scale>& forced, UINT dpi, SIZE client, const RECT& work) {
  if (forced) return *forced;
  const SIZE frame = frameSize(dpi);
  return paint::fitScale(paint::Scale(static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI), client.cx, client.cy,
                         work.right - work.left, work.bottom - work.top, [frame](const paint::Scale&) {
                           return std::pair<int, int>{frame.cx, frame.cy};
                         });
}

POINT keepInside(POINT wanted, SIZE outer, const RECT& work) {
  auto place = [](LONG at, LONG size, LONG low, LONG high) { return std::max(low, std::min(at, high - size)); };
  return {place(wanted.x, outer.cx, work.left, work.right), place(wanted.y, outer.cy, work.top, work.bottom)};
}

POINT centred(SIZE outer, const RECT& work) {
  return keepInside(
      {work.left + (work.right - work.left - outer.cx) / 2, work.top + (work.bottom - work.top - outer.cy) / 2}, outer,
      work);
}

}  // namespace mox::win32
