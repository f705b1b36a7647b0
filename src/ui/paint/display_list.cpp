#include "ui/paint/display_list.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "ui/paint/input.h"
#include "runtime/palette.h"

namespace mox::paint {

namespace {

using namespace palette;
constexpr int kCheckBoxSize = 13;
constexpr int kArrowWidth = 17;

// Appends the drawing primitives of one window area, each cut to the clip the list was started with.
class Pen {
 public:
  Pen(DisplayList& out, Rect clip) : out_(out), clip_(clip) {}

  void fill(Rect r, uint32_t colour) {
    r = intersect(r, clip_);
    if (!empty(r)) out_.push_back(Fill{r, colour});
  }
  // A one-pixel outline just inside `r`.
  void frame(Rect r, uint32_t colour) {
    fill({r.x, r.y, r.w, 1}, colour);
    fill({r.x, r.y + r.h - 1, r.w, 1}, colour);
    fill({r.x, r.y, 1, r.h}, colour);
    fill({r.x + r.w - 1, r.y, 1, r.h}, colour);
  }
  void picture(const std::string& asset, int x, int y, bool tile = false, std::optional<uint32_t> key = {}) {
    if (asset.empty()) return;
    out_.push_back(Picture{asset, x, y, clip_, 255, tile, key});
  }
  // One line of text inside `box`, cut to the box as well.
  void text(const std::string& s, const Font& font, uint32_t colour, Rect box, Align align) {
    if (s.empty()) return;
    const Rect inner = intersect(clip_, box);
    if (!empty(inner)) out_.push_back(Text{s, font, colour, align, box, inner});
  }
  void line(int x0, int y0, int x1, int y1, uint32_t colour) { out_.push_back(Line{x0, y0, x1, y1, colour, clip_}); }

 private:
  DisplayList& out_;
  Rect clip_;
};

constexpr int kScrollWidth = 10;

// A round step for about `parts` axis divisions of `span`: 1, 2, 2.5 or 5 times a power of ten.
double niceStep(double span, int parts) {
  const double raw = span / parts;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 2.5, 5.0}) {
    if (m * power >= raw) return m * power;
  }
  return 10 * power;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, v == std::floor(v) ? "%.0f" : "%.1f", v);
  return buf;
}

// A label's caption: one line, or where it is wider than the label and the label is tall enough for more, broken
// into lines that fit (after a space or a path separator near the end of a line, else between any two
// characters), centred together; what does not fit is cut at the label's edge as one line would be.
void labelText(Pen& pen, const Control& c, const Rect& r, TextMetrics& metrics) {
  const int lineHeight = std::max(1, metrics.lineHeight(c.font));
  const int rows = r.h / lineHeight;
  if (rows < 2 || c.caption.empty() || metrics.width(c.font, c.caption) <= r.w) {
    pen.text(c.caption, c.font, c.textColour, r, c.align);
    return;
  }
  std::vector<std::string> lines;
  std::string rest = c.caption;
  while (static_cast<int>(lines.size()) < rows - 1) {
    // The longest run of whole characters (UTF-8) that fits, at least one.
    size_t fit = 0;
    for (size_t end = 1; end <= rest.size(); ++end) {
      if (end < rest.size() && (static_cast<unsigned char>(rest[end]) & 0xC0) == 0x80) continue;
      if (fit > 0 && metrics.width(c.font, rest.substr(0, end)) > r.w) break;
      fit = end;
    }
    if (fit == rest.size()) break;  // the rest fits on this line
    // A nicer break in the last third of the line.
    const size_t soft = rest.find_last_of(" /\\", fit - 1);
    if (soft != std::string::npos && soft + 1 < fit && soft + 1 >= fit * 2 / 3) fit = soft + 1;
    lines.push_back(rest.substr(0, fit));
    rest.erase(0, fit);
  }
  if (!rest.empty()) lines.push_back(rest);
  const int top = r.y + (r.h - static_cast<int>(lines.size()) * lineHeight) / 2;
  for (size_t i = 0; i < lines.size(); ++i) {
    pen.text(lines[i], c.font, c.textColour, {r.x, top + static_cast<int>(i) * lineHeight, r.w, lineHeight}, c.align);
  }
}

