#include "desktop/sdl/sdl_audio.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace mox::sdl {

std::optional<uint16_t> sdlAudioFormat(const WaveFormat& format) {
  constexpr uint16_t kPcm = 1, kFloat = 3;
  if (format.formatTag == kPcm) {
    switch (format.bitsPerSample) {
      case 8: return AUDIO_U8;
      case 16: return AUDIO_S16LSB;
      case 32: return AUDIO_S32LSB;
      default: return std::nullopt;
    }
  }
  if (format.formatTag == kFloat && format.bitsPerSample == 32) return AUDIO_F32LSB;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> convertSamples(const WaveFormat& format, std::span<const unsigned char> samples,
                                                   int rate, uint16_t sdlFormat, int channels) {
  auto from = sdlAudioFormat(format);
  if (!from || format.channels == 0 || format.channels > 8 || format.samplesPerSecond == 0) return std::nullopt;
  const size_t frame = static_cast<size_t>(format.channels) * (format.bitsPerSample / 8);
  const size_t length = samples.size() / frame * frame;
  if (length == 0 || length > 0x7FFFFFFF / 8) return std::nullopt;
  SDL_AudioCVT cvt;
  int built =
      SDL_BuildAudioCVT(&cvt, *from, static_cast<Uint8>(format.channels), static_cast<int>(format.samplesPerSecond),
                        sdlFormat, static_cast<Uint8>(channels), rate);
  if (built < 0) return std::nullopt;
  if (built == 0) return std::vector<uint8_t>(samples.begin(), samples.begin() + static_cast<long>(length));
  std::vector<uint8_t> buffer(length * static_cast<size_t>(cvt.len_mult));
  std::memcpy(buffer.data(), samples.data(), length);
  cvt.buf = buffer.data();
  cvt.len = static_cast<int>(length);
  if (SDL_ConvertAudio(&cvt) != 0) return std::nullopt;
  buffer.resize(static_cast<size_t>(cvt.len_cvt));
  return buffer;
}

SdlAudio::~SdlAudio() {
  if (opener_.joinable()) opener_.join();
  if (state_.load() == State::Ready) {
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

void SdlAudio::start() {
  if (state_.load() != State::Idle) return;
  state_ = State::Opening;
  opener_ = std::thread([this] {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      state_ = State::Failed;
      return;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = kRate;
    want.format = AUDIO_S16LSB;
    want.channels = kChannels;
    want.samples = kBufferFrames;
    want.callback = [](void* self, Uint8* stream, int length) { static_cast<SdlAudio*>(self)->mix(stream, length); };
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have,
                                  SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
    if (device_ == 0) {
      // No sound card: the program carries on without sound.
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      state_ = State::Failed;
      return;
    }
    rate_ = have.freq;
    format_ = have.format;
    channels_ = have.channels;
    state_ = State::Ready;
    SDL_PauseAudioDevice(device_, 0);
  });
}

// On the device's thread: every voice that is playing adds its next samples, clipped at full scale.
void SdlAudio::mix(uint8_t* stream, int length) {
  std::memset(stream, 0, static_cast<size_t>(length));
  for (Voice& v : voices_) {
    if (!v.sound) continue;
    const size_t left = v.sound->size() - v.at;
    const size_t n = std::min(left, static_cast<size_t>(length));
    SDL_MixAudioFormat(stream, v.sound->data() + v.at, format_, static_cast<Uint32>(n), SDL_MIX_MAXVOLUME);
    v.at += n;
    if (v.at >= v.sound->size()) v = {};
  }
}

void SdlAudio::play(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) {
  if (state_.load() != State::Ready) return;
  auto it = sounds_.find(role);
  if (it == sounds_.end()) {
    std::vector<uint8_t> pcm;
    if (auto converted = convertSamples(format, samples, rate_, format_, channels_)) pcm = std::move(*converted);
    it = sounds_.emplace(std::string(role), std::move(pcm)).first;
  }
  if (it->second.empty()) return;
  // Every free voice plays a sound of its own; when all are busy the sound is dropped rather than cutting one off.
  SDL_LockAudioDevice(device_);
  for (Voice& v : voices_) {
    if (v.sound) continue;
    v = {&it->second, 0};
    break;
  }
  SDL_UnlockAudioDevice(device_);
}

}  // namespace mox::sdl
