#pragma once
// The platform without a screen or a sound card: the tick count is whatever the caller sets, message boxes
// answer OK at once, and sounds, boxes and fatal errors are recorded. The data file lives in a directory the
// caller chooses. Tests and the script driver run the whole program on it.
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "runtime/platform.h"

namespace mox {

// Thrown where the desktop program would end the process after a fatal-error box.
struct FatalExit : std::runtime_error {
  explicit FatalExit(const std::string& message) : std::runtime_error(message) {}
  int exitCode = -1;
};

class HeadlessPlatform : public Platform {
 public:
  explicit HeadlessPlatform(std::filesystem::path dataDir = ".") : dir_(std::move(dataDir)) {}

  void setTicks(uint32_t ms) { ticks_ = ms; }
  const std::filesystem::path& dataDir() const { return dir_; }

  uint32_t tickCount() override { return ticks_; }
  int messageBox(const std::string& text, int flags, const std::string& caption) override;
  void fatal(const std::string& message) override;
  bool fileExists(const std::string& name) override;
  std::optional<std::string> readFile(const std::string& name, size_t limit) override;
  bool replaceFile(const std::string& name, std::string_view bytes) override;
  void playSound(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) override;
  std::string filePath(const std::string& name) override { return (dir_ / name).string(); }
  bool copyText(const std::string& text) override {
    clipboard_ = text;
    return true;
  }
  const std::string& clipboard() const { return clipboard_; }
  // A fixed day whose clock is the tick count, so records are the same on every run.
  std::string timeText() override { return formatTime(kEpoch + ticks_ / 1000, false); }
  static constexpr int64_t kEpoch = 1767225600;  // 2026-01-01 00:00:00 UTC

  // What happened since the last take: sound roles, message box texts.
  std::vector<std::string> takeSounds() { return std::exchange(sounds_, {}); }
  std::vector<std::string> takeBoxes() { return std::exchange(boxes_, {}); }
  const std::vector<std::string>& sounds() const { return sounds_; }
  const std::vector<std::string>& boxes() const { return boxes_; }

 private:
  std::filesystem::path dir_;
  uint32_t ticks_ = 0;
  std::vector<std::string> sounds_;
  std::vector<std::string> boxes_;
  std::string clipboard_;
};

}  // namespace mox
