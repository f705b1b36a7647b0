#pragma once
// How a form looks, without a toolkit: a form (any window's) becomes a display list, a flat sequence of drawing
// commands in window client coordinates, back to front. A front end executes the list with its own picture
// decoding and text rendering and never decides how a control looks: every such decision (each control kind in
// each state, the open list of a drop-down, the banner's place over the main window) is made here, once, and
// tests read the list instead of pixels.
//
// Colours are the form's 0x00BBGGRR. Every command carries its clip: nothing of it may show outside that
// rectangle. Commands never reach outside the area a list was asked for.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/form.h"

namespace mox::paint {

// A solid, opaque rectangle (already inside its clip: no clip of its own).
struct Fill {
  Rect rect;
  uint32_t colour = 0;
};

// An embedded picture by asset name, at its own size with its top-left corner at (x, y), composed with its own
// per-pixel alpha (if it has one) times `alpha`. With `tile` it repeats right and down from (x, y) until the
// clip is covered. With `key`, pixels within kKeyTolerance of that colour on every channel are see-through.
struct Picture {
  std::string asset;
  int x = 0, y = 0;
  Rect clip;
  uint8_t alpha = 255;
  bool tile = false;
  std::optional<uint32_t> key;
  // The layout's pictures are JPEG, whose compression shifts a flat colour by a few steps.
  static constexpr int kKeyTolerance = 8;
};

// One line of UTF-8 text in `font` (the layout's face name, pixel height, bold, underline), placed inside `box`:
// vertically centred on the face's line height, horizontally as `align` says, and cut to `clip` (never larger
// than the box). An executor that cannot find the face picks an installed one that shows Chinese.
struct Text {
  std::string text;
  Font font;
  uint32_t colour = 0;
  Align align = Align::Left;
  Rect box;
  Rect clip;
};

// A straight line one pixel wide from (x0, y0) to (x1, y1), both ends included, cut to `clip`.
struct Line {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  uint32_t colour = 0;
  Rect clip;
};

using Command = std::variant<Fill, Picture, Text, Line>;
using DisplayList = std::vector<Command>;

// What the paint layer needs to know about text, answered by the front end's text renderer (tests answer with a
// fixed-width stand-in). Used where a look depends on the text's size, such as a frame's caption gap.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  // The face's line height in pixels (what a Text command is centred on).
  virtual int lineHeight(const Font& font) = 0;
  // The width in pixels the text takes in the face.
  virtual int width(const Font& font, std::string_view text) = 0;
};

// ---- geometry of a form ----
Rect intersect(const Rect& a, const Rect& b);
Rect unite(const Rect& a, const Rect& b);
inline bool empty(const Rect& r) { return r.w <= 0 || r.h <= 0; }
inline bool contains(const Rect& r, int x, int y) { return x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h; }
// The control's rectangle in window client coordinates.
Rect absoluteRect(const Form& form, int index);
// The part of the window where the control may draw: its rectangle cut by every parent's and by the client area.
Rect visibleRect(const Form& form, int index);
// Rectangles to redraw, cut to the client area, with those inside another dropped; many become their union
// (one big redraw is cheaper than dozens of small ones).
void mergeDamage(std::vector<Rect>& rects, const Rect& client);

// ---- turning a form into commands ----

// The pointer's effect on looks, as the input layer knows it (see input.h): which control is hovered and which
// is held down. The default is a form nobody points at.
struct PointerLook {
  int hover = -1;
  int pressed = -1;
  int openList = -1;  // the drop-down whose list is open, or -1
};

// The picture a picture button shows now ("" for none): disabled, pressed, hover or normal.
const std::string& buttonPicture(const Form& form, int index, bool hovered, bool pressed);

struct Popup;  // input.h

// Appends `area` of the form to `out`: the window's background, then every shown control reaching into the area,
// in creation order (the stacking order), each cut to its visible rectangle.
void paintForm(DisplayList& out, const Form& form, const PointerLook& pointer, Rect area, TextMetrics& metrics);
// The embedded pictures the whole form shows as it stands, each once, in drawing order: what a front end can start
// decoding before it can measure text (the list is built without metrics).
std::vector<std::string> picturesShown(const Form& form);

// Appends one control's look (no clip to the area; used by paintForm and for a control drawn alone).
void paintControl(DisplayList& out, const Form& form, int index, const PointerLook& pointer, Rect clip,
                  TextMetrics& metrics);
// Appends the open list of a drop-down inside `area`.
void paintPopup(DisplayList& out, const Form& form, const Popup& popup, Rect area);

// A picture with per-pixel alpha laid over a window (the banner over the main window), in that window's client
// coordinates.
struct Overlay {
  std::string picture;
  Rect rect;
  bool operator==(const Overlay&) const = default;
};
// Where a layered window's picture lies over another window (both forms' screen positions), or none when it is
// hidden or has no picture. A front end without real layered windows composes it over `under`.
std::optional<Overlay> overlayOf(const Form& layered, const Form& under);
void paintOverlay(DisplayList& out, const Overlay& overlay, Rect area);

}  // namespace mox::paint
