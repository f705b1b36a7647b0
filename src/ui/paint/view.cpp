#include "ui/paint/view.h"

namespace mox::paint {

View::View(Form& form, TextMetrics& metrics) : form_(form), metrics_(metrics), pointer_(form) {}

Rect View::client() const {
  const WindowInfo& w = form_.window();
  return {0, 0, w.clientWidth, w.clientHeight};
}

InputResult View::handle(const InputEvent& event) {
  if (std::holds_alternative<CloseRequest>(event)) {
    InputResult out;
    out.used = out.close = true;
    out.cursor = pointer_.cursor();
    return out;
  }
  if (const auto* tick = std::get_if<TimerTick>(&event)) {
    const int i = tick->control;
    const bool live = i >= 0 && i < form_.size() && form_.at(i).kind == Kind::Timer &&
                      form_.timerGeneration(i) == tick->generation && form_.at(i).interval > 0;
    if (live) form_.dispatch(i, Event::Tick);
    // The tick's handler may have hidden or disabled what the pointer is over.
    InputResult out = pointer_.handle(Refresh{});
    out.used = live;
    return out;
  }
  InputResult out = pointer_.handle(event);
  if (const auto* key = std::get_if<KeyDown>(&event); key && key->key == Key::Escape && !out.used) {
    out.close = form_.window().escCloses;
    out.used = out.close;
  }
  return out;
}

void View::choose(int list, int item) {
  if (list < 0 || list >= form_.size() || form_.at(list).kind != Kind::DropDown || !form_.reachable(list)) return;
  if (item < 0 || item >= static_cast<int>(form_.at(list).items.size())) return;
  pointer_.choose(list, item);
  pointer_.refresh();
}

std::vector<TimerChange> View::takeTimerChanges() {
  std::vector<TimerChange> out;
  if (!timersKnown_) {
    timersKnown_ = true;
    timerGenerations_.assign(static_cast<size_t>(form_.size()), 0);
    for (int i = 0; i < form_.size(); ++i) {
      if (form_.at(i).kind == Kind::Timer && form_.at(i).interval > 0) {
        out.push_back({i, form_.at(i).interval, form_.timerGeneration(i)});
      }
      timerGenerations_[static_cast<size_t>(i)] = form_.timerGeneration(i);
    }
    return out;
  }
  for (int i = 0; i < form_.size(); ++i) {
    const uint64_t generation = form_.timerGeneration(i);
    if (form_.at(i).kind != Kind::Timer || generation == timerGenerations_[static_cast<size_t>(i)]) continue;
    timerGenerations_[static_cast<size_t>(i)] = generation;
    out.push_back({i, form_.at(i).interval, generation});
  }
  return out;
}

void View::collect(const std::optional<Overlay>& overlay) {
  if (form_.takeFullRedraw()) {
    form_.takeDirty();
    formDamage_.push_back(client());
  } else if (form_.anyDirty()) {
    for (int i : form_.takeDirty()) formDamage_.push_back(visibleRect(form_, i));
  }
  for (const Rect& r : pointer_.takeDamage()) formDamage_.push_back(r);
  if (overlay != overlay_) {
    if (overlay_) screenDamage_.push_back(overlay_->rect);
    if (overlay) screenDamage_.push_back(overlay->rect);
    overlay_ = overlay;
  }
}

void View::exposeAll() { screenDamage_.push_back(client()); }

void View::redrawAll() { form_.redrawAll(); }

std::vector<Rect> View::takeFormDamage() {
  mergeDamage(formDamage_, client());
  // What is redrawn in the canvas is presented too.
  screenDamage_.insert(screenDamage_.end(), formDamage_.begin(), formDamage_.end());
  std::vector<Rect> out;
  out.swap(formDamage_);
  return out;
}

std::vector<Rect> View::takeScreenDamage() {
  takeFormDamage();  // a front end that skipped the canvas still presents what changed in it
  mergeDamage(screenDamage_, client());
  std::vector<Rect> out;
  out.swap(screenDamage_);
  return out;
}

DisplayList View::paintForm(Rect area) const {
  DisplayList out;
  paint::paintForm(out, form_, pointer_.look(), area, metrics_);
  return out;
}

DisplayList View::paintTop(Rect area) const {
  DisplayList out;
  if (const auto& popup = pointer_.popup()) paintPopup(out, form_, *popup, area);
  if (overlay_) paintOverlay(out, *overlay_, area);
  return out;
}

}  // namespace mox::paint