// A group box: an etched frame whose top edge runs through the middle of the caption.
void paintGroupBox(Pen& pen, const Control& c, const Rect& r, uint32_t windowColour, TextMetrics& metrics) {
  if (c.backColour) pen.fill(r, *c.backColour);
  // The frame's top edge runs through the middle of the caption, as an etched line: shadow, then light.
  const int captionHeight = metrics.lineHeight(c.font);
  const int top = r.y + captionHeight / 2;
  const Rect box{r.x, top, r.w - 1, r.y + r.h - top - 1};
  pen.frame({box.x + 1, box.y + 1, box.w, box.h}, kWhite);
  pen.frame(box, kShadow);
  if (!c.caption.empty()) {
    const int width = metrics.width(c.font, c.caption);
    const Rect captionBox{r.x + 8, r.y, width + 4, captionHeight};
    pen.fill(captionBox, c.backColour.value_or(windowColour));
    pen.text(c.caption, c.font, c.textColour, {captionBox.x + 2, r.y, width, captionHeight}, Align::Left);
  }
}

// A check box, pressed in while `held`.
void paintCheckBox(Pen& pen, const Control& c, const Rect& r, bool held) {
  if (c.backColour) pen.fill(r, *c.backColour);
  const Rect box{r.x, r.y + (r.h - kCheckBoxSize) / 2, kCheckBoxSize, kCheckBoxSize};
  pen.fill(box, held ? kPressedFace : kWhite);
  pen.frame(box, kBorder);
  if (c.checked) {
    // The classic seven-pixel tick, three pixels thick.
    static const int kTops[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int i = 0; i < 7; ++i) pen.fill({box.x + 3 + i, box.y + 3 + kTops[i], 1, 3}, kBlack);
  }
  pen.text(c.caption, c.font, c.textColour, {box.x + kCheckBoxSize + 4, r.y, r.w - kCheckBoxSize - 4, r.h},
           Align::Left);
}

// A drop-down showing its chosen item, its arrow pressed in while its list is `open`.
void paintDropDown(Pen& pen, const Control& c, const Rect& r, bool open) {
  pen.fill(r, c.backColour.value_or(kWhite));
  pen.frame(r, kBorder);
  const Rect arrow{r.x + r.w - kArrowWidth, r.y + 1, kArrowWidth - 1, r.h - 2};
  pen.fill(arrow, open ? kPressedFace : kButtonFace);
  const int ax = arrow.x + (arrow.w - 7) / 2, ay = arrow.y + (arrow.h - 4) / 2;
  for (int i = 0; i < 4; ++i) pen.fill({ax + i, ay + i, 7 - 2 * i, 1}, kBlack);
  pen.text(c.selectedText(), c.font, c.textColour, {r.x + 3, r.y + 2, r.w - kArrowWidth - 5, r.h - 4}, Align::Left);
}

