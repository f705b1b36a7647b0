#pragma once
// Pictures at another size than they were drawn, for executors that show the window enlarged: a picture set drawn
// at one density is resampled once per picture and scale (the executor keeps the result), never per frame.
//
// Pixels are premultiplied 0xAARRGGBB, rows top to bottom, no padding.
#include <cstdint>
#include <span>
#include <vector>

namespace mox::paint {

// The picture of width × height resampled to toWidth × toHeight with a separable Lanczos-3 filter, widened by the
// reduction when shrinking so that every source pixel counts (no aliasing). Results are clamped: every channel in
// 0 … 255 and no colour above its alpha. An axis whose size stays the same is copied as it is. Sizes below 1 or a
// pixel count that disagrees with the size give an empty result.
std::vector<std::uint32_t> resample(std::span<const std::uint32_t> pixels, int width, int height, int toWidth,
                                    int toHeight);

// The same resampling with a bilinear filter, about a tenth of the work: for a first frame, drawn again with
// resample's pictures once they are made. Weights never go below 0, so nothing overshoots; when shrinking below
// half, source pixels between the samples are skipped (it is a preview). The same answers for bad input.
std::vector<std::uint32_t> resampleQuick(std::span<const std::uint32_t> pixels, int width, int height, int toWidth,
                                         int toHeight);

// Makes every pixel within Picture::kKeyTolerance of `colour` (0x00BBGGRR) on every channel see-through (all
// zero, which is see-through both premultiplied and not). Alpha is not looked at. Returns whether any pixel was.
// Key before resampling: the filter then fades the shape's edge into see-through instead of into the key colour.
bool keyOut(std::span<std::uint32_t> pixels, std::uint32_t colour);

}  // namespace mox::paint
