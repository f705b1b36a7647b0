#include "runtime/sdl/sdl_input.h"

#include <algorithm>

namespace mox::sdl {

Rect intersect(const Rect& a, const Rect& b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect unite(const Rect& a, const Rect& b) {
  if (empty(a)) return b;
  if (empty(b)) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect absoluteRect(const Form& form, int index) {
  Rect r = form.at(index).rect;
  for (int p = form.at(index).parent; p >= 0; p = form.at(p).parent) {
    r.x += form.at(p).rect.x;
    r.y += form.at(p).rect.y;
  }
  return r;
}

Rect visibleRect(const Form& form, int index) {
  const WindowInfo& w = form.window();
  Rect r = intersect(absoluteRect(form, index), {0, 0, w.clientWidth, w.clientHeight});
  for (int p = form.at(index).parent; p >= 0 && !empty(r); p = form.at(p).parent) {
    r = intersect(r, absoluteRect(form, p));
  }
  return r;
}

bool catchesPointer(const Control& c) {
  switch (c.kind) {
    case Kind::Timer:
    case Kind::GroupBox:
      return false;
    case Kind::TransparentLabel:
      return c.onLeftDown || c.onClick || c.onMouseMove || c.handCursor;
    default:
      return true;
  }
}

int hitTest(const Form& form, int x, int y) {
  for (int i = form.size() - 1; i >= 0; --i) {
    if (!catchesPointer(form.at(i)) || !form.shown(i)) continue;
    if (contains(visibleRect(form, i), x, y)) return i;
  }
  return -1;
}

const std::string& buttonPicture(const Form& form, int index, bool hovered, bool pressed) {
  const Control& c = form.at(index);
  if (!form.reachable(index)) return c.disabledPicture.empty() ? c.picture : c.disabledPicture;
  if (hovered && pressed && !c.pressedPicture.empty()) return c.pressedPicture;
  if (hovered && !c.hoverPicture.empty()) return c.hoverPicture;
  return c.picture;
}

Rect Popup::rowRect(int item) const {
  if (item < first || item >= first + rows) return {};
  return {rect.x + 1, rect.y + 1 + (item - first) * kRowHeight, rect.w - 2, kRowHeight};
}

int Popup::itemAt(int x, int y) const {
  if (!contains(rect, x, y)) return -1;
  int row = std::clamp((y - rect.y - 1) / kRowHeight, 0, rows - 1);
  return first + row;
}

Popup placePopup(const Form& form, int list) {
  const Control& c = form.at(list);
  const WindowInfo& w = form.window();
  Rect box = absoluteRect(form, list);
  Popup p;
  p.list = list;
  p.rows = std::clamp(static_cast<int>(c.items.size()), 1, Popup::kMaxRows);
  int h = p.rows * Popup::kRowHeight + 2;
  int y = box.y + box.h;
  if (y + h > w.clientHeight) y = box.y - h;  // no room below: open upwards
  y = std::max(y, 0);
  int x = std::clamp(box.x, 0, std::max(0, w.clientWidth - box.w));
  p.rect = {x, y, box.w, h};
  p.highlighted = std::max(c.selection, 0);
  p.first = std::clamp(p.highlighted - p.rows + 1, 0, std::max(0, static_cast<int>(c.items.size()) - p.rows));
  return p;
}

void Pointer::damage(int index) {
  if (index >= 0 && form_.at(index).kind == Kind::PictureButton) damage_.push_back(visibleRect(form_, index));
}

void Pointer::setHover(int index) {
  if (index == hover_) return;
  damage(hover_);
  damage(index);
  hover_ = index;
}

void Pointer::setPressed(int index) {
  if (index == pressed_) return;
  damage(pressed_);
  damage(index);
  pressed_ = index;
}

void Pointer::move(int x, int y) {
  x_ = x;
  y_ = y;
  inside_ = true;
  if (popup_ && contains(popup_->rect, x, y)) {
    setHover(-1);
    highlight(popup_->itemAt(x, y));
    return;
  }
  int hit = hitTest(form_, x, y);
  // While a button is held, it alone may look hovered, and nothing else hears the pointer.
  if (pressed_ >= 0) {
    setHover(hit == pressed_ ? hit : -1);
    return;
  }
  setHover(hit);
  if (hit >= 0 && form_.at(hit).onMouseMove && form_.reachable(hit)) {
    form_.dispatch(hit, Event::MouseMove);
    refresh();
  }
}

void Pointer::leftDown(int x, int y) {
  move(x, y);
  if (popup_) {
    // A press outside the open list only closes it, as a list that holds the pointer does.
    if (!contains(popup_->rect, x, y)) closePopup();
    return;
  }
  int hit = hover_;
  if (hit < 0 || !form_.reachable(hit)) return;
  const Control& c = form_.at(hit);
  if (c.kind == Kind::DropDown) {
    focus_ = hit;
    openPopup(hit);
    return;
  }
  focus_ = -1;
  if (c.onLeftDown) {
    form_.dispatch(hit, Event::LeftDown);
    refresh();
  }
  if ((c.kind == Kind::PictureButton || c.kind == Kind::CheckBox) && hover_ == hit && form_.reachable(hit)) {
    setPressed(hit);
  }
}

void Pointer::leftUp(int x, int y) {
  move(x, y);
  if (popup_) {
    int item = popup_->itemAt(x, y);
    if (item >= 0) {
      int list = popup_->list;
      closePopup();
      choose(list, item);
    }
    return;
  }
  if (pressed_ < 0) return;
  int p = pressed_;
  setPressed(-1);
  if (hitTest(form_, x, y) == p && form_.reachable(p)) {
    form_.dispatch(p, Event::Click);
    refresh();
  }
}

void Pointer::wheel(int x, int y, int steps) {
  if (steps == 0) return;
  if (popup_) {
    highlight(popup_->highlighted - steps);
    return;
  }
  int list = -1;
  int hit = hitTest(form_, x, y);
  if (hit >= 0 && form_.at(hit).kind == Kind::DropDown) list = hit;
  else if (focus_ >= 0) list = focus_;
  if (list < 0 || !form_.reachable(list)) return;
  const Control& c = form_.at(list);
  int n = static_cast<int>(c.items.size());
  if (n > 0) choose(list, std::clamp(c.selection - steps, 0, n - 1));
}

bool Pointer::key(Key key) {
  if (popup_) {
    switch (key) {
      case Key::Up: highlight(popup_->highlighted - 1); break;
      case Key::Down: highlight(popup_->highlighted + 1); break;
      case Key::Enter: {
        int list = popup_->list, item = popup_->highlighted;
        closePopup();
        choose(list, item);
        break;
      }
      case Key::Escape: closePopup(); break;
    }
    return true;
  }
  if (focus_ >= 0 && form_.reachable(focus_) && (key == Key::Up || key == Key::Down)) {
    const Control& c = form_.at(focus_);
    int n = static_cast<int>(c.items.size());
    if (n > 0) choose(focus_, std::clamp(c.selection + (key == Key::Down ? 1 : -1), 0, n - 1));
    return true;
  }
  return false;
}

void Pointer::leave() {
  inside_ = false;
  setHover(-1);
}

void Pointer::refresh() {
  if (pressed_ >= 0 && !form_.reachable(pressed_)) setPressed(-1);
  if (popup_ && !form_.reachable(popup_->list)) closePopup();
  if (focus_ >= 0 && !form_.reachable(focus_)) focus_ = -1;
  if (!inside_) return;
  int hit = hitTest(form_, x_, y_);
  if (popup_ && contains(popup_->rect, x_, y_)) hit = -1;
  if (pressed_ >= 0 && hit != pressed_) hit = -1;
  setHover(hit);
}

bool Pointer::handCursor() const {
  if (popup_ && contains(popup_->rect, x_, y_)) return false;
  return hover_ >= 0 && form_.at(hover_).handCursor;
}

const std::string& Pointer::pictureOf(int index) const {
  return buttonPicture(form_, index, hover_ == index, pressed_ == index);
}

void Pointer::openPopup(int list) {
  if (popup_) closePopup();
  popup_ = placePopup(form_, list);
  damage_.push_back(popup_->rect);
}

void Pointer::closePopup() {
  if (!popup_) return;
  damage_.push_back(popup_->rect);
  popup_.reset();
}

void Pointer::choose(int list, int item) {
  form_.setSelection(list, item);
}

void Pointer::highlight(int item) {
  if (!popup_ || item < 0) return;
  int n = static_cast<int>(form_.at(popup_->list).items.size());
  item = std::clamp(item, 0, std::max(0, n - 1));
  if (item == popup_->highlighted) return;
  popup_->highlighted = item;
  if (item < popup_->first) popup_->first = item;
  if (item >= popup_->first + popup_->rows) popup_->first = item - popup_->rows + 1;
  damage_.push_back(popup_->rect);
}

std::vector<Rect> Pointer::takeDamage() {
  std::vector<Rect> out;
  out.swap(damage_);
  return out;
}

}  // namespace mox::sdl
