#include "ui/plan_pins.h"

#include <algorithm>

namespace mox {

PinsRead readPins(std::string_view text) {
  PinsRead read;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.ends_with('\r')) line.remove_suffix(1);  // written or edited on Windows
    if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
    if (const std::optional<plan::LinkQuestion> q = plan::readLinkFragment(line)) {
      read.pins.push_back(*q);
    } else {
      ++read.dropped;
    }
  }
  // Only the newest four are kept, as pinning a fifth would.
  if (read.pins.size() > plan::kMaxCompared) {
    const size_t extra = read.pins.size() - plan::kMaxCompared;
    read.pins.erase(read.pins.begin(), read.pins.begin() + static_cast<std::ptrdiff_t>(extra));
    read.dropped += extra;
  }
  return read;
}

std::string pinsText(const std::vector<plan::LinkQuestion>& pins) {
  std::string text;
  for (const plan::LinkQuestion& q : pins) text += plan::linkFragment(q) + "\n";
  return text;
}

PinsRead PlanPins::load() {
  pins_.clear();
  if (!platform_.fileExists(kFileName)) return {};
  const std::optional<std::string> text = platform_.readFile(kFileName, kMaxFileBytes);
  if (!text) return {.unreadable = true};
  PinsRead read = readPins(*text);
  pins_ = read.pins;
  return read;
}

std::optional<plan::LinkQuestion> PlanPins::add(const plan::LinkQuestion& q) {
  std::optional<plan::LinkQuestion> replaced;
  if (pins_.size() >= plan::kMaxCompared) {
    replaced = pins_.front();
    pins_.erase(pins_.begin());
  }
  pins_.push_back(q);
  return replaced;
}

void PlanPins::remove(size_t index) {
  if (index < pins_.size()) pins_.erase(pins_.begin() + static_cast<std::ptrdiff_t>(index));
}

void PlanPins::save(std::function<void(bool)> done) {
  platform_.replaceFileLater(kFileName, pinsText(pins_), std::move(done));
}

}  // namespace mox
