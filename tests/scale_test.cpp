// The scale factor between layout and screen pixels: snapping, where edges land, the pointer's way back, the
// desktop's settings in their order, and fitting a window to a screen.
#include <gtest/gtest.h>

#include "ui/paint/scale.h"

namespace mox::paint {
namespace {

TEST(Scale, SnapsToQuarterStepsWithinOneToThree) {
  EXPECT_EQ(Scale(1.4).factor(), 1.5);
  EXPECT_EQ(Scale(1.1).factor(), 1.0);
  EXPECT_EQ(Scale(0.5).factor(), 1.0);
  EXPECT_EQ(Scale(7).factor(), 3.0);
  EXPECT_EQ(Scale(std::nan("")).factor(), 1.0);
}

TEST(Scale, NeighbouringRectanglesMeetAndPointerComesBackToTheSamePixel) {
  for (double f = 1.0; f <= 3.0; f += 0.25) {
    const Scale s(f);
    for (int x = -3; x < 40; ++x) {
      const Rect a = s.rect({x, 5, 1, 3}), b = s.rect({x + 1, 5, 2, 3});
      ASSERT_EQ(a.x + a.w, b.x) << f << " at " << x;
      ASSERT_GE(a.w, 1);
      // Every screen pixel of a layout pixel maps back to it.
      for (int p = a.x; p < a.x + a.w; ++p) ASSERT_EQ(s.toLayout(p), x) << f << " at " << p;
    }
  }
  const Scale two(2);
  EXPECT_EQ(two.rect({10, 20, 30, 40}), (Rect{20, 40, 60, 80}));
  EXPECT_EQ(two.toLayout(2 * 123), 123);
  EXPECT_EQ(Scale(1.5).fontHeight(12), 18);
  EXPECT_EQ(Scale(1).rect({1, 2, 3, 4}), (Rect{1, 2, 3, 4}));
}

TEST(Scale, DesktopSettingsInTheirOrder) {
  EXPECT_EQ(desktopScale({}).first.factor(), 1.0);
  EXPECT_EQ(desktopScale({.dpi = 192}).first.factor(), 2.0);
  EXPECT_EQ(desktopScale({.dpi = 144}).first.factor(), 1.5);
  EXPECT_EQ(desktopScale({.dpi = 120}).first.factor(), 1.25);
  EXPECT_EQ(desktopScale({.drawableRatio = 2.0}).first.factor(), 2.0);
  EXPECT_EQ(desktopScale({.toolkit = "2", .dpi = 144}).first.factor(), 2.0);
  const auto forced = desktopScale({.forced = "1,75", .toolkit = "2", .dpi = 144});
  EXPECT_EQ(forced.first.factor(), 1.75);
  EXPECT_TRUE(forced.second);
  // What cannot be read is passed over.
  EXPECT_EQ(desktopScale({.forced = "big", .toolkit = "-1", .dpi = 144}), std::make_pair(Scale(1.5), false));
  EXPECT_FALSE(parseScale("2x"));
  EXPECT_FALSE(parseScale("0"));
  EXPECT_EQ(parseScale(" 1.5\n"), 1.5);
}

TEST(Scale, AWindowTooBigForItsScreenTakesTheLargestFactorThatFits) {
  // 906 x 682 with a 40-pixel title bar on a 1600 x 900 work area: 1.5 is too tall, 1.25 fits.
  const auto frame = [](const Scale& s) { return std::make_pair(s.edge(2), s.edge(30)); };
  EXPECT_EQ(fitScale(Scale(1.5), 906, 682, 1600, 900, frame).factor(), 1.25);
  EXPECT_EQ(fitScale(Scale(1.5), 906, 682, 2600, 1800, frame).factor(), 1.5);
  EXPECT_EQ(fitScale(Scale(3), 906, 682, 800, 600, frame).factor(), 1.0);
  EXPECT_EQ(fitScale(Scale(2), 906, 682, 1812, 1364).factor(), 2.0);
}

TEST(Scale, LinesAndTilesOnTheScreen) {
  const Scale two(2);
  // A straight line is one rectangle two screen pixels thick; a slanted one a run of 2 x 2 squares end to end.
  EXPECT_EQ(lineRects(3, 4, 3, 9, two), (std::vector<Rect>{{6, 8, 2, 12}}));
  const auto slant = lineRects(0, 0, 4, 2, two);
  EXPECT_EQ(slant.front(), (Rect{0, 0, 2, 2}));
  EXPECT_EQ(slant.back(), (Rect{8, 4, 2, 2}));
  EXPECT_EQ(slant.size(), 9u);
  // Tiles of 10 x 10 from (0, 0) covering (15, 5, 10, 10): four copies, meeting edge to edge at 1.25.
  const auto tiles = tileRects(0, 0, 10, 10, {15, 5, 10, 10}, Scale(1.25));
  ASSERT_EQ(tiles.size(), 4u);
  EXPECT_EQ(tiles[0].x + tiles[0].w, tiles[1].x);
  EXPECT_EQ(tiles[0].y + tiles[0].h, tiles[2].y);
  EXPECT_EQ(tiles[0], (Rect{13, 0, 12, 13}));
  EXPECT_EQ(tiles[1], (Rect{25, 0, 13, 13}));
}

}  // namespace
}  // namespace mox::paint
