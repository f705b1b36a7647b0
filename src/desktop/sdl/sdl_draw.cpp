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

// A picture's pixels as the paint layer's filters take them: premultiplied ARGB8888 (straight alpha in the
// surface; see-through pixels then lend no colour to their neighbours). An opaque picture's pixels are their own
// premultiplied form: taken where they lie when they are ARGB8888 already.
struct Premultiplied {
  bool opaque = true;
  SDL_BlendMode mode = SDL_BLENDMODE_NONE;
  const uint32_t* borrowed = nullptr;
  std::vector<uint32_t> owned;
  std::span<const uint32_t> pixels(size_t count) const { return {borrowed ? borrowed : owned.data(), count}; }
};

std::optional<Premultiplied> premultiplied(SDL_Surface* source) {
  Premultiplied out;
  SDL_GetSurfaceBlendMode(source, &out.mode);
  out.opaque = out.mode == SDL_BLENDMODE_NONE;
  if (out.opaque && source->format->format == SDL_PIXELFORMAT_ARGB8888 && source->pitch == source->w * 4 &&
      !SDL_MUSTLOCK(source)) {
    out.borrowed = static_cast<const uint32_t*>(source->pixels);
    return out;
  }
  SDL_Surface* from = SDL_ConvertSurfaceFormat(source, SDL_PIXELFORMAT_ARGB8888, 0);
  if (!from) return std::nullopt;
  out.owned.resize(static_cast<size_t>(from->w) * from->h);
  SDL_LockSurface(from);
  for (int y = 0; y < from->h; ++y) {
    const auto* row =
        reinterpret_cast<const uint32_t*>(static_cast<const unsigned char*>(from->pixels) + y * from->pitch);
    for (int x = 0; x < from->w; ++x) {
      const uint32_t p = out.opaque ? row[x] | 0xFF000000u : row[x], a = p >> 24;
      const auto pre = [&](int shift) { return (((p >> shift) & 0xFF) * a + 127) / 255 << shift; };
      out.owned[static_cast<size_t>(y) * from->w + x] = a == 255 ? p : a << 24 | pre(16) | pre(8) | pre(0);
    }
  }
  SDL_UnlockSurface(from);
  SDL_FreeSurface(from);
  return out;
}

}  // namespace

Pictures::~Pictures() {
  refiner_.stop();  // it reads the pictures below
  for (auto& [name, s] : plain_) SDL_FreeSurface(s);
  for (auto& [key, s] : keyed_) SDL_FreeSurface(s);
  for (auto& [key, held] : sized_) SDL_FreeSurface(held.surface);
  for (auto& [key, held] : quick_) SDL_FreeSurface(held.surface);
}

// Resampled premultiplied pixels back in the source's form (straight alpha, its blend mode), in place.
Pictures::Held Pictures::hold(std::vector<uint32_t> pixels, int width, int height, bool opaque, int mode) {
  Held held{nullptr, std::move(pixels)};
  if (held.pixels.empty()) return held;
  if (!opaque) {
    for (uint32_t& p : held.pixels) {
      const uint32_t a = p >> 24;
      const auto straight = [&](int shift) {
        return a == 0 ? 0u : std::min(255u, (((p >> shift) & 0xFF) * 255 + a / 2) / a) << shift;
      };
      p = a == 255 ? p : a << 24 | straight(16) | straight(8) | straight(0);
    }
  }
  held.surface =
      SDL_CreateRGBSurfaceWithFormatFrom(held.pixels.data(), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
  if (held.surface) SDL_SetSurfaceBlendMode(held.surface, static_cast<SDL_BlendMode>(mode));
  return held;
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
  paint::SizedPicture sized{source.asset, key, width, height};
  if (auto it = sized_.find(sized); it != sized_.end()) return it->second.surface;
  if (auto it = quick_.find(sized); it != quick_.end()) return it->second.surface;
  std::optional<Premultiplied> in = premultiplied(drawn);
  const auto count = static_cast<size_t>(drawn->w) * static_cast<size_t>(drawn->h);
  const bool quick = refiner_.enabled();
  const auto filter = quick ? paint::resampleQuick : paint::resample;
  Held held =
      in ? hold(filter(in->pixels(count), drawn->w, drawn->h, width, height), width, height, in->opaque, in->mode)
         : Held{};
  SDL_Surface* out = held.surface;
  (quick ? quick_ : sized_).emplace(sized, std::move(held));
  if (quick && in) refiner_.add({std::move(sized), in->borrowed, std::move(in->owned), drawn->w, drawn->h});
  return out;
}

bool Pictures::adoptRefined() {
  std::vector<paint::Refiner::Result> made = refiner_.take();
  for (paint::Refiner::Result& r : made) {
    SDL_Surface* drawn = r.picture.key ? keyed(r.picture.asset, *r.picture.key) : get(r.picture.asset);
    SDL_BlendMode mode = SDL_BLENDMODE_NONE;
    if (drawn) SDL_GetSurfaceBlendMode(drawn, &mode);
    // One picture at a time, the quick one gone first: never more than one picture's copies at once.
    if (auto it = quick_.find(r.picture); it != quick_.end()) {
      SDL_FreeSurface(it->second.surface);
      quick_.erase(it);
    }
    Held held = hold(std::move(r.pixels), r.picture.width, r.picture.height, mode == SDL_BLENDMODE_NONE, mode);
    if (auto [it, added] = sized_.emplace(std::move(r.picture), std::move(held)); !added) SDL_FreeSurface(held.surface);
  }
  return !made.empty();
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
  const std::vector<Rect> places =
      p.tile ? paint::tileRects(p.x, p.y, w, h, p.clip, scale_) : std::vector<Rect>{scale_.rect({p.x, p.y, w, h})};
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
