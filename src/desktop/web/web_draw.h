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

class Painter : public paint::TextMetrics {
 public:
  void setScale(int window, const paint::Scale& scale) { scales_.at(static_cast<size_t>(window)) = scale; }
  const paint::Scale& scale(int window) const { return scales_.at(static_cast<size_t>(window)); }

  // Draws on what shows the window, inside the band last targeted.
  void execute(int window, const paint::DisplayList& list);
  // Asks the page for every picture of the list at the size it would be drawn at, without drawing: returns
  // whether all of them are ready to draw (the page makes the others, and asks for a frame once it has).
  bool prepare(int window, const paint::DisplayList& list);
  // What comes next is drawn inside `area` (layout pixels): only the page's canvases that show some of it are
  // drawn on.
  void target(int window, const Rect& area);
  // What was drawn is rasterised now, where the time it takes is counted, not when the browser shows it.
  void flush(int window);

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
  void draw(int window, const paint::Fill& f);
  void draw(int window, const paint::Picture& p);
  // Each place a picture is drawn at, in the canvas's pixels (none while the page has no size for it yet).
  template <typename Each>
  void places(int window, const paint::Picture& p, Each each);
  void draw(int window, const paint::Text& t);
  void draw(int window, const paint::Line& l);

  std::array<paint::Scale, 2> scales_;
  std::map<int, int> lineHeights_;
  std::map<std::pair<int, std::string>, int> widths_;
};

}  // namespace mox::web
