#include "desktop/sdl/sdl_draw.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <variant>
#include <vector>

#include "assets/assets.h"
#include "ui/paint/resample.h"

namespace mox::sdl {

namespace {

SDL_Rect toSdl(const Rect& r) { return {r.x, r.y, r.w, r.h}; }

uint32_t mapColour(SDL_Surface* target, uint32_t bgr) {
  return SDL_MapRGB(target->format, bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

void fill(SDL_Surface* target, Rect r, uint32_t bgr) {
  SDL_Rect s = toSdl(r);
  SDL_FillRect(target, &s, mapColour(target, bgr));
}

void blit(SDL_Surface* source, SDL_Surface* target, int x, int y) {
  SDL_Rect at{x, y, source->w, source->h};
  SDL_BlitSurface(source, nullptr, target, &at);
}

// A copy of `source` at width x height, resampled with the paint layer's filter (ARGB8888, straight alpha in and
// out; the filter works on premultiplied pixels, so see-through pixels lend no colour to their neighbours). An
// opaque picture's pixels are their own premultiplied form: they go to the filter as they are and come back so.
SDL_Surface* resampled(SDL_Surface* source, int width, int height) {
  SDL_BlendMode mode = SDL_BLENDMODE_NONE;
  SDL_GetSurfaceBlendMode(source, &mode);
  const bool opaque = mode == SDL_BLENDMODE_NONE;
  std::vector<uint32_t> pixels;
  std::span<const uint32_t> in;
  if (opaque && source->format->format == SDL_PIXELFORMAT_ARGB8888 && source->pitch == source->w * 4 &&
      !SDL_MUSTLOCK(source)) {
    in = {static_cast<const uint32_t*>(source->pixels), static_cast<size_t>(source->w) * source->h};
  } else {
    SDL_Surface* from = SDL_ConvertSurfaceFormat(source, SDL_PIXELFORMAT_ARGB8888, 0);
    if (!from) return nullptr;
    pixels.resize(static_cast<size_t>(from->w) * from->h);
    SDL_LockSurface(from);
    for (int y = 0; y < from->h; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const unsigned char*>(from->pixels) + y * from->pitch);
      for (int x = 0; x < from->w; ++x) {
        const uint32_t p = opaque ? row[x] | 0xFF000000u : row[x], a = p >> 24;
        const auto pre = [&](int shift) { return (((p >> shift) & 0xFF) * a + 127) / 255 << shift; };
        pixels[static_cast<size_t>(y) * from->w + x] = a == 255 ? p : a << 24 | pre(16) | pre(8) | pre(0);
      }
    }
    SDL_UnlockSurface(from);
    SDL_FreeSurface(from);
    in = pixels;
  }
  const std::vector<uint32_t> sized = paint::resample(in, source->w, source->h, width, height);
  SDL_Surface* out = sized.empty() ? nullptr : SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
  if (!out) return nullptr;
  SDL_LockSurface(out);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(out->pixels) + y * out->pitch);
    const uint32_t* from = &sized[static_cast<size_t>(y) * width];
    if (opaque) {
      std::memcpy(row, from, static_cast<size_t>(width) * 4);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const uint32_t p = from[x], a = p >> 24;
      const auto straight = [&](int shift) { return a == 0 ? 0u : std::min(255u, (((p >> shift) & 0xFF) * 255 + a / 2) / a) << shift; };
      row[x] = a == 255 ? p : a << 24 | straight(16) | straight(8) | straight(0);
    }
  }
  SDL_UnlockSurface(out);
  SDL_SetSurfaceBlendMode(out, mode);
  return out;
}

}  // namespace

Pictures::~Pictures() {
  for (auto& [name, s] : plain_) SDL_FreeSurface(s);
  for (auto& [key, s] : keyed_) SDL_FreeSurface(s);
  for (auto& [key, s] : sized_) SDL_FreeSurface(s);
}

