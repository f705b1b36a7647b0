#pragma once
// The success-rate tables and their display rules. Rates are in thousandths of a percent (100000 = 100 %).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mox {

// The enhancement rate for the chip whose slot tag is `chipTag`, the item codes read from the four crystal
// slots, the expert bonus and the code read from the catalyst slot.
int32_t enhanceRate(std::string_view chipTag, const std::array<double, 4>& crystalCodes, bool expertBonus,
                    double catalystCode);

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
