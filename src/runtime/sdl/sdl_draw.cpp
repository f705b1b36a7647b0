#include "runtime/sdl/sdl_draw.h"

#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>

#include <cstdlib>

#include "assets/assets.h"

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

// A one-pixel outline just inside `r`.
void frame(SDL_Surface* target, Rect r, uint32_t bgr) {
  fill(target, {r.x, r.y, r.w, 1}, bgr);
  fill(target, {r.x, r.y + r.h - 1, r.w, 1}, bgr);
  fill(target, {r.x, r.y, 1, r.h}, bgr);
  fill(target, {r.x + r.w - 1, r.y, 1, r.h}, bgr);
}

void blit(SDL_Surface* source, SDL_Surface* target, int x, int y) {
  SDL_Rect at{x, y, source->w, source->h};
  SDL_BlitSurface(source, nullptr, target, &at);
}

constexpr uint32_t kWhite = rgb(255, 255, 255);
constexpr uint32_t kBlack = rgb(0, 0, 0);
constexpr uint32_t kShadow = rgb(0x80, 0x80, 0x80);
constexpr uint32_t kBorder = rgb(0x7a, 0x7a, 0x7a);
constexpr uint32_t kButtonFace = rgb(0xe1, 0xe1, 0xe1);
constexpr uint32_t kPressedFace = rgb(0xcc, 0xcc, 0xcc);
constexpr uint32_t kHighlight = rgb(0x00, 0x78, 0xd7);
constexpr int kCheckBoxSize = 13;
constexpr int kArrowWidth = 17;

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
      const int kr = colour & 0xFF, kg = (colour >> 8) & 0xFF, kb = (colour >> 16) & 0xFF;
      SDL_LockSurface(out);
      for (int y = 0; y < out->h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(out->pixels) + y * out->pitch);
        for (int x = 0; x < out->w; ++x) {
          const uint32_t p = row[x];
          const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
          if (std::abs(r - kr) <= kKeyTolerance && std::abs(g - kg) <= kKeyTolerance &&
              std::abs(b - kb) <= kKeyTolerance) {
            row[x] = p & 0x00FFFFFFu;
          }
        }
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

SDL_Surface* Painter::renderText(const Font& font, const std::string& text, uint32_t colour) {
  auto key = std::make_tuple(font.face, font.height, font.bold, font.underline, colour, text);
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
    out = TTF_RenderUTF8_Blended(f, text.c_str(), c);
  }
  texts_.emplace(key, out);
  return out;
}

int Painter::drawText(SDL_Surface* target, const Font& font, const std::string& text, uint32_t colour, Rect box,
                      Align align) {
  if (text.empty()) return 0;
  SDL_Surface* s = renderText(font, text, colour);
  if (!s) return 0;
  int x = box.x;
  if (align == Align::Centre) x = box.x + (box.w - s->w) / 2;
  if (align == Align::Right) x = box.x + box.w - s->w;
  const int y = box.y + (box.h - s->h) / 2;
  // Cut to the box as well as to whatever clip the caller set.
  SDL_Rect clip;
  SDL_GetClipRect(target, &clip);
  Rect inner = intersect({clip.x, clip.y, clip.w, clip.h}, box);
  if (empty(inner)) return s->w;
  SDL_Rect sdlInner = toSdl(inner);
  SDL_SetClipRect(target, &sdlInner);
  blit(s, target, x, y);
  SDL_SetClipRect(target, &clip);
  return s->w;
}

void Painter::paint(SDL_Surface* target, const Form& form, const Pointer* pointer, Rect area) {
  const WindowInfo& w = form.window();
  area = intersect(area, {0, 0, target->w, target->h});
  if (empty(area)) return;
  SDL_Rect clip = toSdl(area);
  SDL_SetClipRect(target, &clip);
  fill(target, area, w.background);
  for (int i = 0; i < form.size(); ++i) {
    if (form.at(i).kind == Kind::Timer || !form.shown(i)) continue;
    Rect cut = intersect(visibleRect(form, i), area);
    if (empty(cut)) continue;
    SDL_Rect c = toSdl(cut);
    SDL_SetClipRect(target, &c);
    drawControl(target, form, i, pointer);
  }
  SDL_SetClipRect(target, nullptr);
}

