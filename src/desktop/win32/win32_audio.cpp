#include "desktop/win32/win32_audio.h"

namespace mox::win32 {

namespace {
constexpr wchar_t kClass[] = L"moxsim.sound";
}

WaveOut::WaveOut() = default;

bool WaveOut::ensureWindow() {
  if (window_) return true;
  // Made at the first sound, not at start-up: creating a window is the slowest step before the first frame.
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = notify;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
  window_ = CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return window_ != nullptr;
}

WaveOut::~WaveOut() {
  for (Voice& v : voices_) close(v);
  voices_.clear();
  if (window_) DestroyWindow(window_);
}

bool WaveOut::play(const WaveFormat& format, std::span<const unsigned char> samples) {
  if (samples.empty() || voices_.size() >= kMaxVoices || waveOutGetNumDevs() == 0 || !ensureWindow()) return false;
  WAVEFORMATEX wfx{};
  wfx.wFormatTag = format.formatTag;
  wfx.nChannels = format.channels;
  wfx.nSamplesPerSec = format.samplesPerSecond;
  wfx.nAvgBytesPerSec = format.bytesPerSecond;
  wfx.nBlockAlign = format.blockAlign;
  wfx.wBitsPerSample = format.bitsPerSample;
  Voice& v = voices_.emplace_back();
  // Whole frames only: a device may refuse a buffer that ends inside one.
  size_t bytes = samples.size();
  if (format.blockAlign > 0) bytes -= bytes % format.blockAlign;
  v.samples.assign(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(bytes));
  if (v.samples.empty() || waveOutOpen(&v.handle, WAVE_MAPPER, &wfx, reinterpret_cast<DWORD_PTR>(window_), 0,
                                       CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    voices_.pop_back();
    return false;
  }
  v.header.lpData = reinterpret_cast<LPSTR>(v.samples.data());
  v.header.dwBufferLength = static_cast<DWORD>(v.samples.size());
  if (waveOutPrepareHeader(v.handle, &v.header, sizeof v.header) != MMSYSERR_NOERROR ||
      waveOutWrite(v.handle, &v.header, sizeof v.header) != MMSYSERR_NOERROR) {
    close(v);
    voices_.pop_back();
    return false;
  }
  return true;
}

void WaveOut::close(Voice& v) {
  if (!v.handle) return;
  waveOutReset(v.handle);
  if (v.header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(v.handle, &v.header, sizeof v.header);
  waveOutClose(v.handle);
  v.handle = nullptr;
}

void WaveOut::finished(HWAVEOUT handle) {
  for (auto it = voices_.begin(); it != voices_.end(); ++it) {
    if (it->handle == handle) {
      close(*it);
      voices_.erase(it);
      return;
    }
  }
}

LRESULT CALLBACK WaveOut::notify(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MM_WOM_DONE) {
    if (auto* self = reinterpret_cast<WaveOut*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
      self->finished(reinterpret_cast<HWAVEOUT>(wParam));
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace mox::win32
