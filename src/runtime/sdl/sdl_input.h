#pragma once
// The pointer and keyboard side of the desktop window, kept free of SDL types so it can be driven in tests:
// where each control lies on the window, which control the pointer is over, hover and pressed looks, clicks
// and left-button presses turned into form events, and the open list of a drop-down. The SDL window feeds it
// positions and keys and redraws the rectangles it reports as damaged.
#include <optional>
#include <string>
#include <vector>

#include "runtime/form.h"

namespace mox::sdl {

// The control's rectangle in window client coordinates.
Rect absoluteRect(const Form& form, int index);
// The part of the window where the control may draw: its rectangle cut by every parent's and by the client area.
Rect visibleRect(const Form& form, int index);
Rect intersect(const Rect& a, const Rect& b);
Rect unite(const Rect& a, const Rect& b);
inline bool empty(const Rect& r) { return r.w <= 0 || r.h <= 0; }
inline bool contains(const Rect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h; }

// Whether a control takes the pointer. Pictures and opaque labels catch it (they lie over what is beneath);
// frames, timers and transparent labels with nothing to do on a press let it through to what lies beneath,
// so a bag cell stays clickable under its count.
bool catchesPointer(const Control& c);
// The topmost shown control under the point that catches the pointer, or -1.
int hitTest(const Form& form, int x, int y);

// The picture a picture button shows now ("" for none).
const std::string& buttonPicture(const Form& form, int index, bool hovered, bool pressed);

enum class Key { Up, Down, Enter, Escape };

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

class Pointer {
 public:
  explicit Pointer(Form& form) : form_(form) {}

  void move(int x, int y);
  void leftDown(int x, int y);
  void leftUp(int x, int y);
  // Positive is away from the user (up).
  void wheel(int x, int y, int steps);
  // True when the key was used here; an unused Escape closes the window.
  bool key(Key key);
  // The pointer left the window.
  void leave();
  // Handlers may hide or disable what the pointer is over: look again at the last position.
  void refresh();

  int hover() const { return hover_; }
  int pressed() const { return pressed_; }
  int focus() const { return focus_; }
  const std::optional<Popup>& popup() const { return popup_; }
  bool handCursor() const;
  const std::string& pictureOf(int index) const;

  // Window rectangles whose look changed through the pointer (hover, pressed, open list) since the last call.
  std::vector<Rect> takeDamage();

 private:
  void setHover(int index);
  void setPressed(int index);
  void openPopup(int list);
  void closePopup();
  void choose(int list, int item);
  void highlight(int item);
  void damage(int index);

  Form& form_;
  int x_ = -1, y_ = -1;
  int hover_ = -1;
  int pressed_ = -1;
  int focus_ = -1;  // the drop-down the keyboard and wheel act on
  bool inside_ = false;
  std::optional<Popup> popup_;
  bool popupJustOpened_ = false;
  std::vector<Rect> damage_;
};

}  // namespace mox::sdl