SDL_Surface* decodePicture(const std::string& name) {
  SDL_Surface* out = nullptr;
  if (const assets::Asset* a = assets::find(name)) {
    // Carried decoded (opaque JPEGs, so premultiplied is straight): drawn from where they lie in the program,
    // never written to, nothing to decode or copy.
    if (!a->pixels.empty()) {
      out = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(a->pixels.data()), a->width, a->height, 32,
                                               a->width * 4, SDL_PIXELFORMAT_ARGB8888);
      if (out) SDL_SetSurfaceBlendMode(out, SDL_BLENDMODE_NONE);
      return out;
    }
    SDL_RWops* rw = SDL_RWFromConstMem(a->bytes.data(), static_cast<int>(a->bytes.size()));
    if (SDL_Surface* decoded = rw ? IMG_Load_RW(rw, 1) : nullptr) {
      const bool alpha = SDL_ISPIXELFORMAT_ALPHA(decoded->format->format) || decoded->format->palette;
      out = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_ARGB8888, 0);
      SDL_FreeSurface(decoded);
      if (out) SDL_SetSurfaceBlendMode(out, alpha ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
    }
  }
  return out;
}

SDL_Surface* Pictures::get(const std::string& name) {
  if (name.empty()) return nullptr;
  auto it = plain_.find(name);
  if (it != plain_.end()) return it->second;
  SDL_Surface* out = decodePicture(name);
  plain_.emplace(name, out);
  return out;
}

SDL_Surface* Pictures::keyed(const std::string& name, uint32_t colour) {
  auto key = std::make_pair(name, colour);
  auto it = keyed_.find(key);
  if (it != keyed_.end()) return it->second;
  SDL_Surface* out = nullptr;
  if (SDL_Surface* plain = get(name)) {
    out = SDL_ConvertSurfaceFormat(plain, SDL_PIXELFORMAT_ARGB8888, 0);
    if (out) {
      SDL_LockSurface(out);
      for (int y = 0; y < out->h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(out->pixels) + y * out->pitch);
        paint::keyOut({row, static_cast<size_t>(out->w)}, colour);
      }
      SDL_UnlockSurface(out);
      SDL_SetSurfaceBlendMode(out, SDL_BLENDMODE_BLEND);
    }
  }
  keyed_.emplace(key, out);
  return out;
}

SDL_Surface* Pictures::scaled(const std::string& name, std::optional<uint32_t> key, const paint::Scale& scale,
                              int width, int height) {
  if (scale.identity()) return key ? keyed(name, *key) : get(name);
  const paint::PictureSource source = paint::pictureSource(name, scale);
  SDL_Surface* drawn = key ? keyed(source.asset, *key) : get(source.asset);
  if (!drawn || (drawn->w == width && drawn->h == height) || width <= 0 || height <= 0) return drawn;
  auto cacheKey = std::make_tuple(source.asset, key ? *key | 0x1000000u : 0u, width, height);
  auto it = sized_.find(cacheKey);
  if (it != sized_.end()) return it->second;
  SDL_Surface* out = resampled(drawn, width, height);
  sized_.emplace(std::move(cacheKey), out);
  return out;
}

Painter::~Painter() {
  for (auto& [key, s] : texts_) SDL_FreeSurface(s);
}

SDL_Surface* Painter::renderText(const Font& layoutFont, std::string_view text, uint32_t colour) {
  Font font = layoutFont;
  font.height = scale_.fontHeight(layoutFont.height);
  auto key = std::make_tuple(font.face, font.height, font.bold, font.underline, colour, std::string(text));
  auto it = texts_.find(key);
  if (it != texts_.end()) return it->second;
  if (texts_.size() >= kTextCacheLimit) {
    for (auto& [k, s] : texts_) SDL_FreeSurface(s);
    texts_.clear();
  }
  SDL_Surface* out = nullptr;
  if (TTF_Font* f = fonts_.get(font, text)) {
    SDL_Color c{static_cast<Uint8>(colour & 0xFF), static_cast<Uint8>((colour >> 8) & 0xFF),
                static_cast<Uint8>((colour >> 16) & 0xFF), 255};
    out = TTF_RenderUTF8_Blended(f, std::get<5>(key).c_str(), c);
  }
  texts_.emplace(std::move(key), out);
  return out;
}

