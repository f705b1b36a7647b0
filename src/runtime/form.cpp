#include "runtime/form.h"

#include <algorithm>
#include <charconv>

#include "runtime/fatal.h"

namespace mox {

const Handler& Control::handler(Event e) const {
  switch (e) {
    case Event::Click: return onClick;
    case Event::MouseMove: return onMouseMove;
    case Event::LeftDown: return onLeftDown;
    case Event::Tick: return onTick;
    case Event::Change: return onChange;
  }
  return onClick;
}

const std::string& Control::selectedText() const {
  static const std::string none;
  return selection >= 0 && selection < static_cast<int>(items.size()) ? items[static_cast<size_t>(selection)].text
                                                                      : none;
}

int Form::add(Control control) {
  int index = size();
  if (!control.name.empty()) byName_.emplace(control.name, index);
  controls_.push_back(std::move(control));
  timerGeneration_.push_back(0);
  dirty_.push_back(0);
  return index;
}

int Form::indexOf(std::string_view name) const {
  auto it = byName_.find(std::string(name));
  return it == byName_.end() ? -1 : it->second;
}

const Control* Form::find(std::string_view name) const {
  int i = indexOf(name);
  return i < 0 ? nullptr : &controls_[static_cast<size_t>(i)];
}

int Form::indexOfOrDie(std::string_view name) const {
  int i = indexOf(name);
  if (i < 0) fatalError("未找到指定名称的组件：" + std::string(name));
  return i;
}

const Control& Form::get(std::string_view name) const { return controls_[static_cast<size_t>(indexOfOrDie(name))]; }

int Form::findControlByTag(int32_t tag) const { return findControlsByTag(tag, 1)[0]; }

std::vector<int> Form::findControlsByTag(int32_t first, int32_t count) const {
  std::vector<int> found(static_cast<size_t>(count), -1);
  int32_t missing = count;
  for (size_t i = 0; i < controls_.size() && missing > 0; ++i) {
    const std::string& t = controls_[i].tag;
    int32_t value = 0;
    const char* begin = t.data();
    if (!t.empty() && (*begin == '+')) ++begin;
    auto [ptr, ec] = std::from_chars(begin, t.data() + t.size(), value);
    if (ec != std::errc() || ptr != t.data() + t.size()) continue;
    const int64_t slot = static_cast<int64_t>(value) - first;
    if (slot < 0 || slot >= count || found[static_cast<size_t>(slot)] >= 0) continue;
    found[static_cast<size_t>(slot)] = static_cast<int>(i);
    --missing;
  }
  if (missing > 0) fatalError("未找到指定标记的组件");
  return found;
}

void Form::reserve(size_t controls) {
  controls_.reserve(controls);
  timerGeneration_.reserve(controls);
  dirty_.reserve(controls);
  byName_.reserve(controls);
}

int32_t Form::comboItemData(std::string_view name, int index) const {
  const Control& c = get(name);
  if (index < 0 || index >= static_cast<int>(c.items.size())) return -1;
  return c.items[static_cast<size_t>(index)].value;
}

bool Form::shown(int index) const {
  if (!window_.visible) return false;
  for (int i = index; i >= 0; i = controls_[static_cast<size_t>(i)].parent) {
    if (!controls_[static_cast<size_t>(i)].visible) return false;
  }
  return true;
}

bool Form::reachable(int index) const {
  if (!shown(index)) return false;
  for (int i = index; i >= 0; i = controls_[static_cast<size_t>(i)].parent) {
    if (controls_[static_cast<size_t>(i)].disabled) return false;
  }
  return true;
}

void Form::markDirty(int index) {
  dirty_.at(static_cast<size_t>(index)) = 1;
  anyDirty_ = true;
}

void Form::redrawAll() {
  fullRedraw_ = true;
  anyDirty_ = true;
}

bool Form::takeFullRedraw() {
  bool full = fullRedraw_;
  fullRedraw_ = false;
  return full;
}

std::vector<int> Form::takeDirty() {
  std::vector<int> out;
  for (size_t i = 0; i < dirty_.size(); ++i) {
    if (dirty_[i]) {
      out.push_back(static_cast<int>(i));
      dirty_[i] = 0;
    }
  }
  anyDirty_ = false;
  return out;
}

void Form::setVisible(int index, bool visible) { change(index, &Control::visible, visible); }

void Form::setDisabled(int index, bool disabled) { change(index, &Control::disabled, disabled); }

void Form::setTag(int index, std::string tag) { mut(index).tag = std::move(tag); }

void Form::setPicture(int index, std::string asset) { change(index, &Control::picture, std::move(asset)); }

void Form::setButtonPictures(int index, std::string normal, std::string hover, std::string pressed,
                             std::string disabled) {
  Control& c = mut(index);
  if (c.picture == normal && c.hoverPicture == hover && c.pressedPicture == pressed && c.disabledPicture == disabled) {
    return;
  }
  c.picture = std::move(normal);
  c.hoverPicture = std::move(hover);
  c.pressedPicture = std::move(pressed);
  c.disabledPicture = std::move(disabled);
  markDirty(index);
}

void Form::setCaption(int index, std::string text) { change(index, &Control::caption, std::move(text)); }

void Form::setTextColour(int index, uint32_t colour) { change(index, &Control::textColour, colour); }

void Form::setChecked(int index, bool checked) { change(index, &Control::checked, checked); }

void Form::setSelection(int index, int selection) {
  Control& c = mut(index);
  if (selection < -1 || selection >= static_cast<int>(c.items.size())) return;
  if (c.selection == selection) return;
  c.selection = selection;
  markDirty(index);
}

void Form::setItems(int index, std::vector<ListItem> items) {
  Control& c = mut(index);
  if (c.items.size() == items.size() &&
      std::equal(items.begin(), items.end(), c.items.begin(),
                 [](const ListItem& a, const ListItem& b) { return a.text == b.text && a.value == b.value; })) {
    return;
  }
  c.items = std::move(items);
  if (c.selection >= static_cast<int>(c.items.size())) c.selection = -1;
  markDirty(index);
  setTopRow(index, c.topRow);
}

int Form::visibleRows(int index) const {
  const Control& c = at(index);
  return std::max(1, c.rect.h / listRowHeight(c.font));
}

void Form::setTopRow(int index, int row) {
  Control& c = mut(index);
  row = std::clamp(row, 0, std::max(0, static_cast<int>(c.items.size()) - visibleRows(index)));
  if (c.topRow == row) return;
  c.topRow = row;
  markDirty(index);
}

void Form::setChart(int index, ChartData chart) {
  Control& c = mut(index);
  if (c.chart && *c.chart == chart) return;
  c.chart = std::make_shared<const ChartData>(std::move(chart));
  markDirty(index);
}

void Form::setInterval(int index, int ms) {
  if (ms < 0) ms = 0;
  Control& c = mut(index);
  if (c.interval == ms) return;
  c.interval = ms;
  ++timerGeneration_[static_cast<size_t>(index)];
}

void Form::setHandler(std::string_view name, Event event, Handler handler) {
  Control& c = mut(indexOfOrDie(name));
  switch (event) {
    case Event::Click: c.onClick = std::move(handler); break;
    case Event::MouseMove: c.onMouseMove = std::move(handler); break;
    case Event::LeftDown: c.onLeftDown = std::move(handler); break;
    case Event::Tick: c.onTick = std::move(handler); break;
    case Event::Change: c.onChange = std::move(handler); break;
  }
}

void Form::dispatch(int index, Event event) {
  if (index < 0 || index >= size()) return;
  pending_.emplace_back(index, event);
  if (dispatching_) return;
  dispatching_ = true;
  struct Reset {
    Form& f;
    ~Reset() {
      f.dispatching_ = false;
      f.pending_.clear();
    }
  } reset{*this};
  while (!pending_.empty()) {
    auto [i, e] = pending_.front();
    pending_.pop_front();
    if (e == Event::Click && at(i).kind == Kind::CheckBox) setChecked(i, !at(i).checked);
    // Copy the handler: it may replace handlers of its own control while it runs.
    Handler h = at(i).handler(e);
    if (h) h();
  }
}

}  // namespace mox
