#include "ui/paint/input.h"

#include <algorithm>

namespace mox::paint {

bool catchesPointer(const Control& c) {
  switch (c.kind) {
    case Kind::Timer:
    case Kind::GroupBox: return false;
    case Kind::TransparentLabel: return c.onLeftDown || c.onClick || c.onMouseMove || c.handCursor;
    default: return true;
  }
}

int hitTest(const Form& form, int x, int y) {
  for (int i = form.size() - 1; i >= 0; --i) {
    if (!catchesPointer(form.at(i)) || !form.shown(i)) continue;
    if (contains(visibleRect(form, i), x, y)) return i;
  }
  return -1;
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

InputResult Pointer::handle(const InputEvent& event) {
  InputResult out;
  out.used = true;
  if (const auto* e = std::get_if<PointerMove>(&event)) {
    move(e->x, e->y);
  } else if (const auto* e = std::get_if<PointerDown>(&event)) {
    if (e->button == Button::Left)
      leftDown(e->x, e->y);
    else
      move(e->x, e->y);
  } else if (const auto* e = std::get_if<PointerUp>(&event)) {
    if (e->button == Button::Left)
      out.clicked = leftUp(e->x, e->y);
    else
      move(e->x, e->y);
  } else if (const auto* e = std::get_if<Wheel>(&event)) {
    wheel(e->x, e->y, e->steps);
  } else if (const auto* e = std::get_if<KeyDown>(&event)) {
    out.used = key(e->key);
  } else if (std::holds_alternative<PointerLeave>(event)) {
    leave();
  } else if (std::holds_alternative<FocusLost>(event)) {
    closePopup();
  } else if (std::holds_alternative<Refresh>(event)) {
    refresh();
  } else {
    out.used = false;
  }
  out.redraw = anyDamage() || form_.anyDirty();
  out.cursor = cursor();
  return out;
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
  // A label with a click handler (the planner's text buttons) is pressed as a button is.
  if ((c.kind == Kind::PictureButton || c.kind == Kind::CheckBox || c.onClick) && hover_ == hit &&
      form_.reachable(hit)) {
    setPressed(hit);
  }
}

int Pointer::leftUp(int x, int y) {
  move(x, y);
  if (popup_) {
    int item = popup_->itemAt(x, y);
    if (item >= 0) {
      int list = popup_->list;
      closePopup();
      choose(list, item);
    }
    return -1;
  }
  if (pressed_ < 0) return -1;
  int p = pressed_;
  setPressed(-1);
  if (hitTest(form_, x, y) != p || !form_.reachable(p)) return -1;
  form_.dispatch(p, Event::Click);
  refresh();
  return p;
}

void Pointer::wheel(int x, int y, int steps) {
  if (steps == 0) return;
  if (popup_) {
    highlight(popup_->highlighted - steps);
    return;
  }
  int list = -1;
  int hit = hitTest(form_, x, y);
  if (hit >= 0 && form_.at(hit).kind == Kind::List) {
    // A list of rows scrolls three rows a step, as desktop lists do.
    if (form_.reachable(hit)) form_.setTopRow(hit, form_.at(hit).topRow - 3 * steps);
    return;
  }
  if (hit >= 0 && form_.at(hit).kind == Kind::DropDown)
    list = hit;
  else if (focus_ >= 0)
    list = focus_;
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

bool Pointer::leaveMatters() const {
  if (hover_ < 0) return false;
  return pressed_ == hover_ || !form_.at(hover_).hoverPicture.empty() || cursor() == Cursor::Hand;
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

Cursor Pointer::cursor() const {
  if (popup_ && contains(popup_->rect, x_, y_)) return Cursor::Arrow;
  return hover_ >= 0 && form_.at(hover_).handCursor ? Cursor::Hand : Cursor::Arrow;
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
  if (form_.at(list).selection == item) return;
  form_.setSelection(list, item);
  form_.dispatch(list, Event::Change);
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

}  // namespace mox::paint
