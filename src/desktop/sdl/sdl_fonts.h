#pragma once
// Fonts for the form's captions: the layout's face names resolved through fontconfig to installed fonts that
// show Chinese, opened with SDL_ttf at the layout's pixel heights and kept open for the life of the window.
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>

#include "runtime/form.h"

typedef struct _TTF_Font TTF_Font;

namespace mox::sdl {

// The family fontconfig is asked for in place of a layout face: the Windows names of the Chinese faces are what
// fontconfig's aliases know them by, and "" is the user-interface face.
std::string familyFor(std::string_view face);

struct FontMatch {
  std::string file;
  int index = 0;      // face index inside a collection (.ttc)
  bool bold = false;  // the matched face is itself bold
};
// The installed font fontconfig picks for a layout face, asked for Simplified Chinese coverage.
std::optional<FontMatch> resolveFont(std::string_view face, bool bold);

// The program's own cut-down copy of a Chinese face (Noto Sans or Serif CJK SC, only the characters the program's
// texts hold), or nothing in a build made without one.
std::span<const unsigned char> carriedFace(bool serif, bool bold);

class FontCache {
 public:
  FontCache() = default;
  ~FontCache();
  FontCache(const FontCache&) = delete;
  FontCache& operator=(const FontCache&) = delete;

  // The opened font set to a layout font's size and style, or nullptr when no font could be found or opened.
  // Every size and style of one face shares one open font (the CJK faces are large, and each open copy holds
  // its own tables), so the result is only good until the next call. The program's own cut-down faces serve the
  // layout's faces (宋体 in serif, every other in sans) where they hold every character of
  // `text`; the installed face fontconfig finds serves any other.
  TTF_Font* get(const Font& font, std::string_view text = {});

 private:
  TTF_Font* carried(const Font& font);
  TTF_Font* installed(const Font& font);
  void setSize(TTF_Font* opened, const Font& font, bool faceIsBold);

  std::map<std::pair<std::string, bool>, std::optional<FontMatch>> matches_;
  std::map<std::pair<std::string, int>, TTF_Font*> fonts_;  // by file and face index; carried ones by "" and kind
  std::map<TTF_Font*, int> size_;
};

}  // namespace mox::sdl
