#include "ui/paint/backlog.h"

#include <algorithm>

#include "ui/paint/display_list.h"

namespace mox::paint {

std::vector<Rect> subtract(const Rect& a, const Rect& b) {
  const Rect c = intersect(a, b);
  if (paint::empty(c)) return paint::empty(a) ? std::vector<Rect>{} : std::vector<Rect>{a};
  std::vector<Rect> out;
  const auto keep = [&out](const Rect& r) {
    if (!paint::empty(r)) out.push_back(r);
  };
  keep({a.x, a.y, a.w, c.y - a.y});                      // above
  keep({a.x, c.y + c.h, a.w, a.y + a.h - (c.y + c.h)});  // below
  keep({a.x, c.y, c.x - a.x, c.h});                      // left
  keep({c.x + c.w, c.y, a.x + a.w - (c.x + c.w), c.h});  // right
  return out;
}

namespace {

void removeFrom(std::vector<Rect>& rects, const Rect& area) {
  std::vector<Rect> out;
  for (const Rect& r : rects) {
    for (const Rect& piece : subtract(r, area)) out.push_back(piece);
  }
  rects.swap(out);
}

void sortTopDown(std::vector<Rect>& rects) {
  std::sort(rects.begin(), rects.end(),
            [](const Rect& a, const Rect& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
}

}  // namespace

void Backlog::add(const std::vector<Rect>& damage) {
  // New damage may overlap what waits: the overlap is taken once.
  for (const Rect& r : damage) {
    if (paint::empty(r)) continue;
    removeFrom(waiting_, r);
    waiting_.push_back(r);
  }
  // Damage that has come apart in many pieces is taken as the one rectangle around them.
  if (waiting_.size() > 32) {
    Rect all;
    for (const Rect& r : waiting_) all = unite(all, r);
    waiting_.assign(1, all);
  }
  sortTopDown(waiting_);
}

Rect Backlog::take(int pixels, const std::vector<Rect>& regions) {
  if (waiting_.empty()) return {};
  Rect from = waiting_.front();
  for (const Rect& region : regions) {
    const auto in = std::find_if(waiting_.begin(), waiting_.end(),
                                 [&](const Rect& r) { return !paint::empty(intersect(r, region)); });
    if (in == waiting_.end()) continue;
    from = intersect(*in, region);
    break;
  }
  const Rect band{from.x, from.y, from.w, std::clamp(pixels / std::max(1, from.w), 1, from.h)};
  removeFrom(waiting_, band);
  sortTopDown(waiting_);
  return band;
}

}  // namespace mox::paint
