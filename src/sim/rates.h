#pragma once
// The success-rate tables and their display rules. Rates are in thousandths of a percent (100000 = 100 %).
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace mox {

// The enhancement rate for the chip whose slot tag is `chipTag`, the item codes read from the four crystal
// slots, the expert bonus and the code read from the catalyst slot.
int32_t enhanceRate(std::string_view chipTag, const std::array<double, 4>& crystalCodes, bool expertBonus,
                    double catalystCode);
// The same rate from a chip level (0..9) and the crystal item codes on the bench.
int32_t enhanceRate(int level, std::span<const int32_t> crystalCodes, bool expertBonus, bool catalyst);
// Whether a crystal of item code `code` counts towards the rate of a chip of `level`: the small and the big
// crystal below +7, the magic and the big crystal at +7 and +8, none at +9.
bool crystalFits(int level, int32_t code);

// The draws of an attempt. The first is randomInt(1, 1000) against the threshold; a chip +8 that passes it must
// pass randomInt(0, 400) against the same threshold as well.
struct DrawRange {
  int32_t low, high;
};
inline constexpr DrawRange kFirstDraw{1, 1000};
inline constexpr DrawRange kSecondDraw{0, 400};
inline constexpr int kSecondDrawLevel = 8;
// The lab bonus raises the attempt's rate by 30 %, truncated; it is not part of the rate shown.
int32_t labRate(int32_t rate, bool labBonus);
// The threshold a draw must not exceed: the rate in per mille, truncated.
int32_t drawThreshold(int32_t rate);
// An unprotected failed enhancement lowers a chip +5, +6 or +8 by one level; any other failure leaves it.
constexpr bool failureLowers(int level) { return level == 5 || level == 6 || level == 8; }

struct SynthesisOutlook {
  int32_t rate = 0;
  int32_t level = 0;
  std::string label;  // "+N", or empty when the bench does not hold two chips of level 1 or more
};
SynthesisOutlook synthesisOutlook(double code1, double code2, bool expertBonus);

// Text colour of a rate (0x00BBGGRR): red below 5 %, green from 50 %, white otherwise and at 0.
uint32_t rateColour(int32_t rate);
std::string enhanceRateText(int32_t rate);
std::string synthesisRateText(int32_t rate);

}  // namespace mox
