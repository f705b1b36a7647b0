#pragma once
// Executing the paint layer's display lists on the page's canvases: every command is placed on the screen's
// pixels at the window's scale factor (paint::Scale, the rule every front end follows) and becomes a call into
// the page's canvas executor (web_runtime.js), which decodes the pictures with the browser and draws text in the
// shipped Chinese face. How anything looks is decided by the paint layer; this only hands its commands over.
#include <array>
#include <map>
#include <string>
#include <utility>

#include "ui/paint/display_list.h"
#include "ui/paint/scale.h"

namespace mox::web {

// A canvas of the page: each window has its form's picture (kept between frames) and the screen shown.
struct Surface {
  int window = 0;
  bool screen = false;
  int id() const { return window * 2 + (screen ? 1 : 0); }
};

class Painter : public paint::TextMetrics {
 public:
  void setScale(int window, const paint::Scale& scale) { scales_.at(static_cast<size_t>(window)) = scale; }
  const paint::Scale& scale(int window) const { return scales_.at(static_cast<size_t>(window)); }

  void execute(Surface target, const paint::DisplayList& list);
  // Copies the form's picture to the screen inside `area` (layout pixels).
  void present(int window, const Rect& area);

  // In layout pixels, as the paint layer asks.
  int lineHeight(const Font& font) override;
  int width(const Font& font, std::string_view text) override;
  // Other faces arrived: every size measured so far is forgotten.
  void forgetMetrics() {
    lineHeights_.clear();
    widths_.clear();
  }

  static constexpr size_t kWidthCacheLimit = 4096;

 private:
  void draw(Surface s, const paint::Fill& f);
  void draw(Surface s, const paint::Picture& p);
  void draw(Surface s, const paint::Text& t);
  void draw(Surface s, const paint::Line& l);

  std::array<paint::Scale, 2> scales_;
  std::map<int, int> lineHeights_;
  std::map<std::pair<int, std::string>, int> widths_;
};

}  // namespace mox::web
