#include "runtime/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "runtime/fatal.h"

namespace mox {

bool isLeadByte(unsigned char c) { return c >= 0x80; }

namespace {

// Length in bytes of the character starting at i: two for a lead byte with a trail byte after it.
size_t charWidth(std::string_view s, size_t i) {
  return isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

std::string_view beforeNul(std::string_view s) {
  size_t nul = s.find('\0');
  return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// Full-width digits, signs and letters, the ideographic space and a few look-alikes become ASCII, so that a
// number typed with an input method reads the same as one typed in ASCII.
std::string normaliseFullWidth(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    size_t w = charWidth(s, i);
    if (w == 2) {
      auto lead = static_cast<unsigned char>(s[i]);
      auto trail = static_cast<unsigned char>(s[i + 1]);
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        out += static_cast<char>(trail - 0xA1 + 0x21);
      } else if (lead == 0xA1 && trail == 0xA1) {
        out += ' ';
      } else if (lead == 0xA1 && trail == 0xAB) {
        out += '~';
      } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
        out += '*';
      } else {
        out.append(s.substr(i, 2));
      }
    } else {
      out += s[i];
    }
    i += w;
  }
  return out;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string printG(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

}  // namespace

double toNumber(std::string_view text) {
  std::string s = normaliseFullWidth(beforeNul(text));
  size_t i = 0;
  while (i < s.size() && isSpace(s[i])) ++i;
  size_t begin = i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && isDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && isDigit(s[j])) {
      while (j < s.size() && isDigit(s[j])) ++j;
      i = j;
    }
  }
  // Only plain decimal syntax reaches strtod, so hexadecimal, "inf" and "nan" never parse.
  std::string prefix = s.substr(begin, i - begin);
  return std::strtod(prefix.c_str(), nullptr);
}

Text toText(int32_t v) { return std::to_string(v); }
Text toText(int64_t v) { return std::to_string(v); }
Text toText(uint8_t v) { return std::to_string(static_cast<unsigned>(v)); }
Text toText(int16_t v) { return std::to_string(v); }
Text toText(double v) { return printG(v, 13); }
Text toText(float v) { return printG(static_cast<double>(v), 6); }
Text toText(bool v) { return v ? "\xD5\xE6" : "\xBC\xD9"; }  // 真 / 假 in GBK
Text toText(std::string_view v) { return Text(v); }
Text toText(const char* v) { return v ? Text(v) : Text(); }
Text toText(const Bytes& v) {
  std::string_view s(reinterpret_cast<const char*>(v.data()), v.size());
  return Text(beforeNul(s));
}

Text formatNumber(double x, std::optional<int> places, bool groupThousands) {
  double value = x;
  if (places && x != 0.0) {
    int p = *places;
    double sign = x < 0 ? -1.0 : 1.0;
    double scale = std::pow(10.0, std::abs(p));
    double y = p >= 0 ? std::fabs(x) * scale : std::fabs(x) / scale;
    y += 1e-12;
    double i = std::floor(y);
    double rounded = (y - i) >= 0.5 ? i + 1 : i;
    value = sign * (p >= 0 ? rounded / scale : rounded * scale);
  }
  std::string text = printG(value, 13);
  bool exponent = text.find_first_of("eE") != std::string::npos;
  if (places && *places > 0 && !exponent) {
    size_t point = text.find('.');
    if (point == std::string::npos) {
      point = text.size();
      text += '.';
    }
    size_t decimals = text.size() - point - 1;
    if (decimals < static_cast<size_t>(*places)) text.append(static_cast<size_t>(*places) - decimals, '0');
  }
  if (groupThousands) {
    size_t start = (!text.empty() && text[0] == '-') ? 1 : 0;
    bool plain = start < text.size();
    int points = 0;
    for (size_t i = start; i < text.size(); ++i) {
      if (text[i] == '.')
        ++points;
      else if (!isDigit(text[i]))
        plain = false;
    }
    if (plain && points <= 1) {
      size_t end = text.find('.');
      if (end == std::string::npos) end = text.size();
      std::string grouped = text.substr(0, start);
      size_t intDigits = end - start;
      for (size_t i = start; i < end; ++i) {
        size_t left = end - i;
        if (i != start && left % 3 == 0) grouped += ',';
        grouped += text[i];
      }
      (void)intDigits;
      grouped += text.substr(end);
      text = grouped;
    }
  }
  return text;
}

