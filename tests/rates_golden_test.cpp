// Every enhancement bench (chip, crystals, catalyst, expert bonus) and every synthesis pair with the rate, text
// and colour it shows, compared line by line with tests/golden/rates.txt, so a change names the row it touched.
// MOX_UPDATE_GOLDEN=1 rewrites the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "runtime/value.h"
#include "sim/rates.h"

namespace {

std::string colourName(uint32_t c) {
  return c == 0x0000FF ? "red" : c == 0x00FF00 ? "green" : c == 0xFFFFFF ? "white" : "?";
}

std::vector<std::string> computeRows() {
  std::vector<std::string> rows;
  const int chips[] = {1, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int chip : chips) {
    // The crystal kinds that may lie beside this chip; small and magic never together.
    const std::vector<int> kinds = chip >= 13 ? std::vector<int>{3, 4} : std::vector<int>{2, 3};
    for (int n = 0; n <= 4; ++n) {
      for (int lesser = 0; lesser <= n; ++lesser) {
        std::array<double, 4> crystals{};
        std::string set;
        for (int i = 0; i < n; ++i) {
          const int code = i < lesser ? (chip >= 13 ? 4 : 2) : 3;
          crystals[static_cast<size_t>(i)] = code;
          set += std::to_string(code);
        }
        for (int catalyst : {0, 5}) {
          for (bool expert : {false, true}) {
            const int32_t rate = mox::enhanceRate(std::to_string(chip), crystals, expert, catalyst);
            char line[160];
            std::snprintf(line, sizeof line,
                          "enhance chip=%d crystals=%s catalyst=%d expert=%d rate=%d text=%s colour=%s", chip,
                          set.empty() ? "-" : set.c_str(), catalyst ? 1 : 0, expert ? 1 : 0, rate,
                          mox::enhanceRateText(rate).c_str(), colourName(mox::rateColour(rate)).c_str());
            rows.push_back(line);
          }
        }
      }
    }
  }
  for (int a = 7; a <= 14; ++a) {
    for (int b = 7; b <= 14; ++b) {
      for (bool expert : {false, true}) {
        const mox::SynthesisOutlook o = mox::synthesisOutlook(a, b, expert);
        char line[160];
        std::snprintf(line, sizeof line, "synthesis chips=%d,%d expert=%d rate=%d text=%s colour=%s level=%d label=%s",
                      a, b, expert ? 1 : 0, o.rate, mox::synthesisRateText(o.rate).c_str(),
                      colourName(mox::rateColour(o.rate)).c_str(), o.level, o.label.c_str());
        rows.push_back(line);
      }
    }
  }
  return rows;
}

}  // namespace

TEST(RatesGolden, EveryBenchAndPairMatchesTheGoldenTable) {
  const std::string path = std::string(MOX_SOURCE_DIR) + "/tests/golden/rates.txt";
  const std::vector<std::string> rows = computeRows();
  if (const char* update = std::getenv("MOX_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream out(path);
    for (const std::string& row : rows) out << row << "\n";
    GTEST_SKIP() << "rewrote " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::vector<std::string> golden;
  for (std::string line; std::getline(in, line);) golden.push_back(line);
  ASSERT_EQ(golden.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i], golden[i]) << "row " << i + 1;
}
