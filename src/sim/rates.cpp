#include "sim/rates.h"

#include <cmath>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/items.h"
#include "runtime/palette.h"

namespace mox {

namespace {

constexpr double kTolerance = 0.0000001;

// Per chip level 0..8: the lesser and the greater crystal's contribution. Levels 0 to 6 pair the small and the
// big crystal, levels 7 and 8 the magic and the big crystal.
constexpr int32_t kCrystalTable[9][2] = {
    {25000, 50000}, {12000, 24000}, {6000, 9000}, {3000, 4500}, {1500, 2250},
    {1000, 1500},   {750, 1125},    {2000, 3000}, {3000, 4000},
};

// Synthesis success by the levels of the two chips (1..9).
constexpr int32_t kSynthesisTable[9][9] = {
    {100000, 53000, 25000, 2000, 1000, 1000, 0, 0, 0},
    {53000, 29000, 3000, 1000, 1000, 1000, 0, 0, 0},
    {25000, 3000, 2000, 1000, 1000, 1000, 0, 0, 0},
    {2000, 1000, 1000, 2000, 3000, 4000, 0, 0, 0},
    {1000, 1000, 1000, 3000, 19000, 28000, 0, 0, 0},
    {1000, 1000, 1000, 4000, 28000, 92000, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 5000, 8000, 0},
    {0, 0, 0, 0, 0, 0, 8000, 10000, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
};

// The bonus factors are held in single precision: 1.2f is slightly above 1.2, and 1.2f * 1.25f rounds to 1.5.
float expertFactor(bool expertBonus) { return expertBonus ? 1.2f : 1.0f; }

int chipLevelOfTag(std::string_view tag) {
  static constexpr std::string_view kChipTags[10] = {"1", "7", "8", "9", "10", "11", "12", "13", "14", "15"};
  for (int level = 0; level < 10; ++level) {
    if (compareTexts(tag, kChipTags[level]) == 0) return level;
  }
  return -1;
}

}  // namespace

namespace {

float rateFactor(bool expertBonus, bool catalyst) {
  float factor = expertFactor(expertBonus);
  if (catalyst) factor = factor * 1.25f;
  return factor;
}

// Position 1 is the lesser crystal of the level's pair, 2 the greater; anything else has no contribution.
int crystalPosition(int level, double code) { return truncToInt(level <= 6 ? code - 1 : 5 - code); }

int32_t contribution(int level, int position) {
  // Placement never lays a crystal beside a chip it has no contribution for; should one get there, it adds
  // nothing rather than reading outside the table.
  if (level < 0 || level > 8 || position < 1 || position > 2) return 0;
  return kCrystalTable[level][position - 1];
}

}  // namespace

int32_t enhanceRate(std::string_view chipTag, const std::array<double, 4>& crystalCodes, bool expertBonus,
                    double catalystCode) {
  const float factor = rateFactor(expertBonus, std::fabs(catalystCode - 5) <= kTolerance);
  int level = chipLevelOfTag(chipTag);
  int32_t sum = 0;
  for (double t : crystalCodes) {
    if (t > kTolerance) sum += contribution(level, crystalPosition(level, t));
  }
  return truncToInt(sum * static_cast<double>(factor));
}

int32_t enhanceRate(int level, std::span<const int32_t> crystalCodes, bool expertBonus, bool catalyst) {
  const float factor = rateFactor(expertBonus, catalyst);
  int32_t sum = 0;
  for (int32_t code : crystalCodes) {
    if (code > 0) sum += contribution(level, crystalPosition(level, code));
  }
  return truncToInt(sum * static_cast<double>(factor));
}

bool crystalFits(int level, int32_t code) {
  return code >= kSmallCrystal && code <= kMagicCrystal && contribution(level, crystalPosition(level, code)) > 0;
}

int32_t labRate(int32_t rate, bool labBonus) { return labBonus ? truncToInt(rate * 1.3) : rate; }

int32_t drawThreshold(int32_t rate) { return integerPart(rate / 100.0); }

SynthesisOutlook synthesisOutlook(double code1, double code2, bool expertBonus) {
  SynthesisOutlook out;
  float factor = expertFactor(expertBonus);
  if (code1 - 7 >= -kTolerance && code2 - 7 >= -kTolerance) {
    int a = truncToInt(code1 - 6), b = truncToInt(code2 - 6);
    if (a < 1 || a > 9 || b < 1 || b > 9) fatalError("数组成员引用超出范围");
    out.rate = truncToInt(kSynthesisTable[a - 1][b - 1] * static_cast<double>(factor));
    int s = a + b;
    if (s >= 14) {
      out.label = "+9";
      out.level = 9;
    } else if (s >= 7) {
      out.label = "+7";
      out.level = 7;
    } else {
      out.label = "+" + toText(static_cast<int32_t>(s));
      out.level = s;
    }
  }
  return out;
}

uint32_t rateColour(int32_t rate) {
  if (rate > 0 && rate < 5000) return palette::kRed;
  if (rate >= 50000) return palette::kBrightGreen;
  return palette::kWhite;
}

std::string enhanceRateText(int32_t rate) {
  if (rate <= 0) return "0.0%";
  if (rate >= 100000) return "100%";
  double percent = rate / 1000.0;
  if (remainder(rate, 1000) > kTolerance) return formatNumber(percent, 1) + "%";
  return toText(percent) + "%";
}

std::string synthesisRateText(int32_t rate) {
  if (rate <= 0) return "0.0%";
  if (rate >= 100000) return "100%";
  return formatNumber(rate / 1000.0, 0) + "%";
}

}  // namespace mox
