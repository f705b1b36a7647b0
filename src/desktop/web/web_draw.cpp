#include "desktop/web/web_draw.h"

#include <emscripten.h>

#include <tuple>
#include <variant>

namespace mox::web {

namespace {

// clang-format off
EM_JS(void, moxFill, (int s, int x, int y, int w, int h, int colour), {
  Module.moxRuntime.fill(s, x, y, w, h, colour);
});
EM_JS(void, moxPicture, (int s, const char* name, int x, int y, int cx, int cy, int cw, int ch, int alpha, int tile,
                         int key), {
  Module.moxRuntime.picture(s, UTF8ToString(name), x, y, cx, cy, cw, ch, alpha, tile, key);
});
EM_JS(void, moxText, (int s, const char* text, int face, int underline, int colour, int align, int bx, int by, int bw,
                      int bh, int cx, int cy, int cw, int ch), {
  Module.moxRuntime.text(s, UTF8ToString(text), face, underline, colour, align, bx, by, bw, bh, cx, cy, cw, ch);
});
EM_JS(void, moxLine, (int s, int x0, int y0, int x1, int y1, int colour, int cx, int cy, int cw, int ch), {
  Module.moxRuntime.line(s, x0, y0, x1, y1, colour, cx, cy, cw, ch);
});
EM_JS(void, moxPresent, (int window, int x, int y, int w, int h), {
  Module.moxRuntime.present(window, x, y, w, h);
});
EM_JS(int, moxLineHeight, (int face), { return Module.moxRuntime.lineHeight(face); });
EM_JS(int, moxTextWidth, (const char* text, int face), {
  return Module.moxRuntime.textWidth(UTF8ToString(text), face);
});
// clang-format on

// A face as one number for the page: pixel height, bold and serif. The layout's 宋体 is a serif face (the
// desktop's font matching finds Noto Serif CJK for it), every other face the sans-serif one.
int faceCode(const Font& font) { return font.height * 4 + (font.bold ? 1 : 0) + (font.face == "宋体" ? 2 : 0); }

}  // namespace

void Painter::execute(Surface target, const paint::DisplayList& list) {
  const int s = target.id();
  for (const paint::Command& command : list) {
    if (const auto* f = std::get_if<paint::Fill>(&command)) {
      moxFill(s, f->rect.x, f->rect.y, f->rect.w, f->rect.h, static_cast<int>(f->colour));
    } else if (const auto* p = std::get_if<paint::Picture>(&command)) {
      moxPicture(s, p->asset.c_str(), p->x, p->y, p->clip.x, p->clip.y, p->clip.w, p->clip.h, p->alpha, p->tile,
                 p->key ? static_cast<int>(*p->key) : -1);
    } else if (const auto* t = std::get_if<paint::Text>(&command)) {
      moxText(s, t->text.c_str(), faceCode(t->font), t->font.underline, static_cast<int>(t->colour),
              static_cast<int>(t->align), t->box.x, t->box.y, t->box.w, t->box.h, t->clip.x, t->clip.y, t->clip.w,
              t->clip.h);
    } else if (const auto* l = std::get_if<paint::Line>(&command)) {
      moxLine(s, l->x0, l->y0, l->x1, l->y1, static_cast<int>(l->colour), l->clip.x, l->clip.y, l->clip.w,
              l->clip.h);
    }
  }
}

void Painter::present(int window, const Rect& area) { moxPresent(window, area.x, area.y, area.w, area.h); }

int Painter::lineHeight(const Font& font) {
  const int key = faceCode(font);
  auto it = lineHeights_.find(key);
  if (it != lineHeights_.end()) return it->second;
  const int h = moxLineHeight(key);
  lineHeights_.emplace(key, h);
  return h;
}

int Painter::width(const Font& font, std::string_view text) {
  if (text.empty()) return 0;
  auto key = std::make_pair(faceCode(font), std::string(text));
  auto it = widths_.find(key);
  if (it != widths_.end()) return it->second;
  if (widths_.size() >= kWidthCacheLimit) widths_.clear();
  const int w = moxTextWidth(key.second.c_str(), key.first);
  widths_.emplace(std::move(key), w);
  return w;
}

}  // namespace mox::web
