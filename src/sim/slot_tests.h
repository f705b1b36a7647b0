#pragma once
// Which items a slot gives back when a bench is cleared: each slot has its own test on the code its tag holds,
// compared with the tolerance the logic uses for numbers read back from texts.
#include <cmath>

namespace mox {

enum class SlotTestKind { AtLeast, GreaterThan, EqualTo };

struct SlotTest {
  const char* slot;
  SlotTestKind test;
  double k;

  bool holds(double t) const {
    constexpr double kTolerance = 0.0000001;
    switch (test) {
      case SlotTestKind::AtLeast: return t - k >= -kTolerance;
      case SlotTestKind::GreaterThan: return t - k > kTolerance;
      case SlotTestKind::EqualTo: return std::fabs(t - k) <= kTolerance;
    }
    return false;
  }
};

}  // namespace mox
