#pragma once
// The program's random numbers: a linear congruential generator (state * 214013 + 2531011, output bits 16 to
// 30), reseeded before each draw from the millisecond tick count plus a seed counter, so two seedings within the
// same millisecond still differ. The tick count comes from outside so tests can fix it.
#include <cstdint>
#include <functional>
#include <optional>

namespace mox {

class Random {
 public:
  using TickSource = std::function<uint32_t()>;
  explicit Random(TickSource ticks) : ticks_(std::move(ticks)) {}
  void setTickSource(TickSource ticks) { ticks_ = std::move(ticks); }

  // With a seed the state becomes it; without, the seed is the tick count plus the seed counter.
  void seedRandom(std::optional<uint32_t> seed = std::nullopt);
  int32_t randomInt(int32_t low = 0, int32_t high = 2147483647);

  // One raw generator output, 0 to kOutputs - 1.
  static constexpr int32_t kOutputs = 32768;
  int32_t draw();

  // The generator's step and the output read from the state it leaves: bits 16 to 30, so an output depends on
  // the state before the step modulo 2^31 only.
  static constexpr uint32_t step(uint32_t state) { return state * 214013u + 2531011u; }
  static constexpr int32_t output(uint32_t state) { return static_cast<int32_t>((state >> 16) % kOutputs); }
  // What a seeding adds to the seed counter: a second seeding in the same millisecond as one that took `seed`
  // takes seed + counterStep(seed).
  static constexpr uint32_t counterStep(uint32_t seed) { return (seed & 0xFF) + 100; }
  uint32_t state() const { return state_; }
  uint32_t seedCounter() const { return counter_; }

 private:
  TickSource ticks_;
  uint32_t state_ = 1;
  uint32_t counter_ = 0;
};

}  // namespace mox
