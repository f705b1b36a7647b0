#include "ui/paint/resample.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <thread>

#include "ui/paint/display_list.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mox::paint {
namespace {

constexpr int kBits = 14;  // weights in fixed point: 1.0 is 1 << kBits
constexpr double kLobes = 3.0;

double lanczos(double x) {
  x = std::abs(x);
  if (x < 1e-12) return 1.0;
  if (x >= kLobes) return 0.0;
  const double px = std::numbers::pi * x;
  return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// One axis of the filter: for each output index, the source pixels from `first` on and their weights, which add up
// to exactly 1 << kBits (so a flat colour stays exactly flat).
struct Axis {
  int taps = 0;  // room for weights per output index
  std::vector<int> first, count;
  std::vector<std::int16_t> weights;  // taps per output index; |weight| < 2.0, so 16 bits hold it
};

Axis makeAxis(int in, int out) {
  const double scale = static_cast<double>(out) / in;
  const double stretch = std::max(1.0, 1.0 / scale);  // shrinking widens the filter over the source
  const double support = kLobes * stretch;
  Axis a;
  a.taps = static_cast<int>(std::ceil(2 * support)) + 2;
  a.first.resize(static_cast<size_t>(out));
  a.count.resize(static_cast<size_t>(out));
  a.weights.assign(static_cast<size_t>(out) * static_cast<size_t>(a.taps), 0);
  std::vector<double> w(static_cast<size_t>(a.taps));
  for (int i = 0; i < out; ++i) {
    const double centre = (i + 0.5) / scale;  // in source pixels
    const int lo = std::max(0, static_cast<int>(std::floor(centre - support)));
    const int hi = std::min(in, static_cast<int>(std::ceil(centre + support)));
    const int n = std::min(hi - lo, a.taps);
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += w[static_cast<size_t>(k)] = lanczos((lo + k + 0.5 - centre) / stretch);
    // Round the running total rather than each weight, so the rounding errors never add up.
    std::int16_t* dst = &a.weights[static_cast<size_t>(i) * static_cast<size_t>(a.taps)];
    double running = 0;
    std::int32_t given = 0;
    for (int k = 0; k < n; ++k) {
      running += w[static_cast<size_t>(k)] / sum;
      const auto upTo = static_cast<std::int32_t>(std::lround(running * (1 << kBits)));
      dst[k] = static_cast<std::int16_t>(upTo - given);
      given = upTo;
    }
    a.first[static_cast<size_t>(i)] = lo;
    a.count[static_cast<size_t>(i)] = n;
  }
  return a;
}

// The filter works on the bytes of the pixels as they lie in memory, four channels per pixel, so that the compiler
// can run the sums over a whole row at once; only alpha needs to be told apart.
constexpr int kAlpha = std::endian::native == std::endian::little ? 3 : 0;
constexpr std::int32_t kHalf = 1 << (kBits - 1);  // sums start here, so that the shift rounds to nearest

const unsigned char* bytes(const std::uint32_t* p) { return reinterpret_cast<const unsigned char*>(p); }
unsigned char* bytes(std::uint32_t* p) { return reinterpret_cast<unsigned char*>(p); }

// Four channel sums back to a pixel: alpha in 0 … 255, each colour in 0 … alpha (the filter's lobes overshoot at
// hard edges).
void store(const std::int32_t* sum, unsigned char* to) {
  const std::int32_t alpha = std::clamp(sum[kAlpha] >> kBits, 0, 255);
  for (int c = 0; c < 4; ++c)
    to[c] = static_cast<unsigned char>(c == kAlpha ? alpha : std::clamp(sum[c] >> kBits, 0, alpha));
}

// Calls part(begin, end) over 0 … n: for a large picture, the second half on a thread of its own (a picture is
// resampled before the first frame it shows in, while the other core mostly waits for the display). The parts
// write disjoint rows, so the result is the same either way. A web page has no threads.
template <class Part>
void inTwo(int n, size_t work, Part part) {
#if !defined(__EMSCRIPTEN__)
  if (work >= (size_t{1} << 18) && n >= 2) {
    std::thread other([&] { part(n / 2, n); });
    part(0, n / 2);
    other.join();
    return;
  }
#endif
  (void)work;
  part(0, n);
}

// Whether both sizes are pictures and the pixels are as many as the first says.
bool fits(std::span<const std::uint32_t> pixels, int width, int height, int toWidth, int toHeight) {
  return width >= 1 && height >= 1 && toWidth >= 1 && toHeight >= 1 &&
         pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height);
}

// One row of width `in` becomes a row of width `out`.
void horizontalRow(const std::uint32_t* src, std::uint32_t* dst, const Axis& ax, int out) {
  const unsigned char* row = bytes(src);
  unsigned char* to = bytes(dst);
  for (int x = 0; x < out; ++x) {
    const unsigned char* from = row + 4 * static_cast<size_t>(ax.first[static_cast<size_t>(x)]);
    const std::int16_t* w = &ax.weights[static_cast<size_t>(x) * static_cast<size_t>(ax.taps)];
    const int n = ax.count[static_cast<size_t>(x)];
    std::int32_t sum[4] = {kHalf, kHalf, kHalf, kHalf};
    int k = 0;
#if defined(__SSE2__)
    // Two taps at a time: the two pixels' channels side by side, each pair multiplied by the pair of weights
    // and added in one step (the same integer sums as below, in another order).
    const __m128i zero = _mm_setzero_si128();
    __m128i acc = _mm_setzero_si128();
    for (; k + 1 < n; k += 2) {
      std::int64_t two;
      std::memcpy(&two, from + 4 * k, sizeof two);
      const __m128i wide = _mm_unpacklo_epi8(_mm_cvtsi64_si128(two), zero);      // a0 a1 a2 a3 b0 b1 b2 b3
      const __m128i paired = _mm_unpacklo_epi16(wide, _mm_srli_si128(wide, 8));  // a0 b0 a1 b1 a2 b2 a3 b3
      const auto pair = static_cast<std::uint32_t>(static_cast<std::uint16_t>(w[k])) |
                        static_cast<std::uint32_t>(static_cast<std::uint16_t>(w[k + 1])) << 16;
      const __m128i weights = _mm_set1_epi32(static_cast<int>(pair));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(paired, weights));
    }
    alignas(16) std::int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), acc);
    for (int c = 0; c < 4; ++c) sum[c] += lanes[c];
