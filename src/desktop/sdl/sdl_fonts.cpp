#include "desktop/sdl/sdl_fonts.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

namespace mox::sdl {

std::string familyFor(std::string_view face) {
  if (face == "宋体") return "SimSun";
  if (face == "黑体") return "SimHei";
  if (face.empty()) return "sans-serif";
  return std::string(face);
}

std::optional<FontMatch> resolveFont(std::string_view face, bool bold) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return std::nullopt;
  const std::string family = familyFor(face);
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  // Without a language, the CJK collections answer with their Japanese face first.
  FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return std::nullopt;
  std::optional<FontMatch> out;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
    FontMatch m;
    m.file = reinterpret_cast<const char*>(file);
    int index = 0, weight = FC_WEIGHT_REGULAR;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) m.index = index;
    if (FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) == FcResultMatch) m.bold = weight >= FC_WEIGHT_DEMIBOLD;
    out = m;
  }
  FcPatternDestroy(match);
  return out;
}

FontCache::~FontCache() {
  for (auto& [key, font] : fonts_) {
    if (font) TTF_CloseFont(font);
  }
}

TTF_Font* FontCache::get(const Font& font, int copy) {
  auto key = std::make_pair(font.face, font.bold);
  auto m = matches_.find(key);
  if (m == matches_.end()) m = matches_.emplace(key, resolveFont(font.face, font.bold)).first;
  if (!m->second) return nullptr;
  const FontMatch& match = *m->second;
  auto f = fonts_.find({match.file, match.index, copy});
  if (f == fonts_.end()) {
    f = fonts_.emplace(std::make_tuple(match.file, match.index, copy),
                       TTF_OpenFontIndex(match.file.c_str(), font.height, match.index)).first;
  }
  TTF_Font* opened = f->second;
  if (!opened) return nullptr;
  // At 72 dots per inch a point is a pixel, so the layout's character height is the size asked for.
  if (auto s = size_.find(opened); s == size_.end() || s->second != font.height) {
    TTF_SetFontSize(opened, font.height);
    size_[opened] = font.height;
  }
  int style = TTF_STYLE_NORMAL;
  if (font.bold && !match.bold) style |= TTF_STYLE_BOLD;
  if (font.underline) style |= TTF_STYLE_UNDERLINE;
  if (TTF_GetFontStyle(opened) != style) TTF_SetFontStyle(opened, style);
  return opened;
}

}  // namespace mox::sdl
