// Resampling a window-sized picture between the picture sets' densities, as an executor does once per picture
// and scale: the 906 x 682 layout's 2x picture shown at 1.5x, and the 1x picture shown at 1.25x.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "ui/paint/resample.h"

namespace {

// Opaque gradients with hard-edged see-through holes: the filter's cost does not depend on the content.
std::vector<std::uint32_t> picture(int w, int h) {
  std::vector<std::uint32_t> p(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool hole = (x / 40 + y / 40) % 5 == 0;
      p[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
          hole ? 0u
               : 0xFF000000u | static_cast<std::uint32_t>(x * 255 / w) << 16 |
                     static_cast<std::uint32_t>(y * 255 / h) << 8 | 0x40u;
    }
  return p;
}

void BM_Resample(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const int tw = static_cast<int>(state.range(2)), th = static_cast<int>(state.range(3));
  const std::vector<std::uint32_t> p = picture(w, h);
  for (auto _ : state) benchmark::DoNotOptimize(mox::paint::resample(p, w, h, tw, th).data());
  state.SetLabel(std::to_string(w) + "x" + std::to_string(h) + " -> " + std::to_string(tw) + "x" + std::to_string(th));
}
BENCHMARK(BM_Resample)
    ->Args({1812, 1364, 1359, 1023})
    ->Args({906, 682, 1133, 853})
    ->Args({1812, 1364, 1359, 1364})
    ->Args({1812, 1364, 1812, 1023})
    ->Unit(benchmark::kMillisecond);

// The quick filter a first frame is drawn with.
void BM_ResampleQuick(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const int tw = static_cast<int>(state.range(2)), th = static_cast<int>(state.range(3));
  const std::vector<std::uint32_t> p = picture(w, h);
  for (auto _ : state) benchmark::DoNotOptimize(mox::paint::resampleQuick(p, w, h, tw, th).data());
}
BENCHMARK(BM_ResampleQuick)
    ->Args({1812, 1364, 1359, 1023})
    ->Args({1812, 1364, 1133, 853})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
