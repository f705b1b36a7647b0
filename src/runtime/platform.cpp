#include "runtime/platform.h"

#include <cstdio>
#include <ctime>

namespace mox {

std::string formatTime(int64_t seconds, bool local) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
#ifdef _WIN32
  if (local)
    localtime_s(&tm, &t);
  else
    gmtime_s(&tm, &t);
#else
  if (local)
    localtime_r(&t, &tm);
  else
    gmtime_r(&t, &tm);
#endif
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

std::string Platform::timeText() { return formatTime(std::time(nullptr), true); }

std::string Platform::siteAddress() { return MOX_SITE_URL; }

}  // namespace mox
