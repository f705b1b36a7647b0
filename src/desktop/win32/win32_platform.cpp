#include "desktop/win32/win32_platform.h"

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/data_file.h"
#include "runtime/wide.h"

namespace mox::win32 {

std::filesystem::path programDirectory() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::filesystem::current_path();
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer).parent_path();
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::filesystem::path appDataDirectory() {
  PWSTR path = nullptr;
  std::filesystem::path out;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, &path)) && path) out = path;
  CoTaskMemFree(path);
  return out;
}

bool directoryWritable(const std::filesystem::path& dir) {
  const std::filesystem::path probe = dir / (L"moxsim-probe-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::filesystem::path chooseDataDir(const std::filesystem::path& programDir,
                                    const std::function<std::filesystem::path()>& appDataDir) {
  if (directoryWritable(programDir)) return programDir;
  const std::filesystem::path appData = appDataDir();
  if (appData.empty()) return programDir;
  const std::filesystem::path dir = appData / L"moxsim";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return std::filesystem::is_directory(dir, ec) ? dir : programDir;
}

UINT boxStyle(int flags) {
  // Buttons, icon and default button as given; modal to the program's own windows.
  return (static_cast<UINT>(flags) & (MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK)) | MB_SETFOREGROUND;
}

int boxResult(int id, int flags) {
  if (id >= IDOK && id <= IDNO) return id - IDOK + kBoxOk;
  // A failed box counts as its first button.
  switch (flags & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return kBoxAbort;
    case MB_YESNOCANCEL:
    case MB_YESNO: return kBoxYes;
    case MB_RETRYCANCEL: return kBoxRetry;
    default: return kBoxOk;
  }
}

void runCompletion(LPARAM lParam) {
  std::unique_ptr<std::function<void()>> completion(reinterpret_cast<std::function<void()>*>(lParam));
  if (completion && *completion) (*completion)();
}

Win32Platform::Win32Platform(std::filesystem::path dataDir, WaveOut& audio)
    : dir_(std::move(dataDir)), audio_(audio), writer_([this](std::function<void()> completion) {
        auto* heap = new std::function<void()>(std::move(completion));
        // The queue is rarely full; wait for room rather than drop the result of a save.
        for (int tries = 0; tries < 200; ++tries) {
          if (PostMessageW(window_, kDiskMessage, 0, reinterpret_cast<LPARAM>(heap))) return;
          Sleep(5);
        }
        delete heap;
      }) {}

uint32_t Win32Platform::tickCount() { return GetTickCount(); }

int Win32Platform::messageBox(const std::string& text, int flags, const std::string& caption) {
  const int id = MessageBoxW(window_, widen(text).c_str(), widen(caption).c_str(), boxStyle(flags));
  return boxResult(id, flags);
}

void Win32Platform::fatal(const std::string& message) {
  std::fprintf(stderr, "moxsim: %s\n", message.c_str());
  std::fflush(stderr);
  MessageBoxW(window_, widen(message).c_str(), L"moxsim", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  // A fatal error can strike in the middle of a handler: end at once, without running any destructor over
  // half-changed state.
  std::_Exit(-1);
}

bool Win32Platform::fileExists(const std::string& name) { return dataFileExists(dir_, name); }

std::optional<std::string> Win32Platform::readFile(const std::string& name, size_t limit) {
  return readDataFile(dir_ / widen(name), limit);
}

bool Win32Platform::replaceFile(const std::string& name, std::string_view bytes) {
  return replaceDataFile(dir_ / widen(name), bytes);
}

void Win32Platform::replaceFileLater(const std::string& name, std::string bytes, std::function<void(bool)> done) {
  if (!window_) {
    done(replaceFile(name, bytes));
    return;
  }
  writer_.replace(dir_ / widen(name), std::move(bytes), std::move(done));
}

void Win32Platform::playSound(std::string_view, const WaveFormat& format, std::span<const unsigned char> samples) {
  audio_.play(format, samples);
}

bool Win32Platform::copyText(const std::string& text) {
  const std::wstring wide = widen(text);
  const size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return false;
  if (void* place = GlobalLock(memory)) {
    std::memcpy(place, wide.c_str(), bytes);
    GlobalUnlock(memory);
  }
  if (!OpenClipboard(window_)) {
    GlobalFree(memory);
    return false;
  }
  EmptyClipboard();
  // Once set, the clipboard owns the memory.
  const bool copied = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
  CloseClipboard();
  if (!copied) GlobalFree(memory);
  return copied;
}

}  // namespace mox::win32
