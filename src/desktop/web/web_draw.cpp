#include "desktop/web/web_draw.h"

#include <emscripten.h>

#include <string>
#include <tuple>
#include <variant>
#include <vector>

namespace mox::web {

namespace {

// Every place and clip below is in the canvas's own pixels.
// clang-format off
EM_JS(void, moxFill, (int s, int x, int y, int w, int h, int colour, int cx, int cy, int cw, int ch), {
  Module.moxRuntime.fill(s, x, y, w, h, colour, cx, cy, cw, ch);
});
EM_JS(int, moxPictureWidth, (const char* name), { return Module.moxRuntime.pictureWidth(UTF8ToString(name)); });
EM_JS(int, moxPictureHeight, (const char* name), { return Module.moxRuntime.pictureHeight(UTF8ToString(name)); });
EM_JS(void, moxPicture, (int s, const char* name, int key, int alpha, int x, int y, int w, int h, int cx, int cy,
                         int cw, int ch), {
  Module.moxRuntime.picture(s, UTF8ToString(name), key, alpha, x, y, w, h, cx, cy, cw, ch);
});
EM_JS(void, moxText, (int s, const char* text, int face, int underline, int colour, int align, int bx, int by, int bw,
                      int bh, int cx, int cy, int cw, int ch), {
  Module.moxRuntime.text(s, UTF8ToString(text), face, underline, colour, align, bx, by, bw, bh, cx, cy, cw, ch);
});
// 1 when the picture is ready to draw at that size, 0 when the page is making it so.
EM_JS(int, moxWant, (const char* name, int key, int w, int h), {
  return Module.moxRuntime.want(UTF8ToString(name), key, w, h);
});
EM_JS(void, moxFlush, (int window), { Module.moxRuntime.flush(window); });
EM_JS(void, moxTarget, (int window, int x, int y, int w, int h), {
  Module.moxRuntime.target(window, x, y, w, h);
});
EM_JS(int, moxLineHeight, (int face), { return Module.moxRuntime.lineHeight(face); });
EM_JS(int, moxTextWidth, (const char* text, int face), {
  return Module.moxRuntime.textWidth(UTF8ToString(text), face);
});
// clang-format on

// A face as one number for the page: pixel height, bold and serif. The layout's 宋体 is a serif face (the
// desktop's font matching finds Noto Serif CJK for it), every other face the sans-serif one.
int faceCode(const Font& font, int height) { return height * 4 + (font.bold ? 1 : 0) + (font.face == "宋体" ? 2 : 0); }

}  // namespace

void Painter::execute(int window, const paint::DisplayList& list) {
  for (const paint::Command& command : list) {
    std::visit([&](const auto& c) { draw(window, c); }, command);
  }
}

void Painter::draw(int window, const paint::Fill& f) {
  const Rect r = scale(window).rect(f.rect);
  moxFill(window, r.x, r.y, r.w, r.h, static_cast<int>(f.colour), 0, 0, -1, -1);
}

template <typename Each>
void Painter::places(int window, const paint::Picture& p, Each each) {
  const paint::Scale& sc = scale(window);
  const Rect clip = sc.rect(p.clip);
  if (paint::empty(clip)) return;
  // The picture's size in layout pixels: its drawing's, divided by the drawing's density. A picture the browser
  // is still decoding has none yet; the page draws everything again when it arrives.
  const paint::PictureSource source = paint::pictureSource(p.asset, sc);
  const int drawnW = moxPictureWidth(source.asset.c_str()), drawnH = moxPictureHeight(source.asset.c_str());
  if (drawnW < source.density || drawnH < source.density) return;
  const int w = drawnW / source.density, h = drawnH / source.density;
  const std::vector<Rect> at =
      p.tile ? paint::tileRects(p.x, p.y, w, h, p.clip, sc) : std::vector<Rect>{sc.rect({p.x, p.y, w, h})};
  const int key = p.key ? static_cast<int>(*p.key) : -1;
  for (const Rect& r : at) each(source.asset, key, r, clip);
}

void Painter::draw(int window, const paint::Picture& p) {
  places(window, p, [&](const std::string& asset, int key, const Rect& at, const Rect& clip) {
    moxPicture(window, asset.c_str(), key, p.alpha, at.x, at.y, at.w, at.h, clip.x, clip.y, clip.w, clip.h);
  });
}

bool Painter::prepare(int window, const paint::DisplayList& list) {
  bool ready = true;
  for (const paint::Command& command : list) {
    if (const auto* p = std::get_if<paint::Picture>(&command)) {
      places(window, *p, [&](const std::string& asset, int key, const Rect& at, const Rect&) {
        ready = moxWant(asset.c_str(), key, at.w, at.h) != 0 && ready;
      });
    }
  }
  return ready;
}

void Painter::draw(int window, const paint::Text& t) {
  const paint::Scale& sc = scale(window);
  const Rect clip = sc.rect(t.clip);
  if (t.text.empty() || paint::empty(clip)) return;
  const Rect box = sc.rect(t.box);
  moxText(window, t.text.c_str(), faceCode(t.font, sc.fontHeight(t.font.height)), t.font.underline ? sc.lineWidth() : 0,
          static_cast<int>(t.colour), static_cast<int>(t.align), box.x, box.y, box.w, box.h, clip.x, clip.y, clip.w,
          clip.h);
}

void Painter::draw(int window, const paint::Line& l) {
  const paint::Scale& sc = scale(window);
  const Rect clip = sc.rect(l.clip);
  if (paint::empty(clip)) return;
  // Each piece of the line cut to the clip, and none outside it: a chart's line in a band of the window is
  // mostly outside, and each piece the page draws with a clip of its own costs it a clip.
  for (const Rect& r : paint::lineRects(l.x0, l.y0, l.x1, l.y1, sc)) {
    const Rect cut = paint::intersect(r, clip);
    if (!paint::empty(cut)) moxFill(window, cut.x, cut.y, cut.w, cut.h, static_cast<int>(l.colour), 0, 0, -1, -1);
  }
}

void Painter::flush(int window) { moxFlush(window); }

void Painter::target(int window, const Rect& area) {
  const Rect r = scale(window).rect(area);
  moxTarget(window, r.x, r.y, r.w, r.h);
}

int Painter::lineHeight(const Font& font) {
  const int key = faceCode(font, font.height);
  auto it = lineHeights_.find(key);
  if (it != lineHeights_.end()) return it->second;
  const int h = moxLineHeight(key);
  lineHeights_.emplace(key, h);
  return h;
}

int Painter::width(const Font& font, std::string_view text) {
  if (text.empty()) return 0;
  auto key = std::make_pair(faceCode(font, font.height), std::string(text));
  auto it = widths_.find(key);
  if (it != widths_.end()) return it->second;
  if (widths_.size() >= kWidthCacheLimit) widths_.clear();
  const int w = moxTextWidth(key.second.c_str(), key.first);
  widths_.emplace(std::move(key), w);
  return w;
}

}  // namespace mox::web
