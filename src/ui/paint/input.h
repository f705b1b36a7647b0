#pragma once
// The pointer and keyboard side of a window, without a toolkit: abstract input events in window client
// coordinates, what the pointer hits, hover and pressed looks, clicks and left-button presses turned into form
// events, and the open list of a drop-down. A front end turns its toolkit's events into these and acts on the
// result; it never decides what a press means.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "runtime/form.h"
#include "ui/paint/display_list.h"

namespace mox::paint {

// ---- abstract events (window client coordinates) ----
enum class Button { Left, Middle, Right };
enum class Key { Up, Down, Enter, Escape };

struct PointerMove {
  int x = 0, y = 0;
};
struct PointerDown {
  int x = 0, y = 0;
  Button button = Button::Left;
};
struct PointerUp {
  int x = 0, y = 0;
  Button button = Button::Left;
};
// Whole wheel steps; positive is away from the user (up). (x, y) is where the pointer is.
struct Wheel {
  int x = 0, y = 0;
  int steps = 0;
};
struct KeyDown {
  Key key = Key::Escape;
};
struct PointerLeave {};  // the pointer left the window
struct FocusLost {};     // another window took the keyboard: an open list closes
struct CloseRequest {};  // the close box, or the window manager asked
// A tick of the form's timer control, from the start numbered `generation` (Form::timerGeneration); a tick of
// a start the logic has since replaced is dropped.
struct TimerTick {
  int control = -1;
  uint64_t generation = 0;
};
// Handlers ran outside input (a save finished, say) and may have hidden what the pointer is over: look again.
struct Refresh {};

using InputEvent = std::variant<PointerMove, PointerDown, PointerUp, Wheel, KeyDown, PointerLeave, FocusLost,
                                CloseRequest, TimerTick, Refresh>;

enum class Cursor { Arrow, Hand };

// What one event did.
struct InputResult {
  int clicked = -1;               // the control whose click ran, or -1
  bool redraw = false;            // some look changed: collect the damage and present a frame
  bool close = false;             // the window should close (close box, or an Esc nothing else used on an Esc window)
  bool used = false;              // the event meant something here (a key a toolkit may pass on when unused)
  Cursor cursor = Cursor::Arrow;  // the pointer's shape now
};

// ---- what the pointer hits ----

// Whether a control takes the pointer. Pictures and opaque labels catch it (they lie over what is beneath);
// frames, timers and transparent labels with nothing to do on a press let it through to what lies beneath,
// so a bag cell stays clickable under its count.
bool catchesPointer(const Control& c);
// The topmost shown control under the point that catches the pointer, or -1.
int hitTest(const Form& form, int x, int y);

// The open list of a drop-down: below the box when it fits inside the window, above it otherwise.
struct Popup {
  int list = -1;        // index of the drop-down control
  Rect rect;            // window coordinates, border included
  int highlighted = 0;  // item under the pointer or chosen by the keyboard
  int first = 0;        // first item shown (the list scrolls when longer than kMaxRows)
  int rows = 0;
  static constexpr int kRowHeight = 16;
  static constexpr int kMaxRows = 8;
  Rect rowRect(int item) const;  // window rectangle of an item, empty when scrolled out
  int itemAt(int x, int y) const;
};
Popup placePopup(const Form& form, int list);

// The pointer state machine of one form: hover, the held button, the open list, the list the keyboard acts on.
class Pointer {
 public:
  explicit Pointer(Form& form) : form_(form) {}

  // Pointer, wheel, key and window events; timer ticks and close requests are the window's (see view.h).
  InputResult handle(const InputEvent& event);

  void move(int x, int y);
  void leftDown(int x, int y);
  // Returns the control whose click ran, or -1.
  int leftUp(int x, int y);
  void wheel(int x, int y, int steps);
  // True when the key was used here; an unused Escape is the window's.
  bool key(Key key);
  void leave();
  // Handlers may hide or disable what the pointer is over: look again at the last position.
  void refresh();
  // An item of a drop-down chosen as the open list chooses it (a screen reader's choice); the same item again
  // does nothing.
  void choose(int list, int item);

  int hover() const { return hover_; }
  int pressed() const { return pressed_; }
  int focus() const { return focus_; }
  const std::optional<Popup>& popup() const { return popup_; }
  Cursor cursor() const;
  bool handCursor() const { return cursor() == Cursor::Hand; }
  // Whether the pointer leaving the window would change anything: the hovered control's look or the cursor. A
  // front end whose system must poll to report the leave asks for it only then.
  bool leaveMatters() const;
  const std::string& pictureOf(int index) const;
  PointerLook look() const { return {hover_, pressed_, popup_ ? popup_->list : -1}; }

  // Window rectangles whose look changed through the pointer (hover, pressed, open list) since the last call.
  std::vector<Rect> takeDamage();
  bool anyDamage() const { return !damage_.empty(); }

 private:
  void setHover(int index);
  void setPressed(int index);
  void openPopup(int list);
  void closePopup();
  void highlight(int item);
  void damage(int index);

  Form& form_;
  int x_ = -1, y_ = -1;
  int hover_ = -1;
  int pressed_ = -1;
  int focus_ = -1;  // the drop-down the keyboard and wheel act on
  bool inside_ = false;
  std::optional<Popup> popup_;
  std::vector<Rect> damage_;
};

}  // namespace mox::paint
