#pragma once
// Executing the paint layer's display lists on the page's canvases: every command becomes one call into the
// page's canvas executor (web_runtime.js), which decodes the pictures with the browser, draws text in the
// shipped Chinese face and scales everything to the device's pixels. How anything looks is decided by the paint
// layer; this only hands its commands over.
#include <map>
#include <string>
#include <utility>

#include "ui/paint/display_list.h"

namespace mox::web {

// A canvas of the page: each window has its form's picture (kept between frames) and the screen shown.
struct Surface {
  int window = 0;
  bool screen = false;
  int id() const { return window * 2 + (screen ? 1 : 0); }
};

class Painter : public paint::TextMetrics {
 public:
  void execute(Surface target, const paint::DisplayList& list);
  // Copies the form's picture to the screen inside `area` (layout pixels).
  void present(int window, const Rect& area);

  // Other faces arrived: every size measured so far is forgotten.
  void forgetMetrics() {
    lineHeights_.clear();
    widths_.clear();
  }

  int lineHeight(const Font& font) override;
  int width(const Font& font, std::string_view text) override;

  static constexpr size_t kWidthCacheLimit = 4096;

 private:
  std::map<int, int> lineHeights_;
  std::map<std::pair<int, std::string>, int> widths_;
};

}  // namespace mox::web
