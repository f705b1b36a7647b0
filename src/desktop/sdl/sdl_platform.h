#pragma once
// The platform the desktop program runs on: SDL's clock and message boxes, the data file in the program's data
// directory, sound through SdlAudio, and the fatal-error box that ends the process.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "runtime/background_writer.h"
#include "runtime/platform.h"
#include "desktop/sdl/sdl_audio.h"

struct SDL_Window;

namespace mox::sdl {

// Where "MOXdata" lives: beside the program when its directory is writable (run from a folder the user owns)
// and not the system's own (/usr, /opt),
// otherwise in the user's data directory ($XDG_DATA_HOME/moxsim, by default ~/.local/share/moxsim), created
// when missing. Null or empty variables count as unset.
std::filesystem::path chooseDataDir(const std::filesystem::path& programDir, const char* xdgDataHome, const char* home);

// The directory holding the running program, read from /proc/self/exe.
std::filesystem::path programDirectory();

// The buttons of a message box from the logic's flags word (its low four bits choose the set), left to right,
// each with the code the logic expects back.
struct BoxButton {
  std::string text;
  int code = kBoxOk;
};
std::vector<BoxButton> boxButtons(int flags);

// The SDL event type that brings a finished write back to the interface thread, and what its handler runs.
uint32_t diskEventType();
void runDiskCompletion(void* data1);

class SdlPlatform : public Platform {
 public:
  SdlPlatform(std::filesystem::path dataDir, SdlAudio& audio);
  // Finishes any write still queued (the writer does), so a save the user asked for is never lost at exit.
  ~SdlPlatform() override = default;

  // Boxes are shown over this window once it exists.
  void setWindow(SDL_Window* window) { window_ = window; }
  const std::filesystem::path& dataDir() const { return dir_; }
  std::string filePath(const std::string& name) override { return (dir_ / name).string(); }

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
  SdlAudio& audio_;
  SDL_Window* window_ = nullptr;
  // Takes the disk work off the interface thread; results come back as SDL events.
  BackgroundWriter writer_;
};

}  // namespace mox::sdl