void Painter::drawControl(SDL_Surface* target, const Form& form, int index, const Pointer* pointer) {
  const Control& c = form.at(index);
  const Rect r = absoluteRect(form, index);
  switch (c.kind) {
    case Kind::PictureBox:
      if (SDL_Surface* p = pictures_.get(c.picture)) blit(p, target, r.x, r.y);
      break;

    case Kind::PictureButton: {
      const std::string& name = pointer ? pointer->pictureOf(index) : buttonPicture(form, index, false, false);
      SDL_Surface* p = c.transparentColour ? pictures_.keyed(name, *c.transparentColour) : pictures_.get(name);
      if (p) blit(p, target, r.x, r.y);
      break;
    }

    case Kind::Label:
      if (SDL_Surface* bg = pictures_.get(c.backgroundPicture); bg && bg->w > 0 && bg->h > 0) {
        for (int y = r.y; y < r.y + r.h; y += bg->h) {
          for (int x = r.x; x < r.x + r.w; x += bg->w) blit(bg, target, x, y);
        }
      } else if (c.backColour) {
        fill(target, r, *c.backColour);
      }
      drawText(target, c.font, c.caption, c.textColour, r, c.align);
      break;

    case Kind::TransparentLabel:
      drawText(target, c.font, c.caption, c.textColour, r, c.align);
      break;

    case Kind::GroupBox: {
      if (c.backColour) fill(target, r, *c.backColour);
      // The frame's top edge runs through the middle of the caption, as an etched line: shadow, then light.
      int captionHeight = c.font.height + 2;
      if (TTF_Font* f = fonts_.get(c.font)) captionHeight = TTF_FontHeight(f);
      const int top = r.y + captionHeight / 2;
      Rect box{r.x, top, r.w - 1, r.y + r.h - top - 1};
      frame(target, {box.x + 1, box.y + 1, box.w, box.h}, kWhite);
      frame(target, box, kShadow);
      if (!c.caption.empty()) {
        SDL_Surface* s = renderText(c.font, c.caption, c.textColour);
        const int width = s ? s->w : 0;
        Rect captionBox{r.x + 8, r.y, width + 4, captionHeight};
        fill(target, captionBox, c.backColour.value_or(form.window().background));
        drawText(target, c.font, c.caption, c.textColour, {captionBox.x + 2, r.y, width, captionHeight},
                 Align::Left);
      }
      break;
    }

    case Kind::CheckBox: {
      if (c.backColour) fill(target, r, *c.backColour);
      const Rect box{r.x, r.y + (r.h - kCheckBoxSize) / 2, kCheckBoxSize, kCheckBoxSize};
      const bool held = pointer && pointer->pressed() == index && pointer->hover() == index;
      fill(target, box, held ? kPressedFace : kWhite);
      frame(target, box, kBorder);
      if (c.checked) {
        // The classic seven-pixel tick, three pixels thick.
        static const int kTops[7] = {2, 3, 4, 3, 2, 1, 0};
        for (int i = 0; i < 7; ++i) fill(target, {box.x + 3 + i, box.y + 3 + kTops[i], 1, 3}, kBlack);
      }
      drawText(target, c.font, c.caption, c.textColour,
               {box.x + kCheckBoxSize + 4, r.y, r.w - kCheckBoxSize - 4, r.h}, Align::Left);
      break;
    }

    case Kind::DropDown: {
      fill(target, r, c.backColour.value_or(kWhite));
      frame(target, r, kBorder);
      const bool open = pointer && pointer->popup() && pointer->popup()->list == index;
      const Rect arrow{r.x + r.w - kArrowWidth, r.y + 1, kArrowWidth - 1, r.h - 2};
      fill(target, arrow, open ? kPressedFace : kButtonFace);
      const int ax = arrow.x + (arrow.w - 7) / 2, ay = arrow.y + (arrow.h - 4) / 2;
      for (int i = 0; i < 4; ++i) fill(target, {ax + i, ay + i, 7 - 2 * i, 1}, kBlack);
      if (c.selection >= 0 && c.selection < static_cast<int>(c.items.size())) {
        drawText(target, c.font, c.items[static_cast<size_t>(c.selection)].text, c.textColour,
                 {r.x + 3, r.y + 2, r.w - kArrowWidth - 5, r.h - 4}, Align::Left);
      }
      break;
    }

    case Kind::Timer:
      break;
  }
}

void Painter::paintPopup(SDL_Surface* target, const Form& form, const Popup& popup, Rect area) {
  Rect cut = intersect(intersect(area, popup.rect), {0, 0, target->w, target->h});
  if (empty(cut)) return;
  const Control& c = form.at(popup.list);
  SDL_Rect clip = toSdl(cut);
  SDL_SetClipRect(target, &clip);
  fill(target, popup.rect, kWhite);
  frame(target, popup.rect, kBlack);
  for (int item = popup.first; item < popup.first + popup.rows && item < static_cast<int>(c.items.size()); ++item) {
    Rect row = popup.rowRect(item);
    const bool lit = item == popup.highlighted;
    if (lit) fill(target, row, kHighlight);
    drawText(target, c.font, c.items[static_cast<size_t>(item)].text, lit ? kWhite : c.textColour,
             {row.x + 2, row.y, row.w - 4, row.h}, Align::Left);
  }
  SDL_SetClipRect(target, nullptr);
}

void Painter::paintLayer(SDL_Surface* target, const std::string& picture, int x, int y, Rect area) {
  SDL_Surface* p = pictures_.get(picture);
  if (!p) return;
  Rect cut = intersect(intersect(area, {x, y, p->w, p->h}), {0, 0, target->w, target->h});
  if (empty(cut)) return;
  SDL_Rect clip = toSdl(cut);
  SDL_SetClipRect(target, &clip);
  SDL_SetSurfaceBlendMode(p, SDL_BLENDMODE_BLEND);
  blit(p, target, x, y);
  SDL_SetClipRect(target, nullptr);
}

}  // namespace mox::sdl
