// Resampling pictures for enlarged windows, and keying a picture's see-through colour.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/paint/display_list.h"
#include "ui/paint/resample.h"

namespace {

using mox::paint::keyOut;
using mox::paint::resample;
using mox::paint::resampleQuick;
using Pixels = std::vector<std::uint32_t>;

int alphaOf(std::uint32_t p) { return static_cast<int>(p >> 24); }

// A picture opaque white left of column `edge` and see-through from there on.
Pixels halfWhite(int w, int h, int edge) {
  Pixels p(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p[static_cast<size_t>(y * w + x)] = x < edge ? 0xFFFFFFFFu : 0u;
  return p;
}

TEST(Resample, SizesAreExactAndBadInputGivesNothing) {
  const Pixels p = halfWhite(9, 7, 4);
  for (auto [w, h] : {std::pair{18, 14}, {13, 10}, {1, 1}, {9, 20}, {30, 7}, {4, 3}})
    EXPECT_EQ(resample(p, 9, 7, w, h).size(), static_cast<size_t>(w * h)) << w << "x" << h;
  EXPECT_EQ(resample(p, 9, 7, 9, 7), p);  // the same size is the same picture
  EXPECT_TRUE(resample(p, 9, 6, 18, 14).empty());
  EXPECT_TRUE(resample(p, 9, 7, 0, 14).empty());
  EXPECT_TRUE(resample({}, 0, 0, 2, 2).empty());
}

TEST(Resample, FlatColourStaysExactlyFlat) {
  const std::uint32_t half = 0x80402010;  // premultiplied half-transparent
  const Pixels p(11 * 6, half);
  for (auto [w, h] : {std::pair{22, 12}, {8, 5}, {17, 3}, {3, 17}})
    for (std::uint32_t q : resample(p, 11, 6, w, h)) ASSERT_EQ(q, half) << w << "x" << h;
}

TEST(Resample, TheQuickFilterKeepsSizesFlatColoursAndEdgesAndStaysPremultiplied) {
  const Pixels p = halfWhite(9, 7, 4);
  EXPECT_EQ(resampleQuick(p, 9, 7, 13, 10).size(), 130u);
  EXPECT_TRUE(resampleQuick(p, 9, 6, 18, 14).empty());
  EXPECT_TRUE(resampleQuick({}, 0, 0, 2, 2).empty());
  const std::uint32_t half = 0x80402010;
  for (std::uint32_t q : resampleQuick(Pixels(11 * 6, half), 11, 6, 8, 5)) ASSERT_EQ(q, half);
  // The 2x set at 1.5x: the edge at column 1000 of 1812 lands at 750 of 1359, blurred by a pixel at most.
  const Pixels out = resampleQuick(halfWhite(1812, 2, 1000), 1812, 2, 1359, 3);
  for (int y = 0; y < 3; ++y) {
    const std::uint32_t* row = &out[static_cast<size_t>(y * 1359)];
    EXPECT_EQ(row[748], 0xFFFFFFFFu);
    EXPECT_NEAR(alphaOf(row[749]) + alphaOf(row[750]), 255, 2);
    EXPECT_EQ(row[751], 0u);
  }
  for (std::uint32_t q : resampleQuick(halfWhite(16, 16, 5), 16, 16, 11, 13))
    ASSERT_TRUE(((q >> 16) & 0xFF) <= q >> 24 && (q & 0xFF) <= q >> 24);
}

TEST(Resample, HardEdgeLandsAtItsScaledPlace) {
  // The 2x set shown at 1.5x: an edge at column 1000 of 1812 lies at 750 of 1359. The filter's lobes reach less
  // than 7 pixels from the edge (3 source pixels, widened when shrinking).
  for (auto [from, edge, to, at] : {std::tuple{1812, 1000, 1359, 750}, {20, 10, 40, 20}, {40, 20, 20, 10}}) {
    const Pixels out = resample(halfWhite(from, 2, edge), from, 2, to, 3);
    ASSERT_EQ(out.size(), static_cast<size_t>(to * 3));
    for (int y = 0; y < 3; ++y) {
      const std::uint32_t* row = &out[static_cast<size_t>(y * to)];
      EXPECT_EQ(row[at - 7], 0xFFFFFFFFu) << from << "->" << to;
      EXPECT_GT(alphaOf(row[at - 1]), 128) << from << "->" << to;
      EXPECT_LT(alphaOf(row[at]), 128) << from << "->" << to;
      EXPECT_NEAR(alphaOf(row[at - 1]) + alphaOf(row[at]), 255, 2) << from << "->" << to;
      EXPECT_EQ(row[at + 7], 0u) << from << "->" << to;
    }
  }
}

TEST(Resample, ResultStaysPremultipliedWhereTheFilterOvershoots) {
  // Bright opaque pixels beside see-through ones and dark opaque ones: Lanczos rings at every edge.
  Pixels p(16 * 16);
  for (int i = 0; i < 16 * 16; ++i)
    p[static_cast<size_t>(i)] = i % 3 == 0 ? 0xFFFFFFFFu : i % 3 == 1 ? 0u : 0xFF000000u;
  for (auto [w, h] : {std::pair{37, 29}, {11, 7}, {24, 24}}) {
    for (std::uint32_t q : resample(p, 16, 16, w, h)) {
      const std::uint32_t a = q >> 24;
      ASSERT_LE((q >> 16) & 0xFF, a);
      ASSERT_LE((q >> 8) & 0xFF, a);
      ASSERT_LE(q & 0xFF, a);
    }
  }
}

TEST(Resample, KeyingClearsPixelsWithinTheToleranceOnly) {
  static_assert(mox::paint::Picture::kKeyTolerance == 8);
  const std::uint32_t page = 0x000A1527;  // the page colour (39, 21, 10) as 0x00BBGGRR
  Pixels p = {0xFF2F150Au,                // red 8 above: within
              0xFF271513u,                // blue 9 above: outside
              0xFF270D0Au,                // green 8 below: within
              0xFFFFFFFFu};
  EXPECT_TRUE(keyOut(p, page));
  EXPECT_EQ(p, (Pixels{0u, 0xFF271513u, 0u, 0xFFFFFFFFu}));
  EXPECT_FALSE(keyOut(p, page));
}

}  // namespace