double remainder(double a, double b) {
  if (b == 0.0) fatalError("不能求余数于零");
  return std::fmod(a, b);
}

int32_t truncToInt(double x) {
  if (std::isnan(x)) return 0;
  if (x >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (x <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(x);
}

int32_t integerPart(double x) {
  double whole = std::trunc(x);
  if (std::fabs(x - whole) > 0.999999999999) x = x > 0 ? whole + 1 : whole - 1;
  return truncToInt(std::floor(x));
}

double absValue(double x) { return x >= 0 ? x : -x; }

int32_t textLength(std::string_view text) { return static_cast<int32_t>(beforeNul(text).size()); }

Text midText(std::string_view text, int32_t start, int32_t count) {
  text = beforeNul(text);
  auto len = static_cast<int64_t>(text.size());
  if (start < 1 || start > len || count <= 0) return {};
  int64_t n = std::min<int64_t>(count, len - start + 1);
  return Text(text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(n)));
}

Text rightText(std::string_view text, int32_t count) {
  text = beforeNul(text);
  if (count <= 0) return {};
  size_t n = std::min(static_cast<size_t>(count), text.size());
  return Text(text.substr(text.size() - n));
}

namespace {
char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool matchesAt(std::string_view text, size_t i, std::string_view sought, bool ignoreCase) {
  if (text.size() - i < sought.size()) return false;
  for (size_t j = 0; j < sought.size(); ++j) {
    char a = text[i + j], b = sought[j];
    if (ignoreCase ? lowerAscii(a) != lowerAscii(b) : a != b) return false;
  }
  return true;
}
}  // namespace

int32_t findText(std::string_view text, std::string_view sought, int32_t start, bool ignoreCase) {
  text = beforeNul(text);
  sought = beforeNul(sought);
  if (sought.empty()) return text.empty() ? -1 : 1;
  if (start < 1) start = 1;
  if (static_cast<size_t>(start) > text.size()) return -1;
  for (size_t i = 0; i < text.size(); i += charWidth(text, i)) {
    if (i + 1 < static_cast<size_t>(start)) continue;
    if (matchesAt(text, i, sought, ignoreCase)) return static_cast<int32_t>(i + 1);
  }
  return -1;
}

TextArray splitText(std::string_view text, std::string_view delimiter, int32_t maxCount) {
  text = beforeNul(text);
  delimiter = beforeNul(delimiter);
  TextArray pieces;
  if (text.empty() || maxCount == 0) return pieces;
  if (delimiter.empty()) return {Text(text)};
  auto full = [&] { return maxCount > 0 && pieces.size() >= static_cast<size_t>(maxCount); };
  size_t pieceStart = 0;
  for (size_t i = 0; i < text.size();) {
    if (matchesAt(text, i, delimiter, false)) {
      pieces.emplace_back(text.substr(pieceStart, i - pieceStart));
      if (full()) return pieces;
      i += delimiter.size();
      pieceStart = i;
    } else {
      i += charWidth(text, i);
    }
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

Text trimTrailingSpaces(std::string_view text) {
  text = beforeNul(text);
  for (;;) {
    if (!text.empty() && text.back() == ' ') {
      text.remove_suffix(1);
    } else if (text.size() >= 2 && static_cast<unsigned char>(text[text.size() - 1]) == 0xA1 &&
               static_cast<unsigned char>(text[text.size() - 2]) == 0xA1) {
      text.remove_suffix(2);
    } else {
      return Text(text);
    }
  }
}

int compareTexts(std::string_view a, std::string_view b) {
  a = beforeNul(a);
  b = beforeNul(b);
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace mox
