#pragma once
// What moxsim-plan's commands print for people: money with at most two decimals, chances as percentages, and
// columns aligned on a terminal.
#include <algorithm>
#include <cstdio>
#include <string>

namespace mox::plancli {

// Money with at most two decimals (43.5, 10, 1234.57).
inline std::string money(double q) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", q);
  std::string text = buf;
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text == "-0" ? "0" : text;
}

// A chance as a percentage with two decimals.
inline std::string percent(double p) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f %%", p * 100);
  return buf;
}

// Columns on a terminal: a Chinese character (币, 平均) takes two; the signs before them in Unicode (·, →, ≤) and
// ASCII take one.
inline int columns(const std::string& text) {
  int n = 0;
  for (unsigned char c : text) {
    if (c < 0x80 || (c >= 0xC0 && c < 0xE3)) ++n;
    if (c >= 0xE3) n += 2;
  }
  return n;
}

inline std::string right(const std::string& text, int width) {
  return std::string(static_cast<size_t>(std::max(0, width - columns(text))), ' ') + text;
}

inline std::string left(const std::string& text, int width) {
  return text + std::string(static_cast<size_t>(std::max(0, width - columns(text))), ' ');
}

}  // namespace mox::plancli
