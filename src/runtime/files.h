#pragma once
// The logic's file operations: numbered open files with their modes, reading a text that ends at a NUL or an
// end-of-file mark, and writing values as text. Each write reaches the disk as a whole-file replacement, so a
// write that fails never leaves a truncated file behind.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "runtime/platform.h"
#include "runtime/value.h"

namespace mox {

class Files {
 public:
  // Files larger than this are not ours: reading one gives the empty text.
  static constexpr size_t kMaxFileBytes = 64 * 1024;

  explicit Files(Platform& platform) : platform_(platform) {}

  bool fileExists(const std::string& name);
  // Modes: 1 read; 2 write; 3 read and write; 4 create or empty, then write; 5 write, creating if missing;
  // 6 read and write, creating if missing. Share 1..4. Returns a file number above 0, or 0 on failure.
  int32_t openFile(const std::string& name, int32_t mode = 3, int32_t share = 1);
  // Up to `length` bytes (all when omitted) from the current position, ending before the first NUL or the
  // first 0x1A that is not the trail byte of a double-byte character; the position is left on that byte.
  Text readText(int32_t file, int32_t length = -1);
  // Writes the texts one after the other at the current position. False when the file cannot be written; the
  // position then stays where it was.
  bool writeText(int32_t file, std::string_view text);
  // As writeText, but the interface does not wait for the disk: `done` gets the result later.
  void writeTextLater(int32_t file, std::string_view text, std::function<void(bool)> done);
  // Releases a file number and what it holds. A write still on its way to the disk finishes and reports as usual.
  void closeFile(int32_t file) { open_.erase(file); }
  size_t openCount() const { return open_.size(); }

 private:
  struct Open {
    std::string name;
    int32_t mode = 0;
    std::string content;
    size_t position = 0;
  };
  // The file's whole content after writing `text` at its position, or nothing when it cannot be written.
  std::optional<std::string> contentAfterWrite(const Open& f, std::string_view text) const;

  Platform& platform_;
  std::map<int32_t, Open> open_;
  int32_t next_ = 1;
};

// Validates a RIFF/WAVE image and plays it: true when it held a "fmt " and a non-empty "data" chunk.
bool playSound(Platform& platform, std::string_view role, std::span<const unsigned char> bytes);

}  // namespace mox