// A list of `rows` rows from its top row, with a scroll bar when it holds more.
void paintList(Pen& pen, const Control& c, const Rect& r, int rows) {
  if (c.backColour) pen.fill(r, *c.backColour);
  pen.frame(r, kBorder);
  const int rowHeight = listRowHeight(c.font);
  const int total = static_cast<int>(c.items.size());
  const bool scrolls = total > rows;
  const int textWidth = r.w - 8 - (scrolls ? kScrollWidth : 0);
  for (int k = 0; k < rows && c.topRow + k < total; ++k) {
    const ListItem& item = c.items[static_cast<size_t>(c.topRow + k)];
    const Rect row{r.x + 4, r.y + 2 + k * rowHeight, textWidth, rowHeight};
    // Odd rows a shade lighter, so a long record reads line by line.
    if ((c.topRow + k) % 2) pen.fill({r.x + 1, row.y, r.w - 2 - (scrolls ? kScrollWidth : 0), rowHeight}, kListStripe);
    pen.text(item.text, c.font, item.value ? kGreen : c.textColour, row, Align::Left);
  }
  if (scrolls) {
    // The scroll bar: where the rows shown lie among all of them (the wheel scrolls).
    const Rect track{r.x + r.w - kScrollWidth - 1, r.y + 1, kScrollWidth, r.h - 2};
    pen.fill(track, kScrollTrack);
    const int thumbHeight = std::max(12, track.h * rows / total);
    const int thumbTop = track.y + (track.h - thumbHeight) * c.topRow / std::max(1, total - rows);
    pen.fill({track.x + 1, thumbTop, track.w - 2, thumbHeight}, kScrollThumb);
  }
}

// Where a chart's plot lies and how its values map onto it: x from 0 to xMax (a round number, in steps of `step`),
// y from 0 to 1.
struct Plot {
  int left, top, right, bottom;
  double xMax, step;
  int px(double x) const { return left + static_cast<int>(std::lround((right - left) * x / xMax)); }
  int py(double y) const { return bottom - static_cast<int>(std::lround((bottom - top) * y)); }
};

// The grid and the y axis in quarters; the x axis in round steps, the unit after the last figure.
void paintAxes(Pen& pen, const Control& c, const Rect& r, const Plot& p, TextMetrics& metrics) {
  const ChartData& d = *c.chart;
  const int lineHeight = metrics.lineHeight(c.font);
  for (int q = 0; q <= 4; ++q) {
    const int y = p.py(q / 4.0);
    pen.line(p.left, y, p.right, y, q == 0 ? c.textColour : kGrid);
    pen.text(std::to_string(q * 25) + d.yUnit, c.font, c.textColour,
             {r.x + 2, y - lineHeight / 2, p.left - r.x - 6, lineHeight}, Align::Right);
  }
  pen.line(p.left, p.top, p.left, p.bottom, c.textColour);
  for (double x = 0; x <= p.xMax + p.step / 2; x += p.step) {
    const int xx = p.px(x);
    pen.line(xx, p.bottom, xx, p.bottom + 3, c.textColour);
    if (x > 0) pen.line(xx, p.top, xx, p.bottom - 1, kGrid);
    const std::string label = x + p.step / 2 > p.xMax ? number(x) + " " + d.xUnit : number(x);
    const int w = metrics.width(c.font, label);
    const int lx = std::min(xx - w / 2, r.x + r.w - 2 - w);
    pen.text(label, c.font, c.textColour, {lx, p.bottom + 5, w + 2, lineHeight}, Align::Left);
  }
}

// A curve, two pixels thick (one for a curve compared with): the money steps, flat until the next amount.
void paintCurve(Pen& pen, const std::vector<std::pair<double, double>>& points, const Plot& p, uint32_t colour,
                bool thick = true) {
  int lastX = p.px(0), lastY = p.py(0);
  for (const auto& [x, y] : points) {
    const int xx = p.px(x), yy = p.py(y);
    pen.line(lastX, lastY, xx, lastY, colour);
    pen.line(xx, lastY, xx, yy, colour);
    if (thick) pen.line(lastX, lastY - 1, xx, lastY - 1, colour);
    lastX = xx;
    lastY = yy;
  }
  pen.line(lastX, lastY, p.right, lastY, colour);
  if (thick) pen.line(lastX, lastY - 1, p.right, lastY - 1, colour);
}

