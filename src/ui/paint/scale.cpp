#include "ui/paint/scale.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <locale>
#include <sstream>
#include <string>

#include "assets/assets.h"

namespace mox::paint {

Scale::Scale(double factor) {
  if (!std::isfinite(factor)) factor = kMin;
  factor = std::clamp(factor, kMin, kMax);
  factor_ = std::round(factor / kStep) * kStep;
}

Rect Scale::rect(const Rect& r) const {
  if (identity()) return r;
  const int x0 = edge(r.x), y0 = edge(r.y);
  return {x0, y0, edge(r.x + r.w) - x0, edge(r.y + r.h) - y0};
}

int Scale::toLayout(int physical) const {
  int x = static_cast<int>(std::floor((physical + 0.5) / factor_));
  while (x > INT_MIN / 4 && edge(x) > physical) --x;
  while (x < INT_MAX / 4 && edge(x + 1) <= physical) ++x;
  return x;
}

std::vector<Rect> lineRects(int x0, int y0, int x1, int y1, const Scale& scale) {
  if (x0 == x1 || y0 == y1) {
    return {scale.rect({std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1})};
  }
  // Bresenham between the two end pixels' places on the screen, a square of the line's width at each step.
  const int width = scale.lineWidth();
  int x = scale.edge(x0), y = scale.edge(y0);
  const int ex = scale.edge(x1), ey = scale.edge(y1);
  const int dx = std::abs(ex - x), dy = -std::abs(ey - y);
  const int sx = x < ex ? 1 : -1, sy = y < ey ? 1 : -1;
  int err = dx + dy;
  std::vector<Rect> out;
  out.reserve(static_cast<size_t>(std::max(dx, -dy)) + 1);
  for (;;) {
    out.push_back({x, y, width, width});
    if (x == ex && y == ey) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  return out;
}

std::vector<Rect> tileRects(int x, int y, int w, int h, const Rect& clip, const Scale& scale) {
  std::vector<Rect> out;
  if (w <= 0 || h <= 0 || clip.w <= 0 || clip.h <= 0) return out;
  // From the first copy that reaches into the clip.
  const int x0 = clip.x > x ? x + (clip.x - x) / w * w : x;
  const int y0 = clip.y > y ? y + (clip.y - y) / h * h : y;
  for (int ty = y0; ty < clip.y + clip.h; ty += h) {
    for (int tx = x0; tx < clip.x + clip.w; tx += w) out.push_back(scale.rect({tx, ty, w, h}));
  }
  return out;
}

PictureSource pictureSource(const std::string& asset, const Scale& scale) {
  if (!scale.identity()) {
    std::string doubled = asset + "@2x";
    // A build that fetches the 2x set later names it before its bytes are there: the 1x picture until then.
    const assets::Asset* a = assets::find(doubled);
    if (a && (!a->bytes.empty() || !a->pixels.empty())) return {std::move(doubled), 2};
  }
  return {asset, 1};
}

std::optional<double> parseScale(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n')) text.remove_suffix(1);
  if (text.empty() || text.size() > 16) return std::nullopt;
  std::string s(text);
  std::replace(s.begin(), s.end(), ',', '.');  // as some locales write it
  // Read in the classic locale whatever the program's (floating-point std::from_chars is missing from some
  // standard libraries, Emscripten's among them).
  std::istringstream in(s);
  in.imbue(std::locale::classic());
  double v = 0;
  if (!(in >> v) || in.peek() != std::char_traits<char>::eof() || !std::isfinite(v) || v <= 0) return std::nullopt;
  return v;
}

std::pair<Scale, bool> desktopScale(const ScaleSources& sources) {
  if (sources.forced) {
    if (auto v = parseScale(*sources.forced)) return {Scale(*v), true};
  }
  if (sources.toolkit) {
    if (auto v = parseScale(*sources.toolkit)) return {Scale(*v), false};
  }
  if (sources.dpi && std::isfinite(*sources.dpi) && *sources.dpi > 0) return {Scale(*sources.dpi / 96.0), false};
  if (sources.drawableRatio && std::isfinite(*sources.drawableRatio) && *sources.drawableRatio > 0) {
    return {Scale(*sources.drawableRatio), false};
  }
  return {Scale(), false};
}

Scale fitScale(Scale wanted, int clientWidth, int clientHeight, int areaWidth, int areaHeight,
               const std::function<std::pair<int, int>(const Scale&)>& frameAt) {
  for (double f = wanted.factor(); f > Scale::kMin; f -= Scale::kStep) {
    const Scale s(f);
    const auto [frameWidth, frameHeight] = frameAt ? frameAt(s) : std::pair<int, int>{0, 0};
    if (s.edge(clientWidth) + frameWidth <= areaWidth && s.edge(clientHeight) + frameHeight <= areaHeight) return s;
  }
  return Scale();
}

}  // namespace mox::paint
