// The loader against many random and mutated files: nothing crashes or hangs, and whatever loads is exactly the
// record the file holds.
#include <random>

#include "app_fixture.h"

using moxtest::Program;

namespace {

// The stored form's plain text by an independent route: odd positions kept, halves interleaved.
std::string plainText(const std::string& stored) {
  if (stored.size() < 4) return {stored.rbegin(), stored.rend()};
  std::string kept;
  for (size_t i = 0; i < stored.size(); i += 2) kept += stored[i];
  const size_t half = kept.size() / 2;
  std::string out;
  for (size_t i = 0; i < half; ++i) out += std::string{kept[i], kept[half + i]};
  if (kept.size() % 2) out += kept.back();
  return out;
}

// What a reader of the file sees: the text ends at the first NUL, and at the first 0x1A that is not the trail
// byte of a double-byte character.
std::string readable(const std::string& stored) {
  for (size_t i = 0; i < stored.size(); ++i) {
    const auto c = static_cast<unsigned char>(stored[i]);
    if (c == 0 || c == 0x1A) return stored.substr(0, i);
    if (c >= 0x80 && i + 1 < stored.size() && stored[i + 1] != 0) ++i;
  }
  return stored;
}

// The counts a plain text of digits, signs and bars holds: fifteen pieces or more load (a piece reads as its
// leading signed number), fewer load nothing, and a count beyond 32 bits makes the file foreign.
std::array<int32_t, 15> expectedCounts(const std::string& text) {
  std::vector<std::string> pieces;
  size_t at = 0;
  for (size_t bar; (bar = text.find('|', at)) != std::string::npos; at = bar + 1)
    pieces.push_back(text.substr(at, bar - at));
  if (at < text.size()) pieces.push_back(text.substr(at));
  std::array<int32_t, 15> counts{};
  if (pieces.size() < 15) return counts;
  for (size_t k = 0; k < 15; ++k) {
    const std::string& piece = pieces[k];
    size_t i = piece.size() > 0 && piece[0] == '-' ? 1 : 0;
    long double value = 0;
    for (; i < piece.size() && piece[i] >= '0' && piece[i] <= '9'; ++i) value = value * 10 + (piece[i] - '0');
    if (!piece.empty() && piece[0] == '-') value = -value;
    if (value > 2147483647.0L || value < -2147483648.0L) return {};
    counts[k] = static_cast<int32_t>(value);
  }
  return counts;
}

std::string randomRecord(std::mt19937& rng) {
  std::string r;
  for (int k = 0; k < 15; ++k) {
    const int kind = static_cast<int>(rng() % 4);
    const long value = kind == 0   ? 0
                       : kind == 1 ? static_cast<long>(rng() % 100)
                       : kind == 2 ? static_cast<long>(rng() % 2147483647)
                                   : -static_cast<long>(rng() % 1000);
    r += std::to_string(value) + "|";
  }
  return r;
}

}  // namespace

TEST(LoaderFuzz, ValidRecordsWithAnyFillersLoadExactly) {
  std::mt19937 rng(7);
  for (int i = 0; i < 300; ++i) {
    const std::string record = randomRecord(rng);
    std::string stored = moxtest::scrambleWithFiller(record);
    for (size_t j = 1; j < stored.size(); j += 2) {
      unsigned char f;
      do f = static_cast<unsigned char>(rng() % 256);
      while (f == 0 || f == 0x1A);
      // A filler right after a lead byte would be read as its trail byte; fillers are any byte but NUL and 0x1A.
      stored[j] = static_cast<char>(f);
    }
    Program p;
    moxtest::writeFile(p.dir() / "MOXdata", stored);
    p.start();
    const auto expected = expectedCounts(record);
    for (int k = 1; k <= 15; ++k) ASSERT_EQ(p.count(k), expected[static_cast<size_t>(k - 1)]) << record;
  }
}

TEST(LoaderFuzz, MutatedAndRandomFilesNeverCrash) {
  std::mt19937 rng(11);
  for (int i = 0; i < 1500; ++i) {
    std::string stored;
    switch (i % 4) {
      case 0: {  // random bytes of random length
        stored.resize(rng() % 700);
        for (char& c : stored) c = static_cast<char>(rng());
        break;
      }
      case 1: {  // a valid file with bytes flipped
        stored = moxtest::scrambleWithFiller(randomRecord(rng));
        for (int n = static_cast<int>(rng() % 4) + 1; n > 0; --n)
          stored[rng() % stored.size()] = static_cast<char>(rng());
        break;
      }
      case 2: {  // a valid file cut short or extended
        stored = moxtest::scrambleWithFiller(randomRecord(rng));
        if (rng() % 2)
          stored.resize(rng() % stored.size());
        else
          stored += std::string(rng() % 50, static_cast<char>(rng()));
        break;
      }
      default: {  // a record with stars, spaces, signs and non-digits mixed in
        std::string text = randomRecord(rng);
        const char extras[] = "*  -+.e|\xA1\xA3\xB1";
        for (int n = static_cast<int>(rng() % 5); n > 0; --n) {
          text.insert(rng() % (text.size() + 1), 1, extras[rng() % (sizeof extras - 1)]);
        }
        stored = moxtest::scrambleWithFiller(text);
      }
    }
    Program p;
    moxtest::writeFile(p.dir() / "MOXdata", stored);
    p.start();
    // Whatever loaded, the program still runs: a refresh and a save work on it.
    p.click("保存数据");
    const std::string plain = plainText(readable(stored));
    bool ascii = true;
    for (char c : plain) ascii = ascii && static_cast<unsigned char>(c) < 0x80 && c != 0 && c != 0x1A && c != '*';
    bool digitsOnly = true;
    for (char c : plain) digitsOnly = digitsOnly && ((c >= '0' && c <= '9') || c == '|' || c == '-');
    if (ascii && digitsOnly) {
      const auto expected = expectedCounts(plain);
      for (int k = 1; k <= 15; ++k)
        ASSERT_EQ(p.count(k), expected[static_cast<size_t>(k - 1)])
            << plain << " stored " << ::testing::PrintToString(stored);
    }
  }
}
