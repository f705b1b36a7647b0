#pragma once
// A window's damage drawn a band at a time, for a front end whose only thread must not be held for long (the web
// page): a frame draws bands until its time is up, and what it leaves waits for the next frame, joined by whatever
// changes meanwhile. Each band is painted from the form as it is when the band comes, so once the backlog is
// drained the window shows exactly what one frame drawing all of it would have shown.
#include <vector>

#include "runtime/form.h"

namespace mox::paint {

// The parts of `a` outside `b`: at most four rectangles, none overlapping.
std::vector<Rect> subtract(const Rect& a, const Rect& b);

class Backlog {
 public:
  // A frame's damage (View::takeScreenDamage).
  void add(const std::vector<Rect>& damage);
  bool empty() const { return waiting_.empty(); }
  // What waits, top to bottom, none overlapping.
  const std::vector<Rect>& waiting() const { return waiting_; }
  // The next band, taken out of the backlog: about `pixels` layout pixels (whole rows, at least one) off the top
  // of what waits in the first of `regions` where anything does, else of the highest waiting rectangle. A front
  // end that shows the window in regions of its own (the page's parts) finishes one before it starts the next.
  Rect take(int pixels, const std::vector<Rect>& regions = {});

 private:
  std::vector<Rect> waiting_;
};

}  // namespace mox::paint
