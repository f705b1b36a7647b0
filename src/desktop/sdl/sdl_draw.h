#pragma once
// Executing the paint layer's display lists onto SDL surfaces: pictures decoded from the embedded assets with
// SDL2_image, text rendered with SDL2_ttf in the faces fontconfig finds, fills and lines. How anything looks is
// decided by the paint layer; this only turns its commands into pixels.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "desktop/sdl/sdl_fonts.h"
#include "ui/paint/display_list.h"
#include "ui/paint/refine.h"
#include "ui/paint/scale.h"

#include <SDL_rect.h>

struct SDL_Surface;

namespace mox::sdl {

inline SDL_Rect toSdl(const Rect& r) { return {r.x, r.y, r.w, r.h}; }

// An embedded picture decoded (ARGB8888, blending where it has alpha), or nullptr.
SDL_Surface* decodePicture(const std::string& name);

// Embedded pictures decoded once and kept, by asset name; ARGB8888.
class Pictures {
 public:
  Pictures() = default;
  ~Pictures();
  Pictures(const Pictures&) = delete;
  Pictures& operator=(const Pictures&) = delete;

  // The decoded picture, or nullptr for "" or an asset that is missing or cannot be decoded.
  SDL_Surface* get(const std::string& name);
  // The picture with every pixel near `colour` (0x00BBGGRR) made see-through (paint::Picture::kKeyTolerance).
  SDL_Surface* keyed(const std::string& name, uint32_t colour);
  // The layout picture `name` as drawn into `size` screen pixels at `scale`: its 2x drawing where there is one,
  // resampled once to that size where neither drawing has it (quickly at first, once refineLater was called).
  SDL_Surface* scaled(const std::string& name, std::optional<uint32_t> key, const paint::Scale& scale, int width,
                      int height);

  // From now on, resampled pictures are drawn quickly first and made carefully on another thread once
  // startRefining is called; `ready` runs on that thread when pictures wait for adoptRefined.
  void refineLater(std::function<void()> ready) { refiner_.enable(std::move(ready)); }
  void startRefining() { refiner_.start(); }
  // Swaps the carefully made pictures in for the quick ones; whether there were any.
  bool adoptRefined();
  // Every picture asked for is made carefully (the windows are then drawn again).
  bool refined() { return refiner_.idle(); }
  // Waits for the pictures under way (for tests).
  void finishRefining() { refiner_.finish(); }

 private:
  std::map<std::string, SDL_Surface*> plain_;
  std::map<std::pair<std::string, uint32_t>, SDL_Surface*> keyed_;
  // A resampled picture: a surface drawn from pixels held beside it (they are made once, never copied).
  struct Held {
    SDL_Surface* surface = nullptr;
    std::vector<uint32_t> pixels;
  };
  static Held hold(std::vector<uint32_t> pixels, int width, int height, bool opaque, int mode);
  std::map<paint::SizedPicture, Held> sized_, quick_;
  paint::Refiner refiner_;
};

class Painter : public paint::TextMetrics {
 public:
  Painter(Pictures& pictures, FontCache& fonts) : pictures_(pictures), fonts_(fonts) {}
  ~Painter() override;
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // The factor lists are executed at: `target` surfaces are that many times the layout's size, text is rendered
  // at that many times its height. Metrics stay in layout pixels.
  void setScale(const paint::Scale& scale) { scale_ = scale; }
  const paint::Scale& scale() const { return scale_; }
  Pictures& pictures() { return pictures_; }

  // Finds and opens the faces of every font the form's controls use (the slow part of a first frame's text).
  void warmFonts(const Form& form);

  // Draws every command onto `target`, in order, each cut to its clip and to the surface.
  void execute(SDL_Surface* target, const paint::DisplayList& list);

  int lineHeight(const Font& font) override;
  int width(const Font& font, std::string_view text) override;

  // Captions rendered since start-up are kept; the cache is emptied when it grows past this many. So are their
  // measurements: at a factor other than 1 a face is measured at the layout's size and rendered at the screen's,
  // and one open face serves both (each CJK face holds megabytes of tables), so each change of size costs.
  static constexpr size_t kTextCacheLimit = 512;
  static constexpr size_t kMetricsCacheLimit = 4096;

 private:
  void draw(SDL_Surface* target, const paint::Fill& fill);
  void draw(SDL_Surface* target, const paint::Picture& picture);
  void draw(SDL_Surface* target, const paint::Text& text);
  void draw(SDL_Surface* target, const paint::Line& line);
  SDL_Surface* renderText(const Font& font, std::string_view text, uint32_t colour);
  bool clipTo(SDL_Surface* target, const Rect& layoutClip) const;

  Pictures& pictures_;
  FontCache& fonts_;
  paint::Scale scale_;
  std::map<std::tuple<std::string, int, bool, bool, uint32_t, std::string>, SDL_Surface*> texts_;
  std::map<std::tuple<std::string, int, bool, bool, std::string>, int> metrics_;  // "" holds the line height
};

}  // namespace mox::sdl
