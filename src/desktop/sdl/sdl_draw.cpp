#include "desktop/sdl/sdl_draw.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdlib>
#include <variant>

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

// Sets the surface's clip to `r` cut to the surface; false when nothing of it is on the surface.
bool clipTo(SDL_Surface* target, const Rect& r) {
  const Rect cut = paint::intersect(r, {0, 0, target->w, target->h});
  SDL_Rect c = toSdl(cut);
  SDL_SetClipRect(target, &c);
  return !paint::empty(cut);
}

void blit(SDL_Surface* source, SDL_Surface* target, int x, int y) {
  SDL_Rect at{x, y, source->w, source->h};
  SDL_BlitSurface(source, nullptr, target, &at);
}

}  // namespace

Pictures::~Pictures() {
  for (auto& [name, s] : plain_) SDL_FreeSurface(s);
  for (auto& [key, s] : keyed_) SDL_FreeSurface(s);
}

SDL_Surface* Pictures::get(const std::string& name) {
  if (name.empty()) return nullptr;
  auto it = plain_.find(name);
  if (it != plain_.end()) return it->second;
  SDL_Surface* out = nullptr;
  if (const assets::Asset* a = assets::find(name)) {
    SDL_RWops* rw = SDL_RWFromConstMem(a->bytes.data(), static_cast<int>(a->bytes.size()));
    if (SDL_Surface* decoded = rw ? IMG_Load_RW(rw, 1) : nullptr) {
      const bool alpha = SDL_ISPIXELFORMAT_ALPHA(decoded->format->format) || decoded->format->palette;
      out = SDL_ConvertSurfaceFormat(decoded, SDL_PIXELFORMAT_ARGB8888, 0);
      SDL_FreeSurface(decoded);
      if (out) SDL_SetSurfaceBlendMode(out, alpha ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
    }
  }
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

Painter::~Painter() {
  for (auto& [key, s] : texts_) SDL_FreeSurface(s);
}

SDL_Surface* Painter::renderText(const Font& font, std::string_view text, uint32_t colour) {
  auto key = std::make_tuple(font.face, font.height, font.bold, font.underline, colour, std::string(text));
  auto it = texts_.find(key);
  if (it != texts_.end()) return it->second;
  if (texts_.size() >= kTextCacheLimit) {
    for (auto& [k, s] : texts_) SDL_FreeSurface(s);
    texts_.clear();
  }
  SDL_Surface* out = nullptr;
  if (TTF_Font* f = fonts_.get(font)) {
    SDL_Color c{static_cast<Uint8>(colour & 0xFF), static_cast<Uint8>((colour >> 8) & 0xFF),
                static_cast<Uint8>((colour >> 16) & 0xFF), 255};
    out = TTF_RenderUTF8_Blended(f, std::get<5>(key).c_str(), c);
  }
  texts_.emplace(std::move(key), out);
  return out;
}

int Painter::lineHeight(const Font& font) {
  TTF_Font* f = fonts_.get(font);
  return f ? TTF_FontHeight(f) : font.height + 2;
}

int Painter::width(const Font& font, std::string_view text) {
  TTF_Font* f = text.empty() ? nullptr : fonts_.get(font);
  int w = 0;
  if (!f || TTF_SizeUTF8(f, std::string(text).c_str(), &w, nullptr) != 0) return 0;
  return w;
}

void Painter::execute(SDL_Surface* target, const paint::DisplayList& list) {
  for (const paint::Command& command : list) {
    std::visit([&](const auto& c) { draw(target, c); }, command);
  }
  SDL_SetClipRect(target, nullptr);
}

void Painter::draw(SDL_Surface* target, const paint::Fill& f) {
  SDL_SetClipRect(target, nullptr);
  fill(target, f.rect, f.colour);
}

void Painter::draw(SDL_Surface* target, const paint::Picture& p) {
  SDL_Surface* s = p.key ? pictures_.keyed(p.asset, *p.key) : pictures_.get(p.asset);
  if (!s || s->w <= 0 || s->h <= 0 || !clipTo(target, p.clip)) return;
  SDL_BlendMode mode = SDL_BLENDMODE_NONE;
  if (p.alpha != 255) {
    SDL_GetSurfaceBlendMode(s, &mode);
    SDL_SetSurfaceBlendMode(s, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceAlphaMod(s, p.alpha);
  }
  if (!p.tile) {
    blit(s, target, p.x, p.y);
  } else {
    // Tiles from (x, y), starting with the first one that reaches into the clip.
    const int x0 = p.clip.x > p.x ? p.x + (p.clip.x - p.x) / s->w * s->w : p.x;
    const int y0 = p.clip.y > p.y ? p.y + (p.clip.y - p.y) / s->h * s->h : p.y;
    for (int y = y0; y < p.clip.y + p.clip.h; y += s->h) {
      for (int x = x0; x < p.clip.x + p.clip.w; x += s->w) blit(s, target, x, y);
    }
  }
  if (p.alpha != 255) {
    SDL_SetSurfaceAlphaMod(s, 255);
    SDL_SetSurfaceBlendMode(s, mode);
  }
}

void Painter::draw(SDL_Surface* target, const paint::Text& t) {
  SDL_Surface* s = renderText(t.font, t.text, t.colour);
  if (!s || !clipTo(target, t.clip)) return;
  int x = t.box.x;
  if (t.align == Align::Centre) x = t.box.x + (t.box.w - s->w) / 2;
  if (t.align == Align::Right) x = t.box.x + t.box.w - s->w;
  blit(s, target, x, t.box.y + (t.box.h - s->h) / 2);
}

void Painter::draw(SDL_Surface* target, const paint::Line& l) {
  if (!clipTo(target, l.clip)) return;
  if (l.x0 == l.x1 || l.y0 == l.y1) {
    fill(target, {std::min(l.x0, l.x1), std::min(l.y0, l.y1), std::abs(l.x1 - l.x0) + 1, std::abs(l.y1 - l.y0) + 1},
         l.colour);
    return;
  }
  // Bresenham: one pixel per step along the longer axis.
  const int dx = std::abs(l.x1 - l.x0), dy = -std::abs(l.y1 - l.y0);
  const int sx = l.x0 < l.x1 ? 1 : -1, sy = l.y0 < l.y1 ? 1 : -1;
  int err = dx + dy, x = l.x0, y = l.y0;
  for (;;) {
    fill(target, {x, y, 1, 1}, l.colour);
    if (x == l.x1 && y == l.y1) break;
    const int e2 = 2 * err;
    if (e2 >= dy) { err += dy; x += sx; }
    if (e2 <= dx) { err += dx; y += sy; }
  }
}

}  // namespace mox::sdl
