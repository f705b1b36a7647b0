#pragma once
// One top-level window as a front end sees it, for any form: abstract input in, timer starts and stops out,
// and per frame the rectangles to redraw with the display lists that fill them. The front end owns the real
// window, the clock and the pixels; it keeps no state of the form's own.
//
// A frame, for a front end that keeps the form's picture in a canvas between frames (as the SDL and Win32 ones do):
//   view.collect(overlay);                          // after every batch of events
//   for (Rect r : view.takeFormDamage())   execute(canvas, view.paintForm(r));
//   for (Rect r : view.takeScreenDamage()) { copy canvas to screen in r; execute(screen, view.paintTop(r)); }
// The form damage is always part of the screen damage. Without a canvas (the web page keeps none: the browser
// would copy a canvas drawn from another whole at each frame), execute paintForm and paintTop for each screen
// rectangle.
#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/form.h"
#include "ui/paint/display_list.h"
#include "ui/paint/input.h"

namespace mox::paint {

// A change to one of the form's timers: stop any clock running for `control`, and when `interval` is above 0
// start one with that period whose ticks carry `generation` (TimerTick).
struct TimerChange {
  int control = -1;
  int interval = 0;  // milliseconds; 0 = stopped
  uint64_t generation = 0;
};

class View {
 public:
  View(Form& form, TextMetrics& metrics);

  Form& form() { return form_; }
  const Pointer& pointer() const { return pointer_; }
  Rect client() const;

  // Every event, timer ticks and close requests included. A tick runs its timer's handler unless the timer was
  // restarted or stopped since; an Esc nothing else used closes a window whose form says so.
  InputResult handle(const InputEvent& event);
  // An item of a drop-down chosen without its list (Pointer::choose); nothing for a control out of reach.
  void choose(int list, int item);

  // Timers started, restarted or stopped by the logic since the last call (all running ones at the first).
  std::vector<TimerChange> takeTimerChanges();

  // Gathers what changed since the last frame: controls the logic marked, looks the pointer changed, and the
  // overlay composed over this window (pass none for a front end that shows it in a window of its own).
  void collect(const std::optional<Overlay>& overlay = std::nullopt);
  // Marks the whole window for presenting again (exposed, resized), without redrawing the form.
  void exposeAll();
  void redrawAll();
  std::vector<Rect> takeFormDamage();
  std::vector<Rect> takeScreenDamage();
  bool anyDamage() const { return !formDamage_.empty() || !screenDamage_.empty(); }

  // The form alone inside `area` (for the canvas), and what lies over it there: the open list and the overlay.
  DisplayList paintForm(Rect area) const;
  DisplayList paintTop(Rect area) const;

 private:
  Form& form_;
  TextMetrics& metrics_;
  Pointer pointer_;
  std::vector<uint64_t> timerGenerations_;  // per control; what the front end was last told
  bool timersKnown_ = false;
  std::optional<Overlay> overlay_;
  std::vector<Rect> formDamage_, screenDamage_;
};

}  // namespace mox::paint
