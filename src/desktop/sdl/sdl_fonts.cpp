#include "desktop/sdl/sdl_fonts.h"

#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <cstdint>

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

namespace {

// Whether the face has a glyph for every character of the UTF-8 text (a broken sequence counts as missing).
bool covers(TTF_Font* font, std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t c = length == 1 ? b : b & (0x7F >> length);
    for (int k = 1; k < length; ++k) c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    if (c >= 0x20 && !TTF_GlyphIsProvided32(font, c)) return false;
    i += static_cast<size_t>(length);
  }
  return true;
}

}  // namespace

TTF_Font* FontCache::get(const Font& font, std::string_view text) {
  if (TTF_Font* own = carried(font)) {
    if (text.empty() || covers(own, text)) {
      setSize(own, font, font.bold);
      return own;
    }
  }
  return installed(font);
}

TTF_Font* FontCache::carried(const Font& font) {
  const bool serif = font.face == "宋体";
  if (!serif && font.face != "黑体" && !font.face.empty()) return nullptr;
  const int kind = (serif ? 2 : 0) + (font.bold ? 1 : 0);
  auto f = fonts_.find({"", kind});
  if (f == fonts_.end()) {
    TTF_Font* opened = nullptr;
    const std::span<const unsigned char> face = carriedFace(serif, font.bold);
    if (!face.empty()) {
      SDL_RWops* rw = SDL_RWFromConstMem(face.data(), static_cast<int>(face.size()));
      opened = rw ? TTF_OpenFontRW(rw, 1, font.height) : nullptr;
      if (opened) size_[opened] = font.height;
    }
    f = fonts_.emplace(std::make_pair(std::string(), kind), opened).first;
  }
  return f->second;
}

TTF_Font* FontCache::installed(const Font& font) {
  auto key = std::make_pair(font.face, font.bold);
  auto m = matches_.find(key);
  if (m == matches_.end()) m = matches_.emplace(key, resolveFont(font.face, font.bold)).first;
  if (!m->second) return nullptr;
  const FontMatch& match = *m->second;
  auto f = fonts_.find({match.file, match.index});
  if (f == fonts_.end()) {
    TTF_Font* opened = TTF_OpenFontIndex(match.file.c_str(), font.height, match.index);
    if (opened) size_[opened] = font.height;
    f = fonts_.emplace(std::make_pair(match.file, match.index), opened).first;
  }
  if (f->second) setSize(f->second, font, match.bold);
  return f->second;
}

void FontCache::setSize(TTF_Font* opened, const Font& font, bool faceIsBold) {
  // At 72 dots per inch a point is a pixel, so the layout's character height is the size asked for.
  if (auto s = size_.find(opened); s == size_.end() || s->second != font.height) {
    TTF_SetFontSize(opened, font.height);
    size_[opened] = font.height;
  }
  int style = TTF_STYLE_NORMAL;
  if (font.bold && !faceIsBold) style |= TTF_STYLE_BOLD;
  if (font.underline) style |= TTF_STYLE_UNDERLINE;
  if (TTF_GetFontStyle(opened) != style) TTF_SetFontStyle(opened, style);
}

}  // namespace mox::sdl