#endif
    for (; k < n; ++k)
      for (int c = 0; c < 4; ++c) sum[c] += static_cast<std::int16_t>(from[4 * k + c]) * w[k];
    store(sum, to + 4 * static_cast<size_t>(x));
  }
}

// Rows of width `in` become rows of width `out`.
std::vector<std::uint32_t> horizontal(std::span<const std::uint32_t> src, int in, int rows, int out) {
  const Axis ax = makeAxis(in, out);
  std::vector<std::uint32_t> dst(static_cast<size_t>(out) * static_cast<size_t>(rows));
  inTwo(rows, dst.size(), [&](int begin, int end) {
    for (int y = begin; y < end; ++y)
      horizontalRow(src.data() + static_cast<size_t>(y) * static_cast<size_t>(in),
                    dst.data() + static_cast<size_t>(y) * static_cast<size_t>(out), ax, out);
  });
  return dst;
}

// Output row y of the vertical pass, from the source rows `rowAt` gives (width pixels each), `sums` as scratch.
template <class RowAt>
void verticalRow(const Axis& ax, int y, size_t width, RowAt rowAt, std::vector<std::int32_t>& sums,
                 std::uint32_t* dst) {
  const size_t channels = 4 * width;
  std::fill(sums.begin(), sums.end(), kHalf);
  const std::int16_t* weights = &ax.weights[static_cast<size_t>(y) * static_cast<size_t>(ax.taps)];
  for (int k = 0, n = ax.count[static_cast<size_t>(y)]; k < n; ++k) {
    const unsigned char* row = bytes(rowAt(ax.first[static_cast<size_t>(y)] + k));
    const std::int16_t wk = weights[k];
    for (size_t i = 0; i < channels; ++i) sums[i] += static_cast<std::int16_t>(row[i]) * wk;
  }
  unsigned char* to = bytes(dst);
  for (size_t x = 0; x < width; ++x) store(&sums[4 * x], to + 4 * x);
}

