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
  uint32_t state() const { return state_; }
  uint32_t seedCounter() const { return counter_; }

 private:
  TickSource ticks_;
  uint32_t state_ = 1;
  uint32_t counter_ = 0;
};

}  // namespace mox
