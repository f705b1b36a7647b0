#pragma once
// What the logic asks of the machine it runs on: the tick count, message boxes, the one data file, sound and the
// fatal-error path. The desktop program implements it on SDL; tests and the script driver use the headless one.
// Windows and controls are not here: their state lives in the forms, which the front end draws.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mox {

// Seconds since 1970 as "YYYY-MM-DD HH:MM:SS", in local time or in UTC.
std::string formatTime(int64_t seconds, bool local);

// The message box's button codes as the logic sees them.
enum MessageBoxResult {
  kBoxOk = 0,
  kBoxCancel = 1,
  kBoxAbort = 2,
  kBoxRetry = 3,
  kBoxIgnore = 4,
  kBoxYes = 5,
  kBoxNo = 6
};

struct WaveFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSecond = 0;
  uint32_t bytesPerSecond = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Milliseconds since the system started; it seeds the random generator.
  virtual uint32_t tickCount() = 0;

  // A modal message box (texts in UTF-8); returns the button pressed.
  virtual int messageBox(const std::string& text, int flags, const std::string& caption) = 0;

  // Shows the fatal-error box and ends the process with exit code -1; must not return.
  virtual void fatal(const std::string& message) = 0;

  // The data file beside the program, by bare name.
  virtual bool fileExists(const std::string& name) = 0;
  // The whole file, or nothing when it cannot be read or is larger than `limit` bytes.
  virtual std::optional<std::string> readFile(const std::string& name, size_t limit) = 0;
  // Replaces the file's content as one step: written beside it and renamed over it, so a failure leaves the
  // previous file whole. Returns false on failure.
  virtual bool replaceFile(const std::string& name, std::string_view bytes) = 0;
  // The same replacement without making the interface wait for the disk: `done` runs later, on the interface
  // thread, with the result. Platforms without a writer of their own write at once.
  virtual void replaceFileLater(const std::string& name, std::string bytes, std::function<void(bool)> done) {
    done(replaceFile(name, bytes));
  }

  // Where the named data file lives, as a user would look for it (for telling them where something was written).
  virtual std::string filePath(const std::string& name) { return name; }

  // The local date and time now, "YYYY-MM-DD HH:MM:SS", for records a user reads.
  virtual std::string timeText();

  // Plays validated PCM sample data asynchronously, overlapping any sound still playing. `role` names the
  // sound (its asset name) for whoever records what was played.
  virtual void playSound(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) = 0;

  // Puts text on the system's clipboard; false where there is none or it refused.
  virtual bool copyText(const std::string& text) {
    (void)text;
    return false;
  }
  // The web page's address, where links to a question are made: the build's site (MOX_SITE_URL), or the page's
  // own address in the page.
  virtual std::string siteAddress();
};

}  // namespace mox