// `in` rows become `out` rows, each `width` wide: a row of sums at a time, from whole source rows.
std::vector<std::uint32_t> vertical(std::span<const std::uint32_t> src, int width, int in, int out) {
  const Axis ax = makeAxis(in, out);
  const size_t w = static_cast<size_t>(width);
  std::vector<std::uint32_t> dst(w * static_cast<size_t>(out));
  inTwo(out, dst.size(), [&](int begin, int end) {
    std::vector<std::int32_t> sums(4 * w);
    for (int y = begin; y < end; ++y)
      verticalRow(
          ax, y, w, [&](int row) { return src.data() + static_cast<size_t>(row) * w; }, sums,
          dst.data() + static_cast<size_t>(y) * w);
  });
  return dst;
}

// Both axes at once: each output row from the source rows it needs, resampled across as it first needs them
// into a ring of as many rows as the filter has taps (the rows an output row needs are consecutive, and later
// rows need none before them), so no whole picture lies in between. The same sums as horizontal then vertical.
std::vector<std::uint32_t> both(std::span<const std::uint32_t> src, int width, int height, int toWidth, int toHeight) {
  const Axis across = makeAxis(width, toWidth), down = makeAxis(height, toHeight);
  const size_t w = static_cast<size_t>(toWidth), taps = static_cast<size_t>(down.taps);
  std::vector<std::uint32_t> dst(w * static_cast<size_t>(toHeight));
  inTwo(toHeight, dst.size(), [&](int begin, int end) {
    std::vector<std::uint32_t> ring(taps * w);
    std::vector<int> held(taps, -1);
    std::vector<std::int32_t> sums(4 * w);
    const auto rowAt = [&](int row) {
      const size_t slot = static_cast<size_t>(row) % taps;
      if (held[slot] != row) {
        horizontalRow(src.data() + static_cast<size_t>(row) * static_cast<size_t>(width), &ring[slot * w], across,
                      toWidth);
        held[slot] = row;
      }
      return &ring[slot * w];
    };
    for (int y = begin; y < end; ++y) verticalRow(down, y, w, rowAt, sums, dst.data() + static_cast<size_t>(y) * w);
  });
  return dst;
}

}  // namespace

std::vector<std::uint32_t> resample(std::span<const std::uint32_t> pixels, int width, int height, int toWidth,
                                    int toHeight) {
  if (!fits(pixels, width, height, toWidth, toHeight)) return {};
  if (toWidth != width && toHeight != height) return both(pixels, width, height, toWidth, toHeight);
  std::vector<std::uint32_t> across = toWidth == width ? std::vector<std::uint32_t>(pixels.begin(), pixels.end())
                                                       : horizontal(pixels, width, height, toWidth);
  if (toHeight == height) return across;
  return vertical(across, toWidth, height, toHeight);
}

namespace {

// Where an output index's centre falls between two source pixels: the first and the second's weight out of
// kQuickOne (the second is past the end only with weight 0).
constexpr int kQuickBits = 7, kQuickOne = 1 << kQuickBits;  // 255 x 128 still fits a signed 16-bit lane
struct Between {
  int first = 0;
  std::int16_t second = 0;
};

std::vector<Between> between(int in, int out) {
  std::vector<Between> b(static_cast<size_t>(out));
  const double step = static_cast<double>(in) / out;
  for (int i = 0; i < out; ++i) {
    const double centre = std::clamp((i + 0.5) * step - 0.5, 0.0, in - 1.0);
    const int first = static_cast<int>(centre);
    b[static_cast<size_t>(i)] = {first, static_cast<std::int16_t>(std::lround((centre - first) * kQuickOne))};
  }
  return b;
}

}  // namespace

