#pragma once
// The platform the Windows program runs on: the system's tick count, MessageBoxW for boxes and the fatal error,
// the data file beside the program (or under %APPDATA%\moxsim when the program's folder cannot be written, as in
// Program Files), saves written off the interface thread, and sound through waveOut.
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

#include "desktop/win32/win32_audio.h"
#include "runtime/background_writer.h"
#include "runtime/platform.h"
#include "runtime/wide.h"

namespace mox::win32 {

// The folder holding the running program.
std::filesystem::path programDirectory();
// The user's roaming application data folder (%APPDATA%), or empty when the system has none.
std::filesystem::path appDataDirectory();
// True when a file can be created in `dir` (tried for real: folder permissions on Windows are not a mode word).
bool directoryWritable(const std::filesystem::path& dir);
// Where "MOXdata" lives: `programDir` when writable, else `appData()`\moxsim (created when missing), else
// `programDir` all the same (saving will then say it failed). `appData` is asked only when needed.
std::filesystem::path chooseDataDir(const std::filesystem::path& programDir,
                                    const std::function<std::filesystem::path()>& appData);

// The logic's box flags are the system's MB_ flags; its button codes run from 0 where the system's IDs run from 1.
UINT boxStyle(int flags);
int boxResult(int id, int flags);

// The message that brings a finished save back to the interface thread: its lParam is a heap-allocated
// std::function<void()>, run and freed by runCompletion.
constexpr UINT kDiskMessage = WM_APP + 1;
// Posted to the main window when pictures resampled carefully wait to be swapped in.
constexpr UINT kRefinedMessage = WM_APP + 2;
void runCompletion(LPARAM lParam);

class Win32Platform : public Platform {
 public:
  Win32Platform(std::filesystem::path dataDir, WaveOut& audio);
  ~Win32Platform() override = default;

  // Boxes are owned by this window, and finished saves are posted to it, once it exists.
  void setWindow(HWND window) { window_ = window; }
  const std::filesystem::path& dataDir() const { return dir_; }
  std::string filePath(const std::string& name) override { return narrow((dir_ / widen(name)).wstring()); }

  uint32_t tickCount() override;
  int messageBox(const std::string& text, int flags, const std::string& caption) override;
  [[noreturn]] void fatal(const std::string& message) override;
  bool fileExists(const std::string& name) override;
  std::optional<std::string> readFile(const std::string& name, size_t limit) override;
  bool replaceFile(const std::string& name, std::string_view bytes) override;
  void replaceFileLater(const std::string& name, std::string bytes, std::function<void(bool)> done) override;
  void playSound(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) override;
  bool copyText(const std::string& text) override;

 private:
  std::filesystem::path dir_;
  WaveOut& audio_;
  HWND window_ = nullptr;
  BackgroundWriter writer_;
};

}  // namespace mox::win32