int Painter::lineHeight(const Font& font) {
  const auto key = std::make_tuple(font.face, font.height, font.bold, font.underline, std::string());
  if (auto it = metrics_.find(key); it != metrics_.end()) return it->second;
  TTF_Font* f = fonts_.get(font);
  const int height = f ? TTF_FontHeight(f) : font.height + 2;
  metrics_.emplace(key, height);
  return height;
}

int Painter::width(const Font& font, std::string_view text) {
  if (text.empty()) return 0;
  auto key = std::make_tuple(font.face, font.height, font.bold, font.underline, std::string(text));
  if (auto it = metrics_.find(key); it != metrics_.end()) return it->second;
  if (metrics_.size() >= kMetricsCacheLimit) metrics_.clear();
  TTF_Font* f = fonts_.get(font, text);
  int w = 0;
  if (!f || TTF_SizeUTF8(f, std::get<4>(key).c_str(), &w, nullptr) != 0) w = 0;
  metrics_.emplace(std::move(key), w);
  return w;
}

void Painter::warmFonts(const Form& form) {
  for (const Control& c : form.controls()) lineHeight(c.font);
}

void Painter::execute(SDL_Surface* target, const paint::DisplayList& list) {
  for (const paint::Command& command : list) {
    std::visit([&](const auto& c) { draw(target, c); }, command);
  }
  SDL_SetClipRect(target, nullptr);
}

bool Painter::clipTo(SDL_Surface* target, const Rect& layoutClip) const {
  const Rect cut = paint::intersect(scale_.rect(layoutClip), {0, 0, target->w, target->h});
  SDL_Rect c = toSdl(cut);
  SDL_SetClipRect(target, &c);
  return !paint::empty(cut);
}

void Painter::draw(SDL_Surface* target, const paint::Fill& f) {
  SDL_SetClipRect(target, nullptr);
  fill(target, scale_.rect(f.rect), f.colour);
}

void Painter::draw(SDL_Surface* target, const paint::Picture& p) {
  if (!clipTo(target, p.clip)) return;
  // The picture's size in layout pixels: its drawing's, divided by the drawing's density.
  const paint::PictureSource source = paint::pictureSource(p.asset, scale_);
  SDL_Surface* drawn = pictures_.get(source.asset);
  if (!drawn || drawn->w < source.density || drawn->h < source.density) return;
  const int w = drawn->w / source.density, h = drawn->h / source.density;
  const std::vector<Rect> places = p.tile ? paint::tileRects(p.x, p.y, w, h, p.clip, scale_)
                                          : std::vector<Rect>{scale_.rect({p.x, p.y, w, h})};
  for (const Rect& at : places) {
    SDL_Surface* s = pictures_.scaled(p.asset, p.key, scale_, at.w, at.h);
    if (!s) continue;
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    if (p.alpha != 255) {
      SDL_GetSurfaceBlendMode(s, &mode);
      SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
      SDL_SetSurfaceAlphaMod(s, p.alpha);
    }
    blit(s, target, at.x, at.y);
    if (p.alpha != 255) {
      SDL_SetSurfaceAlphaMod(s, 255);
      SDL_SetSurfaceBlendMode(s, mode);
    }
  }
}

void Painter::draw(SDL_Surface* target, const paint::Text& t) {
  SDL_Surface* s = renderText(t.font, t.text, t.colour);
  if (!s || !clipTo(target, t.clip)) return;
  const Rect box = scale_.rect(t.box);
  int x = box.x;
  if (t.align == Align::Centre) x = box.x + (box.w - s->w) / 2;
  if (t.align == Align::Right) x = box.x + box.w - s->w;
  blit(s, target, x, box.y + (box.h - s->h) / 2);
}

void Painter::draw(SDL_Surface* target, const paint::Line& l) {
  if (!clipTo(target, l.clip)) return;
  for (const Rect& r : paint::lineRects(l.x0, l.y0, l.x1, l.y1, scale_)) fill(target, r, l.colour);
}

}  // namespace mox::sdl
