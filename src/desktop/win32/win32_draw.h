#pragma once
// Executing the paint layer's display lists on Windows: into 32-bit DIB sections, pictures decoded with WIC,
// text drawn with GDI in a Chinese face. How anything looks is decided by the paint layer; this only turns its
// commands into pixels.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ui/paint/display_list.h"
#include "ui/paint/refine.h"
#include "ui/paint/scale.h"

namespace mox::win32 {

// A top-down 32-bit DIB section with a memory DC selected on it: the canvas the program draws into and the frame
// WM_PAINT presents. Pixels are 0xAARRGGBB; GDI ignores alpha when presenting.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  bool ok() const { return pixels_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  uint32_t* row(int y) { return pixels_ + static_cast<size_t>(y) * static_cast<size_t>(width_); }
  uint32_t pixel(int x, int y) const { return pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + x]; }
  // Copies `r` of another canvas of the same size.
  void copyFrom(const Canvas& other, Rect r);

 private:
  int width_ = 0, height_ = 0;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* pixels_ = nullptr;
};

// A decoded picture: premultiplied 0xAARRGGBB, rows top to bottom.
struct Image {
  int width = 0, height = 0;
  bool opaque = true;
  std::vector<uint32_t> pixels;
};

// Decodes a picture file (JPEG, PNG, BMP, ICO ...) held in memory with WIC, bringing up COM on this thread first
// if it is not.
std::optional<Image> decodeImage(std::span<const unsigned char> bytes);

// Embedded pictures decoded once and kept, by asset name (taken as they are when the build carries them decoded).
// Decoding may run ahead on another thread: the pictures a display list needs are announced, a second thread
// decodes them meanwhile (decodeAnnounced), and get() waits for an announced picture rather than decoding it
// twice. Keyed and resampled pictures are made once too, by whichever thread asks first.
class Pictures {
 public:
  // The decoded picture, or nullptr for "" or an asset that is missing or cannot be decoded.
  const Image* get(const std::string& name);
  // The picture with every pixel near `colour` (0x00BBGGRR) made see-through (paint::Picture::kKeyTolerance).
  const Image* keyed(const std::string& name, uint32_t colour);
  // The picture (keyed when `key` is given) resampled to width x height screen pixels, made once per picture,
  // key and size and kept; the picture itself at its own size. Once refineLater was called it is made quickly at
  // first and carefully after startRefining; a quick picture is valid until adoptRefined.
  const Image* sized(const std::string& name, const std::optional<uint32_t>& key, int width, int height);

  // From now on, resampled pictures are drawn quickly first and made carefully on another thread once
  // startRefining is called; `ready` runs on that thread when pictures wait for adoptRefined.
  void refineLater(std::function<void()> ready) { refiner_.enable(std::move(ready)); }
  void startRefining() { refiner_.start(); }
  // Swaps the carefully made pictures in for the quick ones, on the thread that draws, with no other thread
  // drawing; whether there were any.
  bool adoptRefined();
  // Every picture asked for is made carefully (the windows are then drawn again).
  bool refined() { return refiner_.idle(); }
  // Waits for the pictures under way (for tests).
  void finishRefining() { refiner_.finish(); }

  // The pictures `list` draws at `scale`, to be decoded by decodeAnnounced. Only the first call counts; call it
  // with an empty list to release a decodeAnnounced that waits.
  void announce(const paint::DisplayList& list, const paint::Scale& scale = {});
  // Waits for announce(), then decodes what it named, in its order; then resamples those drawn at another size
  // than their own, from the list's end (the thread drawing the list meets it halfway).
  void decodeAnnounced();

 private:
  std::mutex mutex_;
  std::condition_variable decoded_;  // one more picture made
  bool announced_ = false;
  std::vector<std::string> ahead_;  // announced, in drawing order
  std::set<std::string> pending_;   // announced and not yet decoded
  std::vector<paint::Picture> resampleAhead_;
  paint::Scale scale_;
  std::map<std::string, std::optional<Image>> plain_;

  // Each picture, keyed or resampled picture made by one thread, which the others wait for.
  using KeyedKey = std::pair<std::string, uint32_t>;
  using SizedKey = paint::SizedPicture;
  template <typename Key, typename Make>
  const Image* once(std::map<Key, std::optional<Image>>& made, std::set<Key>& making, const Key& key, Make make);
  std::map<KeyedKey, std::optional<Image>> keyed_;
  std::set<KeyedKey> keying_;
  std::map<SizedKey, std::optional<Image>> sized_, quick_;
  std::set<SizedKey> sizing_, quickening_;
  paint::Refiner refiner_;  // last: it stops before the pictures it reads go
};

// Where a picture drawn from `source` (`density` of its pixels to a layout pixel) lands on the screen.
Rect screenPlace(const paint::Picture& picture, const Image& source, int density, const paint::Scale& scale);

// The layout's faces on this system. A named face is used when the system has it with the Chinese (GB2312)
// character set; otherwise, and for the default face, an installed face that has that set stands in: Windows' own
// Chinese faces first, then the system's own choice for the set, never one that would show boxes for Chinese text.
class Fonts {
 public:
  Fonts();
  ~Fonts();
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;

  // The installed face that draws text asked for in `face`.
  const std::wstring& faceFor(const std::string& face);
  HFONT get(const Font& font);
  // Every installed face with the Chinese character set, as the system lists them.
  const std::vector<std::wstring>& chineseFaces();

 private:
  // What the system's font mapper gives for `name` asked with the Chinese set, and whether it shows Chinese.
  struct Mapped {
    std::wstring face;
    bool chinese = false;
  };
  Mapped map(const std::wstring& name);
  // Whether the family `name` is installed with the Chinese set (the system's own substitutes count).
  bool installedChinese(const std::wstring& name);
  void enumerate();

  HDC probe_ = nullptr;
  bool enumerated_ = false;
  std::vector<std::wstring> chinese_;
  std::map<std::string, std::wstring> faces_;
  std::map<std::tuple<std::string, int, bool, bool>, HFONT> fonts_;
};

class Painter : public paint::TextMetrics {
 public:
  Painter(Pictures& pictures, Fonts& fonts);
  ~Painter() override;
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // Draws every command onto `target`, in order, each cut to its clip and to the canvas, at `scale` screen
  // pixels per layout pixel: rectangles, clips and lines where the scale puts them, pictures from their largest
  // drawing at their size on the screen, text in its face realised at the scaled height. Text is measured
  // (TextMetrics) in layout pixels whatever the scale.
  void execute(Canvas& target, const paint::DisplayList& list, const paint::Scale& scale = {});

  int lineHeight(const Font& font) override;
  int width(const Font& font, std::string_view text) override;

 private:
  void draw(Canvas& target, const paint::Fill& fill);
  void draw(Canvas& target, const paint::Picture& picture);
  void draw(Canvas& target, const paint::Text& text);
  void draw(Canvas& target, const paint::Line& line);

  Pictures& pictures_;
  HDC measureDc();

  Fonts& fonts_;
  paint::Scale scale_;     // of the list being executed
  HDC measure_ = nullptr;  // a screen-compatible DC for text metrics, made at the first measurement
  std::map<std::tuple<std::string, int, bool, bool>, int> lineHeights_;
};

// Fills `r` of the canvas, cut to the canvas.
void fillRect(Canvas& target, Rect r, uint32_t bgr);
// Composes a premultiplied image at (x, y) over the canvas inside `clip`, its alpha further scaled by `alpha`.
void blend(Canvas& target, const Image& image, int x, int y, Rect clip, uint8_t alpha = 255);

}  // namespace mox::win32
