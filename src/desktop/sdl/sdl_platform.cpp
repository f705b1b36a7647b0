#include "desktop/sdl/sdl_platform.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include "runtime/data_file.h"

namespace mox::sdl {

std::filesystem::path chooseDataDir(const std::filesystem::path& programDir, const char* xdgDataHome,
                                    const char* home) {
  // A program installed by the system (under /usr or /opt) keeps no data beside itself, even for root, who can
  // write there: that would leave a file the package manager does not know about.
  const std::string where = programDir.lexically_normal().string();
  const bool systemInstalled = where.starts_with("/usr/") || where.starts_with("/opt/");
  if (!systemInstalled && ::access(programDir.c_str(), W_OK) == 0) return programDir;
  std::filesystem::path base;
  // A relative XDG_DATA_HOME is invalid and is ignored, as the base directory rules say.
  if (xdgDataHome && *xdgDataHome == '/') {
    base = xdgDataHome;
  } else if (home && *home) {
    base = std::filesystem::path(home) / ".local" / "share";
  } else {
    return programDir;
  }
  std::filesystem::path dir = base / "moxsim";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir;
}

std::filesystem::path programDirectory() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

std::vector<BoxButton> boxButtons(int flags) {
  switch (flags & 0xF) {
    case 1: return {{"确定", kBoxOk}, {"取消", kBoxCancel}};
    case 2: return {{"中止", kBoxAbort}, {"重试", kBoxRetry}, {"忽略", kBoxIgnore}};
    case 3: return {{"是", kBoxYes}, {"否", kBoxNo}, {"取消", kBoxCancel}};
    case 4: return {{"是", kBoxYes}, {"否", kBoxNo}};
    case 5: return {{"重试", kBoxRetry}, {"取消", kBoxCancel}};
    default: return {{"确定", kBoxOk}};
  }
}

uint32_t SdlPlatform::tickCount() { return SDL_GetTicks(); }

int SdlPlatform::messageBox(const std::string& text, int flags, const std::string& caption) {
  std::vector<BoxButton> buttons = boxButtons(flags);
  std::vector<SDL_MessageBoxButtonData> data;
  bool hasCancel = false;
  for (const BoxButton& b : buttons) hasCancel = hasCancel || b.code == kBoxCancel;
  for (size_t i = 0; i < buttons.size(); ++i) {
    Uint32 f = 0;
    if (i == 0) f |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    if (buttons[i].code == kBoxCancel || (!hasCancel && buttons.size() == 1))
      f |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    data.push_back({f, buttons[i].code, buttons[i].text.c_str()});
  }
  Uint32 icon = SDL_MESSAGEBOX_INFORMATION;
  if ((flags & 0x70) == 0x10) icon = SDL_MESSAGEBOX_ERROR;
  if ((flags & 0x70) == 0x30) icon = SDL_MESSAGEBOX_WARNING;
  SDL_MessageBoxData box{icon | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT,
                         window_,
                         caption.c_str(),
                         text.c_str(),
                         static_cast<int>(data.size()),
                         data.data(),
                         nullptr};
  int pressed = buttons.front().code;
  if (SDL_ShowMessageBox(&box, &pressed) != 0) {
    std::fprintf(stderr, "moxsim: %s\n%s\n", caption.c_str(), text.c_str());
    return buttons.front().code;
  }
  // Closing the box from its title bar reports -1: that is the escape button's answer.
  if (pressed < 0) pressed = hasCancel ? kBoxCancel : buttons.front().code;
  return pressed;
}

void SdlPlatform::fatal(const std::string& message) {
  std::fprintf(stderr, "moxsim: %s\n", message.c_str());
  std::fflush(stderr);
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "moxsim", message.c_str(), window_);
  // A fatal error can strike in the middle of a handler: end at once, without running any destructor over
  // half-changed state.
  std::_Exit(-1);
}

bool SdlPlatform::fileExists(const std::string& name) { return dataFileExists(dir_, name); }

std::optional<std::string> SdlPlatform::readFile(const std::string& name, size_t limit) {
  return readDataFile(dir_ / name, limit);
}

bool SdlPlatform::replaceFile(const std::string& name, std::string_view bytes) {
  return replaceDataFile(dir_ / name, bytes);
}

uint32_t diskEventType() {
  static const uint32_t type = SDL_RegisterEvents(1);
  return type;
}

void runDiskCompletion(void* data1) {
  std::unique_ptr<std::function<void()>> completion(static_cast<std::function<void()>*>(data1));
  if (completion && *completion) (*completion)();
}

SdlPlatform::SdlPlatform(std::filesystem::path dataDir, SdlAudio& audio)
    : dir_(std::move(dataDir)), audio_(audio), writer_([](std::function<void()> completion) {
        SDL_Event e{};
        e.type = diskEventType();
        e.user.data1 = new std::function<void()>(std::move(completion));
        // The queue is rarely full; wait for room rather than drop the result of a save.
        for (int tries = 0; SDL_PushEvent(&e) < 0 && tries < 200; ++tries) SDL_Delay(5);
      }) {}

void SdlPlatform::replaceFileLater(const std::string& name, std::string bytes, std::function<void(bool)> done) {
  writer_.replace(dir_ / name, std::move(bytes), std::move(done));
}

void SdlPlatform::playSound(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) {
  audio_.play(role, format, samples);
}

bool SdlPlatform::copyText(const std::string& text) { return SDL_SetClipboardText(text.c_str()) == 0; }

}  // namespace mox::sdl
