#pragma once
// The value and text operations the program's logic is written against. Runtime texts are GBK byte strings:
// lengths and positions count bytes, positions are 1-based, and the operations marked character-aware step over
// a double-byte character (lead byte 0x80 or above plus its trail byte) as one unit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mox {

using Text = std::string;                  // GBK bytes
using Bytes = std::vector<unsigned char>;  // embedded pictures and sounds
using TextArray = std::vector<Text>;       // 0-based in C++, the logic's 1-based index is i - 1

// Numbers from values. A text is normalised (full-width forms to ASCII) and read as a decimal prefix.
double toNumber(std::string_view text);
// Without these a string literal would convert to bool before it converts to a view.
inline double toNumber(const char* text) { return toNumber(std::string_view(text ? text : "")); }
inline double toNumber(const std::string& text) { return toNumber(std::string_view(text)); }
inline double toNumber(int32_t v) { return v; }
inline double toNumber(int64_t v) { return static_cast<double>(v); }
inline double toNumber(double v) { return v; }
inline double toNumber(float v) { return v; }
inline double toNumber(bool v) { return v ? 1.0 : 0.0; }

// Texts from values: integers in decimal, reals as "%.13g", single-precision reals as "%.6g", booleans as the
// GBK words for true and false, texts unchanged, byte arrays up to their first NUL.
Text toText(int32_t v);
Text toText(int64_t v);
Text toText(uint8_t v);
Text toText(int16_t v);
Text toText(double v);
Text toText(float v);
Text toText(bool v);
Text toText(std::string_view v);
Text toText(const char* v);
Text toText(const Bytes& v);

// Rounds half away from zero at `places` decimals (if given), prints with "%.13g", pads to `places` decimals and
// optionally groups thousands.
Text formatNumber(double x, std::optional<int> places = std::nullopt, bool groupThousands = false);

// The remainder with the quotient truncated toward zero; a zero divisor is a fatal error.
double remainder(double a, double b);
template <typename... More>
double remainder(double a, double b, double c, More... more) {
  return remainder(remainder(a, b), c, more...);
}

int32_t integerPart(double x);
double absValue(double x);

// Truncation toward zero into a 32-bit integer, saturating at the limits instead of invoking undefined
// behaviour for values out of range (NaN gives 0).
int32_t truncToInt(double x);

// GBK text operations.
bool isLeadByte(unsigned char c);
int32_t textLength(std::string_view text);
Text midText(std::string_view text, int32_t start, int32_t count);
Text rightText(std::string_view text, int32_t count);
int32_t findText(std::string_view text, std::string_view sought, int32_t start = 1, bool ignoreCase = false);
TextArray splitText(std::string_view text, std::string_view delimiter = ",", int32_t maxCount = -1);
Text trimTrailingSpaces(std::string_view text);
int compareTexts(std::string_view a, std::string_view b);

// The text conversions between runtime GBK and display UTF-8 for the characters this program uses.
std::string gbkToUtf8(std::string_view gbk);
std::string utf8ToGbk(std::string_view utf8);

}  // namespace mox
