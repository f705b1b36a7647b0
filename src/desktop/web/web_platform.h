#pragma once
// The platform in a web page: the browser's clock, boxes shown in the page, the data file and the pinned plans kept
// in the browser's storage (IndexedDB, through the page) with a copy in memory that the logic reads, other files
// handed to the user as downloads, sound through WebAudio, and the fatal-error message in the page.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "runtime/platform.h"

namespace mox::web {

class WebPlatform : public Platform {
 public:
  // The save file's name, and the plans pinned side by side: the files kept in the browser's storage; every other
  // file is a download.
  static constexpr const char* kSaveFile = "MOXdata";
  static constexpr const char* kPlansFile = "MOXplans";
  static bool kept(const std::string& name) { return name == kSaveFile || name == kPlansFile; }

  // A file the page read from storage before start-up.
  void putFile(const std::string& name, std::string bytes) { files_[name] = std::move(bytes); }
  // The page finished storing write number `id`.
  void writeDone(int id, bool ok);

  uint32_t tickCount() override;
  int messageBox(const std::string& text, int flags, const std::string& caption) override;
  [[noreturn]] void fatal(const std::string& message) override;
  bool fileExists(const std::string& name) override;
  std::optional<std::string> readFile(const std::string& name, size_t limit) override;
  bool replaceFile(const std::string& name, std::string_view bytes) override;
  void replaceFileLater(const std::string& name, std::string bytes, std::function<void(bool)> done) override;
  std::string filePath(const std::string& name) override;
  void playSound(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) override;
  bool copyText(const std::string& text) override;
  std::string siteAddress() override;

 private:
  struct Pending {
    std::string name, bytes;
    std::function<void(bool)> done;
  };
  std::map<std::string, std::string> files_;
  std::map<int, Pending> pending_;
  int nextWrite_ = 1;
};

}  // namespace mox::web
