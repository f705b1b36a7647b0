#pragma once
// The plans pinned side by side (对比), kept across a restart in a small file of their own beside MOXdata:
// "MOXplans", one link fragment a line, oldest first. The file is data from anywhere (copied, edited, damaged): a
// line that is not a question is dropped and counted, and a file too large to be ours loads nothing.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/compare.h"
#include "plan/link.h"
#include "runtime/platform.h"

namespace mox {

// What a MOXplans text holds: the questions it could read, the newest kMaxCompared of them, and how many lines it
// dropped (lines that are not questions, and older questions past the four). Blank lines are neither.
struct PinsRead {
  std::vector<plan::LinkQuestion> pins;
  size_t dropped = 0;
  bool unreadable = false;  // the file is there but could not be read, or is too large to be ours
};
PinsRead readPins(std::string_view text);
// The file's text: a fragment a line, each ended by '\n'.
std::string pinsText(const std::vector<plan::LinkQuestion>& pins);

class PlanPins {
 public:
  static constexpr const char* kFileName = "MOXplans";
  // Four fragments of at most plan::kLinkMaxLength each fit many times over: a larger file is not ours.
  static constexpr size_t kMaxFileBytes = 16 * 1024;

  explicit PlanPins(Platform& platform) : platform_(platform) {}

  // Reads the file (no file: no pins); says what it dropped. Never fails.
  PinsRead load();
  const std::vector<plan::LinkQuestion>& pins() const { return pins_; }
  // Pins a plan, newest last. With four pinned already, the oldest goes and is returned, for the caller to say so.
  std::optional<plan::LinkQuestion> add(const plan::LinkQuestion& q);
  // Unpins one (an index past the pins does nothing), or all.
  void remove(size_t index);
  void clear() { pins_.clear(); }
  // Writes the pins through the platform's whole-file replacement, without making the interface wait for the
  // disk; `done` runs later on the interface thread, false when the disk refused (the previous file is then whole).
  void save(std::function<void(bool)> done);

 private:
  Platform& platform_;
  std::vector<plan::LinkQuestion> pins_;
};

}  // namespace mox
