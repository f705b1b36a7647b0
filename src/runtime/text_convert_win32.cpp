// GBK (code page 936) and UTF-8 through the system's conversion functions, and the wide texts of its API.
#include <windows.h>

#include "runtime/value.h"
#include "runtime/wide.h"

namespace mox {

namespace {
constexpr UINT kGbk = 936;

std::wstring toWide(UINT codePage, std::string_view in, DWORD flags) {
  if (in.empty()) return {};
  const int n = MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n);
  return out;
}

std::string fromWide(UINT codePage, std::wstring_view in, DWORD flags, BOOL* lossy) {
  if (in.empty()) return {};
  const int n =
      WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), nullptr, 0, nullptr, lossy);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, flags, in.data(), static_cast<int>(in.size()), out.data(), n, nullptr, lossy);
  return out;
}

// Converts character by character when the whole text does not convert, so one bad character becomes '?' and
// the rest of the text survives, as on the other systems. `step` gives the byte length of the character at i.
template <typename Step>
std::string convertEach(std::string_view in, Step step, std::string (*one)(std::string_view)) {
  std::string out;
  for (size_t i = 0; i < in.size();) {
    const size_t n = step(in, i);
    const std::string c = one(in.substr(i, n));
    out += c.empty() ? std::string(n, '?') : c;
    i += n;
  }
  return out;
}

std::string gbkOne(std::string_view gbk) {
  const std::wstring w = toWide(kGbk, gbk, MB_ERR_INVALID_CHARS);
  return w.empty() ? std::string() : fromWide(CP_UTF8, w, 0, nullptr);
}

std::string utf8One(std::string_view utf8) {
  const std::wstring w = toWide(CP_UTF8, utf8, MB_ERR_INVALID_CHARS);
  if (w.empty()) return {};
  BOOL lossy = FALSE;
  std::string out = fromWide(kGbk, w, WC_NO_BEST_FIT_CHARS, &lossy);
  return lossy ? std::string() : out;
}

size_t gbkStep(std::string_view s, size_t i) {
  return isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

size_t utf8Step(std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  size_t k = 1;
  while (k < n && i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80) ++k;
  return k;
}
}  // namespace

std::wstring widen(std::string_view utf8) { return toWide(CP_UTF8, utf8, 0); }
std::string narrow(std::wstring_view wide) { return fromWide(CP_UTF8, wide, 0, nullptr); }

std::string gbkToUtf8(std::string_view gbk) {
  std::string whole = gbkOne(gbk);
  return !whole.empty() || gbk.empty() ? whole : convertEach(gbk, gbkStep, gbkOne);
}

std::string utf8ToGbk(std::string_view utf8) {
  std::string whole = utf8One(utf8);
  return !whole.empty() || utf8.empty() ? whole : convertEach(utf8, utf8Step, utf8One);
}

}  // namespace mox
