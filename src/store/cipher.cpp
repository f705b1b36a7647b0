#include "store/cipher.h"

namespace mox {

std::string_view fillerAlphabet() {
  static constexpr char kAlphabet[] =
      "\xD0\xBE\x30\x31\xC6\xAC\x32\xC7\xBF\x33\xBB\xAF\x34\xBA\xCF\x35\xB3\xC9\x36\xBE\xA7\x37\xCC\xE5\x38"
      "\xB4\xDF\x39\x61\xBB\xAF\x62\xB7\xC0\x63\xBB\xA4\x64\xC4\xDC\x65\xC1\xBF\x66\xC4\xA7\x67\xB7\xA8\x68"
      "\xB5\xC8\x69\x6A\xBC\xB6\x6B\xB3\xC9\x6C\xB9\xA6\x6D\xCA\xA7\x6E\xB0\xDC\x6F\xB1\xA3\x70\xB4\xE6\x71"
      "\xCA\xFD\x72\x73\xBE\xDD\x74\xC4\xA3\x75\xC4\xE2\x76\xC6\xF7\x77\xB3\xE4\x78\xD6\xB5\x79\xB9\xBA\x7A"
      "\xC2\xF2\x41\x42\xD3\xE0\x43\xB6\xEE\x44\xD0\xC5\x45\xCF\xA2\x46\xCD\xB3\x47\xBC\xC6\x48\xCF\xFB\x49"
      "\xBA\xC4\x4A\x4B\xCB\xB5\x4C\xC3\xF7\x4D\xC8\xB7\x4E\xB6\xA8\x4F\xD1\xA1\x50\xD4\xF1\x51\xBC\xD3\x52"
      "\xB3\xC9\x53\x54\xB4\xEF\x55\xC8\xCB\x56\xCA\xB5\x57\xD1\xE9\x58\xCA\xD2\x59\xC9\xFD\x5A\xBC\xB6\x30"
      "\xBD\xB5\x31\x32\xB5\xCD\x33\xC3\xBB\x34\xB1\xE4\x35\xD7\xEE\x36\xB8\xDF\x37\xB7\xC5\x38\xC8\xEB\x39"
      "\xB1\xD8\x51\x77\xD0\xEB\x45\xC1\xBD\x72\xC3\xB6\x54\xC7\xEB\x79\xBA\xCB\x55\xB6\xD4\x69\xC3\xDC\x4F"
      "\xC2\xEB\x70\x41\xB4\xED\x73\xCE\xF3\x44\xD4\xCB\x66\xC6\xF8\x47\xB2\xBB\x68\xBA\xC3\x4A\xD4\xE3\x6B";
  return {kAlphabet, sizeof kAlphabet - 1};
}

Text scrambleText(std::string_view text, std::string_view password, Random& random) {
  std::string s(text);
  if (!password.empty()) {
    s += '*';
    s += password;
    // An even-length password gets a trailing space, which unscrambling trims away again.
    if (password.size() % 2 == 0) s += ' ';
  }
  const size_t m = s.size();
  if (m < 4) return std::string(s.rbegin(), s.rend());

  const std::string_view alphabet = fillerAlphabet();
  auto filler = [&] {
    // Every filler is drawn from a fresh seeding; the seed counter keeps fillers of the same millisecond apart.
    random.seedRandom();
    return alphabet[static_cast<size_t>(random.randomInt(1, 250) - 1)];
  };
  std::string out;
  out.reserve(2 * m);
  const size_t half = m / 2;
  for (size_t i = 0; i < half; ++i) {
    out += s[2 * i];
    out += filler();
  }
  for (size_t i = 0; i < half; ++i) {
    out += s[2 * i + 1];
    out += filler();
  }
  if (m % 2 == 1) out += s[m - 1];
  return out;
}

Text unscrambleText(std::string_view text, std::string_view password, Platform& platform) {
  const size_t n = text.size();
  if (n < 4) return std::string(text.rbegin(), text.rend());
  std::string b;
  b.reserve((n + 1) / 2);
  for (size_t i = 0; i < n; i += 2) b += text[i];
  const size_t k = b.size();
  const size_t half = k / 2;
  std::string u;
  u.reserve(k);
  for (size_t i = 0; i < half; ++i) {
    u += b[i];
    u += b[half + i];
  }
  if (k % 2 == 1) u += b[k - 1];

  const int32_t star = findText(u, "*");
  if (star < 1) return u;
  const Text bound = trimTrailingSpaces(rightText(u, textLength(u) - star));
  if (compareTexts(bound, password) == 0) return u.substr(0, static_cast<size_t>(star - 1));
  platform.messageBox("密码错误，请核对！", 0, "信息：");
  return {};
}

}  // namespace mox