// The legend of a chart with curves to compare: a short line of each curve's colour and its words, one row each,
// in the bottom right corner of the plot (below a rising curve's right end), the chart's own curve last.
void paintLegend(Pen& pen, const Control& c, const Plot& p, TextMetrics& metrics) {
  const ChartData& d = *c.chart;
  const int lineHeight = metrics.lineHeight(c.font);
  int widest = metrics.width(c.font, d.label);
  for (const ChartCurve& k : d.curves) widest = std::max(widest, metrics.width(c.font, k.label));
  const int rows = static_cast<int>(d.curves.size()) + 1;
  const int left = p.right - widest - 24, top = p.bottom - rows * lineHeight - 4;
  pen.fill({left - 4, top - 2, widest + 26, rows * lineHeight + 4}, *c.backColour);
  for (int k = 0; k < rows; ++k) {
    const bool own = k == rows - 1;
    const uint32_t colour = own ? kCurve : d.curves[static_cast<size_t>(k)].colour;
    const int y = top + k * lineHeight;
    pen.line(left, y + lineHeight / 2, left + 14, y + lineHeight / 2, colour);
    pen.text(own ? d.label : d.curves[static_cast<size_t>(k)].label, c.font, colour,
             {left + 18, y, widest + 2, lineHeight}, Align::Left);
  }
}

// Marks: a vertical line each, and a label above the plot. From left to right, each label goes into whichever of
// the two rows lets it stay nearest its line without touching the labels already there; only when neither row has
// room left before the chart's edge may two labels meet.
void paintMarks(Pen& pen, const Control& c, const Rect& r, const Plot& p, TextMetrics& metrics) {
  const ChartData& d = *c.chart;
  const int lineHeight = metrics.lineHeight(c.font);
  std::vector<size_t> order(d.marks.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return d.marks[a].x < d.marks[b].x; });
  constexpr int kGap = 6;
  int rowEnd[2] = {r.x - kGap, r.x - kGap};
  for (size_t i : order) {
    const ChartMark& m = d.marks[i];
    const int xx = p.px(m.x);
    if (m.dashed) {
      for (int y = p.top; y < p.bottom; y += 7) pen.line(xx, y, xx, std::min(y + 3, p.bottom - 1), m.colour);
    } else {
      pen.line(xx, p.top, xx, p.bottom - 1, m.colour);
    }
    const std::string label = m.label + " " + number(std::round(m.x));
    const int w = metrics.width(c.font, label);
    const int lowest = r.x + 2, highest = r.x + r.w - 2 - w;
    const int wanted = std::clamp(xx - w / 2, lowest, highest);
    int row = -1, lx = wanted;
    for (int k = 0; k < 2; ++k) {
      const int at = std::max(wanted, rowEnd[k] + kGap);
      if (at <= highest && (row < 0 || at < lx)) {
        row = k;
        lx = at;
      }
    }
    if (row < 0) {
      // Both rows are full to the edge: the row that ends first, at the edge.
      row = rowEnd[0] <= rowEnd[1] ? 0 : 1;
      lx = highest;
    }
    rowEnd[row] = lx + w;
    pen.text(label, c.font, m.colour, {lx, r.y + 3 + row * lineHeight, w + 2, lineHeight}, Align::Left);
  }
}

// A rising curve of y over x with its axes, grid and marks. The x axis runs from 0 to a round number at or past
// the last point; the y axis from 0 to 100 %.
void paintChart(Pen& pen, const Control& c, const Rect& r, TextMetrics& metrics) {
  if (c.backColour) pen.fill(r, *c.backColour);
  pen.frame(r, kBorder);
  const ChartData* d = c.chart.get();
  if (!d || d->points.empty()) {
    pen.text(d ? d->empty : std::string(), c.font, c.textColour, r, Align::Centre);
    return;
  }
  const int lineHeight = metrics.lineHeight(c.font);
  Plot p{.left = r.x + metrics.width(c.font, "100" + d->yUnit) + 8,
         .top = r.y + 2 * lineHeight + 6,  // two rows of mark labels above the plot
         .right = r.x + r.w - 14,
         .bottom = r.y + r.h - lineHeight - 8,
         .xMax = d->points.back().first,
         .step = 0};
  if (p.right - p.left < 20 || p.bottom - p.top < 20) return;
  for (const ChartMark& m : d->marks) p.xMax = std::max(p.xMax, m.x);
  for (const ChartCurve& k : d->curves) p.xMax = std::max(p.xMax, k.points.empty() ? 0.0 : k.points.back().first);
  p.step = niceStep(std::max(p.xMax, 1.0), 5);
  p.xMax = std::ceil(std::max(p.xMax, 1.0) / p.step) * p.step;
  paintAxes(pen, c, r, p, metrics);
  for (const ChartCurve& k : d->curves) paintCurve(pen, k.points, p, k.colour, false);
  paintCurve(pen, d->points, p, kCurve);
  paintMarks(pen, c, r, p, metrics);
  if (!d->curves.empty() && c.backColour) paintLegend(pen, c, p, metrics);
}

}  // namespace