std::vector<std::uint32_t> resampleQuick(std::span<const std::uint32_t> pixels, int width, int height, int toWidth,
                                         int toHeight) {
  if (!fits(pixels, width, height, toWidth, toHeight)) return {};
  const std::vector<Between> across = between(width, toWidth), down = between(height, toHeight);
  const size_t w = static_cast<size_t>(width), channels = 4 * w;
  std::vector<std::uint32_t> dst(static_cast<size_t>(toWidth) * static_cast<size_t>(toHeight));
  // One source row blended from the two around an output row, channels times kQuickOne, and its last pixel once
  // more, so that every output pixel reads two.
  inTwo(toHeight, dst.size(), [&](int begin, int end) {
    std::vector<std::int16_t> row(channels + 4);
    for (int y = begin; y < end; ++y) {
      const Between v = down[static_cast<size_t>(y)];
      const unsigned char* a = bytes(pixels.data() + static_cast<size_t>(v.first) * w);
      const unsigned char* b = v.second ? a + channels : a;
      const auto wa = static_cast<std::int16_t>(kQuickOne - v.second), wb = v.second;
      size_t i = 0;
#if defined(__SSE2__)
      // Sixteen channels at a time.
      const __m128i zero = _mm_setzero_si128(), va = _mm_set1_epi16(wa), vb = _mm_set1_epi16(wb);
      for (; i + 16 <= channels; i += 16) {
        const __m128i pa = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i pb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pa, zero), va),
                                         _mm_mullo_epi16(_mm_unpacklo_epi8(pb, zero), vb));
        const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pa, zero), va),
                                         _mm_mullo_epi16(_mm_unpackhi_epi8(pb, zero), vb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&row[i]), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&row[i + 8]), hi);
      }
#endif
      for (; i < channels; ++i) row[i] = static_cast<std::int16_t>(a[i] * wa + b[i] * wb);
      for (size_t c = 0; c < 4; ++c) row[channels + c] = row[channels - 4 + c];
      unsigned char* to = bytes(dst.data() + static_cast<size_t>(y) * static_cast<size_t>(toWidth));
      for (int x = 0; x < toWidth; ++x) {
        const Between h = across[static_cast<size_t>(x)];
        const std::int16_t* from = &row[4 * static_cast<size_t>(h.first)];
        const std::int32_t left = kQuickOne - h.second, right = h.second;
        constexpr std::int32_t kRound = 1 << (2 * kQuickBits - 1);
#if defined(__SSE2__)
        const __m128i two = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));  // a0 a1 a2 a3 b0 b1 b2 b3
        const __m128i paired = _mm_unpacklo_epi16(two, _mm_srli_si128(two, 8));       // a0 b0 a1 b1 ...
        const __m128i weights = _mm_set1_epi32(
            static_cast<int>(static_cast<std::uint32_t>(left) | static_cast<std::uint32_t>(right) << 16));
        __m128i sum = _mm_add_epi32(_mm_madd_epi16(paired, weights), _mm_set1_epi32(kRound));
        sum = _mm_srai_epi32(sum, 2 * kQuickBits);
        const __m128i narrow = _mm_packs_epi32(sum, sum);
        const __m128i packed = _mm_packus_epi16(narrow, narrow);
        const auto four = static_cast<std::uint32_t>(_mm_cvtsi128_si32(packed));
        std::memcpy(to + 4 * static_cast<size_t>(x), &four, sizeof four);
#else
        for (int c = 0; c < 4; ++c)
          to[4 * x + c] = static_cast<unsigned char>((from[c] * left + from[4 + c] * right + kRound) >> (2 * kQuickBits));
#endif
      }
    }
  });
  return dst;
}

bool keyOut(std::span<std::uint32_t> pixels, std::uint32_t colour) {
  constexpr int kTolerance = Picture::kKeyTolerance;
  const int kr = colour & 0xFF, kg = (colour >> 8) & 0xFF, kb = (colour >> 16) & 0xFF;
  bool any = false;
  for (std::uint32_t& p : pixels) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (std::abs(r - kr) <= kTolerance && std::abs(g - kg) <= kTolerance && std::abs(b - kb) <= kTolerance) {
      p = 0;
      any = true;
    }
  }
  return any;
}

}  // namespace mox::paint
