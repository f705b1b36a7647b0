#pragma once
// One scale factor between the layout's pixels and the screen's. Layouts, forms and the paint layer's decisions
// stay in layout pixels; a front end executes a display list at a factor s (from the system's setting) and turns
// the pointer's screen pixels back into layout pixels before the input layer sees them.
//
// Factors run from 1 to 3 in steps of a quarter. Every layout edge lands on the screen pixel nearest s times it,
// and a rectangle is the span between its two edges' places, so rectangles that meet in the layout meet on the
// screen (no gap, no overlap) whatever the factor.
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/form.h"

namespace mox::paint {

class Scale {
 public:
  static constexpr double kMin = 1.0, kMax = 3.0, kStep = 0.25;

  Scale() = default;
  // Any factor, snapped to the nearest step within [kMin, kMax].
  explicit Scale(double factor);

  double factor() const { return factor_; }
  bool identity() const { return factor_ == 1.0; }

  // Where a layout edge (or point) lies on the screen.
  int edge(int v) const { return static_cast<int>(std::lround(v * factor_)); }
  // The screen pixels a layout rectangle covers.
  Rect rect(const Rect& r) const;
  // A font's pixel height on the screen: text is rendered at this size, never stretched.
  int fontHeight(int layoutHeight) const { return edge(layoutHeight) > 0 ? edge(layoutHeight) : 1; }
  // The width of a one-pixel layout line on the screen.
  int lineWidth() const { return edge(1) > 0 ? edge(1) : 1; }
  // The layout pixel whose screen pixels hold this one (the inverse of rect: a click lands on what is drawn there).
  int toLayout(int physical) const;

  bool operator==(const Scale&) const = default;

 private:
  double factor_ = 1.0;
};

// The screen rectangles a one-pixel layout line from (x0, y0) to (x1, y1), both ends included, covers: one for a
// straight line, squares a screen line wide along a slanted one (so it is as thick as a straight one, not a stair
// of enlarged layout pixels).
std::vector<Rect> lineRects(int x0, int y0, int x1, int y1, const Scale& scale);

// Where the copies of a picture of w x h layout pixels, tiled right and down from (x, y), land on the screen to
// cover `clip` (layout pixels); each copy is drawn at its rectangle's size.
std::vector<Rect> tileRects(int x, int y, int w, int h, const Rect& clip, const Scale& scale);

// The embedded picture to draw a layout picture from at a scale: above 1, its twice-as-large drawing (`NAME@2x`)
// where the program carries one, else the picture itself. `density` is the source's pixels per layout pixel.
struct PictureSource {
  std::string asset;
  int density = 1;
};
PictureSource pictureSource(const std::string& asset, const Scale& scale);

// A factor as written by a person or the environment ("2", "1.5", "1,25"): nullopt for anything that is not a
// number, or not above 0. Snap it with Scale.
std::optional<double> parseScale(std::string_view text);

// Where a desktop keeps its scale setting, in the order a program follows it.
struct ScaleSources {
  std::optional<std::string_view> forced;   // the program's own override (MOXSIM_SCALE)
  std::optional<std::string_view> toolkit;  // the desktop toolkits' variable (GDK_SCALE)
  std::optional<double> dpi;                // the desktop's font resolution (Xft.dpi); 96 is a factor of 1
  std::optional<double> drawableRatio;      // drawable pixels per window point (Wayland)
};
// The factor those sources give, and whether it was forced (a forced factor is kept even where a window would
// not fit the screen). Sources that are absent or unreadable are skipped; with none, 1.
std::pair<Scale, bool> desktopScale(const ScaleSources& sources);

// The largest factor on the grid, not above `wanted` and not below kMin, at which a window whose client area is
// `client` layout pixels, with its frame (`frameAt(factor)` gives the frame's extra width and height in screen
// pixels; the frame may grow with the factor), fits inside `area` screen pixels. When nothing fits, kMin.
Scale fitScale(Scale wanted, int clientWidth, int clientHeight, int areaWidth, int areaHeight,
               const std::function<std::pair<int, int>(const Scale&)>& frameAt = {});

}  // namespace mox::paint
