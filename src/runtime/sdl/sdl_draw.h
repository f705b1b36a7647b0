#pragma once
// Drawing a form onto an SDL surface: every control kind of the layout, in creation order (which is also the
// stacking order), each cut to its own box and its parents' boxes, and only inside the area asked for, so the
// window redraws just what changed. The open list of a drop-down and the banner's picture are drawn over it.
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "runtime/form.h"
#include "runtime/sdl/sdl_fonts.h"
#include "runtime/sdl/sdl_input.h"

struct SDL_Surface;

namespace mox::sdl {

// Embedded pictures decoded once and kept, by asset name; ARGB8888.
class Pictures {
 public:
  Pictures() = default;
  ~Pictures();
  Pictures(const Pictures&) = delete;
  Pictures& operator=(const Pictures&) = delete;

  // The decoded picture, or nullptr for "" or an asset that is missing or cannot be decoded.
  SDL_Surface* get(const std::string& name);
  // The picture with every pixel near `colour` (0x00BBGGRR) made see-through. The layout's pictures are JPEG,
  // whose compression shifts a flat colour by a few steps, so "near" allows kKeyTolerance per channel.
  SDL_Surface* keyed(const std::string& name, uint32_t colour);
  static constexpr int kKeyTolerance = 8;

 private:
  std::map<std::string, SDL_Surface*> plain_;
  std::map<std::pair<std::string, uint32_t>, SDL_Surface*> keyed_;
};

class Painter {
 public:
  Painter(Pictures& pictures, FontCache& fonts) : pictures_(pictures), fonts_(fonts) {}
  ~Painter();
  Painter(const Painter&) = delete;
  Painter& operator=(const Painter&) = delete;

  // Redraws `area` (window client coordinates) of the form onto `target`: the window's background, then every
  // shown control that reaches into it. `pointer` chooses the hover and pressed pictures; null draws none.
  void paint(SDL_Surface* target, const Form& form, const Pointer* pointer, Rect area);
  // The open list of a drop-down, over whatever is on `target`.
  void paintPopup(SDL_Surface* target, const Form& form, const Popup& popup, Rect area);
  // A picture composed with its own per-pixel alpha at (x, y), cut to `area`.
  void paintLayer(SDL_Surface* target, const std::string& picture, int x, int y, Rect area);

  // Captions rendered since start-up are kept; the cache is emptied when it grows past this many.
  static constexpr size_t kTextCacheLimit = 512;

 private:
  void drawControl(SDL_Surface* target, const Form& form, int index, const Pointer* pointer);
  // Draws one line of text inside `box`, vertically centred, aligned as asked. Returns the text's width.
  int drawText(SDL_Surface* target, const Font& font, const std::string& text, uint32_t colour, Rect box,
               Align align);
  SDL_Surface* renderText(const Font& font, const std::string& text, uint32_t colour);

  Pictures& pictures_;
  FontCache& fonts_;
  std::map<std::tuple<std::string, int, bool, bool, uint32_t, std::string>, SDL_Surface*> texts_;
};

}  // namespace mox::sdl
