#include "desktop/sdl/sdl_audio.h"

#include <SDL.h>
#include <SDL_mixer.h>

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
  int built = SDL_BuildAudioCVT(&cvt, *from, static_cast<Uint8>(format.channels),
                                static_cast<int>(format.samplesPerSecond), sdlFormat, static_cast<Uint8>(channels),
                                rate);
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
    Mix_HaltChannel(-1);
    Mix_CloseAudio();
    for (auto& [role, sound] : sounds_) Mix_FreeChunk(sound.chunk);
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
    if (Mix_OpenAudio(kRate, AUDIO_S16LSB, kChannels, kBufferFrames) != 0) {
      // No sound card: the program carries on without sound.
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      state_ = State::Failed;
      return;
    }
    Mix_AllocateChannels(kMixChannels);
    int rate = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&rate, &format, &channels);
    rate_ = rate;
    format_ = format;
    channels_ = channels;
    state_ = State::Ready;
  });
}

void SdlAudio::play(std::string_view role, const WaveFormat& format, std::span<const unsigned char> samples) {
  if (state_.load() != State::Ready) return;
  auto it = sounds_.find(role);
  if (it == sounds_.end()) {
    Sound sound;
    if (auto pcm = convertSamples(format, samples, rate_, format_, channels_)) {
      sound.pcm = std::move(*pcm);
      sound.chunk = Mix_QuickLoad_RAW(sound.pcm.data(), static_cast<Uint32>(sound.pcm.size()));
    }
    it = sounds_.emplace(std::string(role), std::move(sound)).first;
  }
  // Every free channel is a voice of its own; when all are busy the sound is dropped rather than cutting one off.
  if (it->second.chunk) Mix_PlayChannel(-1, it->second.chunk, 0);
}

}  // namespace mox::sdl
