#pragma once
// For the start-up benchmark (bench/windows.sh): when MOXSIM_BENCH_T0 holds the launcher's wall-clock time in
// nanoseconds since 1970, a program reports how long it took to present its first frame, on standard output, and
// ends there. The wall clock, since the launcher runs outside Windows and shares no other clock with it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace mox::win32 {

inline bool benchingFirstFrame() {
  const char* t0 = std::getenv("MOXSIM_BENCH_T0");
  return t0 && *t0;
}

inline void reportFirstFrame() {
  const char* t0 = std::getenv("MOXSIM_BENCH_T0");
  if (!t0 || !*t0) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  // 100 ns steps since 1601.
  const unsigned long long ticks = static_cast<unsigned long long>(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  const long long unixNs = static_cast<long long>(ticks - 116444736000000000ULL) * 100;
  std::printf("first-frame-ms %.2f\n", static_cast<double>(unixNs - std::atoll(t0)) / 1e6);
  std::fflush(stdout);
}

}  // namespace mox::win32