Rect intersect(const Rect& a, const Rect& b) {
  int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  int x1 = std::min(a.x + a.w, b.x + b.w), y1 = std::min(a.y + a.h, b.y + b.h);
  if (x1 <= x0 || y1 <= y0) return {};
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect unite(const Rect& a, const Rect& b) {
  if (empty(a)) return b;
  if (empty(b)) return a;
  int x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  int x1 = std::max(a.x + a.w, b.x + b.w), y1 = std::max(a.y + a.h, b.y + b.h);
  return {x0, y0, x1 - x0, y1 - y0};
}

Rect absoluteRect(const Form& form, int index) {
  Rect r = form.at(index).rect;
  for (int p = form.at(index).parent; p >= 0; p = form.at(p).parent) {
    r.x += form.at(p).rect.x;
    r.y += form.at(p).rect.y;
  }
  return r;
}

Rect visibleRect(const Form& form, int index) {
  const WindowInfo& w = form.window();
  Rect r = intersect(absoluteRect(form, index), {0, 0, w.clientWidth, w.clientHeight});
  for (int p = form.at(index).parent; p >= 0 && !empty(r); p = form.at(p).parent) {
    r = intersect(r, absoluteRect(form, p));
  }
  return r;
}

void mergeDamage(std::vector<Rect>& rects, const Rect& client) {
  for (Rect& r : rects) r = intersect(r, client);
  std::erase_if(rects, [](const Rect& r) { return empty(r); });
  if (rects.size() > 8) {
    Rect all;
    for (const Rect& r : rects) all = unite(all, r);
    rects.assign(1, all);
    return;
  }
  std::vector<Rect> kept;
  for (size_t i = 0; i < rects.size(); ++i) {
    bool covered = false;
    for (size_t j = 0; j < rects.size() && !covered; ++j) {
      if (i == j) continue;
      // Drop a rectangle lying inside another (of two equal ones, keep the first).
      covered = intersect(rects[i], rects[j]) == rects[i] && (!(rects[i] == rects[j]) || j < i);
    }
    if (!covered) kept.push_back(rects[i]);
  }
  rects.swap(kept);
}

const std::string& buttonPicture(const Form& form, int index, bool hovered, bool pressed) {
  const Control& c = form.at(index);
  if (!form.reachable(index)) return c.disabledPicture.empty() ? c.picture : c.disabledPicture;
  if (hovered && pressed && !c.pressedPicture.empty()) return c.pressedPicture;
  if (hovered && !c.hoverPicture.empty()) return c.hoverPicture;
  return c.picture;
}

void paintForm(DisplayList& out, const Form& form, const PointerLook& pointer, Rect area, TextMetrics& metrics) {
  const WindowInfo& w = form.window();
  area = intersect(area, {0, 0, w.clientWidth, w.clientHeight});
  if (empty(area)) return;
  out.push_back(Fill{area, w.background});
  for (int i = 0; i < form.size(); ++i) {
    if (form.at(i).kind == Kind::Timer || !form.shown(i)) continue;
    const Rect cut = intersect(visibleRect(form, i), area);
    if (!empty(cut)) paintControl(out, form, i, pointer, cut, metrics);
  }
}

// A label with a click handler on a fill of its own is a flat button: lighter under the pointer, darker held down.
static uint32_t textButtonColour(const Control& c, bool hovered, bool pressed) {
  if (!c.onClick || !hovered) return *c.backColour;
  return pressed ? kTextButtonPressed : kTextButtonHover;
}

void paintControl(DisplayList& out, const Form& form, int index, const PointerLook& pointer, Rect clip,
                  TextMetrics& metrics) {
  const Control& c = form.at(index);
  const Rect r = absoluteRect(form, index);
  Pen pen(out, clip);
  switch (c.kind) {
    case Kind::PictureBox: pen.picture(c.picture, r.x, r.y); break;

    case Kind::PictureButton:
      pen.picture(buttonPicture(form, index, pointer.hover == index, pointer.pressed == index), r.x, r.y, false,
                  c.transparentColour);
      break;

    case Kind::Label:
      if (!c.backgroundPicture.empty())
        pen.picture(c.backgroundPicture, r.x, r.y, true);
      else if (c.backColour)
        pen.fill(r, textButtonColour(c, pointer.hover == index, pointer.pressed == index));
      labelText(pen, c, r, metrics);
      break;

    case Kind::TransparentLabel: labelText(pen, c, r, metrics); break;

    case Kind::GroupBox: paintGroupBox(pen, c, r, form.window().background, metrics); break;

    case Kind::CheckBox: paintCheckBox(pen, c, r, pointer.pressed == index && pointer.hover == index); break;

    case Kind::DropDown: paintDropDown(pen, c, r, pointer.openList == index); break;

    case Kind::Chart: paintChart(pen, c, r, metrics); break;

    case Kind::List: paintList(pen, c, r, form.visibleRows(index)); break;

    case Kind::Timer: break;
  }
}

void paintPopup(DisplayList& out, const Form& form, const Popup& popup, Rect area) {
  const Rect cut = intersect(area, popup.rect);
  if (empty(cut)) return;
  const Control& c = form.at(popup.list);
  Pen pen(out, cut);
  pen.fill(popup.rect, kWhite);
  pen.frame(popup.rect, kBlack);
  for (int item = popup.first; item < popup.first + popup.rows && item < static_cast<int>(c.items.size()); ++item) {
    const Rect row = popup.rowRect(item);
    const bool lit = item == popup.highlighted;
    if (lit) pen.fill(row, kHighlight);
    pen.text(c.items[static_cast<size_t>(item)].text, c.font, lit ? kWhite : c.textColour,
             {row.x + 2, row.y, row.w - 4, row.h}, Align::Left);
  }
}

std::optional<Overlay> overlayOf(const Form& layered, const Form& under) {
  const WindowInfo& b = layered.window();
  const WindowInfo& m = under.window();
  if (!b.visible || b.layerPicture.empty()) return std::nullopt;
  return Overlay{b.layerPicture, {b.left - m.left, b.top - m.top, b.width, b.height}};
}

void paintOverlay(DisplayList& out, const Overlay& overlay, Rect area) {
  const Rect cut = intersect(area, overlay.rect);
  if (!empty(cut)) Pen(out, cut).picture(overlay.picture, overlay.rect.x, overlay.rect.y);
}

std::vector<std::string> picturesShown(const Form& form) {
  struct NoMetrics : TextMetrics {
    int lineHeight(const Font& font) override { return font.height; }
    int width(const Font&, std::string_view) override { return 0; }
  } none;
  DisplayList list;
  paintForm(list, form, PointerLook{}, {0, 0, form.window().clientWidth, form.window().clientHeight}, none);
  std::vector<std::string> out;
  for (const Command& c : list) {
    if (const auto* p = std::get_if<Picture>(&c); p && std::find(out.begin(), out.end(), p->asset) == out.end()) {
      out.push_back(p->asset);
    }
  }
  return out;
}

}  // namespace mox::paint
