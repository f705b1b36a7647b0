#pragma once
// Sound through waveOut: every play opens a voice of its own on the default device, so sounds overlap and never
// wait for each other. A finished voice is closed when its notification reaches the interface thread (through a
// message-only window). With no device, or one that refuses the format, the sound is not heard and the program
// carries on.
#include <windows.h>
#include <mmsystem.h>

#include <list>
#include <span>
#include <vector>

#include "runtime/platform.h"

namespace mox::win32 {

class WaveOut {
 public:
  // More voices than this at once are not started: a burst of clicks must not exhaust the device.
  static constexpr size_t kMaxVoices = 16;

  WaveOut();
  ~WaveOut();
  WaveOut(const WaveOut&) = delete;
  WaveOut& operator=(const WaveOut&) = delete;

  // False when nothing could be started (no device, format refused, too many voices).
  bool play(const WaveFormat& format, std::span<const unsigned char> samples);
  size_t playing() const { return voices_.size(); }

 private:
  struct Voice {
    HWAVEOUT handle = nullptr;
    WAVEHDR header{};
    std::vector<unsigned char> samples;
  };
  bool ensureWindow();
  static LRESULT CALLBACK notify(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void finished(HWAVEOUT handle);
  void close(Voice& voice);

  HWND window_ = nullptr;
  std::list<Voice> voices_;  // stable addresses: the device holds each voice's header
};

}  // namespace mox::win32
