#pragma once
// Sound through SDL's own audio device: each sound is converted once to the device's format and kept by its role,
// and every play takes a free voice of the device's mixer, so sounds overlap and never wait for each other. (A
// mixing library would bring decoders for every music format, and their libraries, for a few short WAVE sounds.) The
// device is opened on a thread of its own after the window is up, so neither start-up nor a click ever waits for the
// sound system; sounds asked for before it is ready, or on a machine without a device, are not heard.
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "runtime/platform.h"

namespace mox::sdl {

// The SDL sample format of a WAVE "fmt " chunk, or nothing for a format the mixer cannot take.
std::optional<uint16_t> sdlAudioFormat(const WaveFormat& format);

// Converts whole sample frames of `format` to the device's rate, format and channel count.
std::optional<std::vector<uint8_t>> convertSamples(const WaveFormat& format, std::span<const unsigned char> samples,
                                                   int rate, uint16_t sdlFormat, int channels);

class SdlAudio {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kChannels = 2;
  static constexpr int kMixChannels = 16;
  static constexpr int kBufferFrames = 1024;

  SdlAudio() = default;
  ~SdlAudio();
  SdlAudio(const SdlAudio&) = delete;
  SdlAudio& operator=(const SdlAudio&) = delete;

  // Opens the device in the background.
  void start();
  void play(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples);
  bool ready() const { return state_.load() == State::Ready; }

 private:
  enum class State { Idle, Opening, Ready, Failed };
  struct Voice {
    const std::vector<uint8_t>* sound = nullptr;  // in the device's format; none: the voice is free
    size_t at = 0;                                // bytes played
  };
  void mix(uint8_t* stream, int length);

  std::atomic<State> state_{State::Idle};
  std::thread opener_;
  uint32_t device_ = 0;
  int rate_ = 0, channels_ = 0;
  uint16_t format_ = 0;
  std::map<std::string, std::vector<uint8_t>, std::less<>> sounds_;  // by role; empty: cannot be played
  std::array<Voice, kMixChannels> voices_{};
};

}  // namespace mox::sdl
