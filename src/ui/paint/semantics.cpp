#include "ui/paint/semantics.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <map>
#include <tuple>
#include <utility>

#include "ui/paint/display_list.h"
#include "ui/paint/input.h"

namespace mox::paint {

namespace {

// What the layout's pictures say, by name without the look ("_normal", "_hover", ...). Items read as the bag and
// the benches show them; the banners as their message.
constexpr std::pair<std::string_view, std::string_view> kPictureTexts[] = {
    {"btn_enhance", "强化"},
    {"btn_synth", "合成"},
    {"link_enhance_help", "强化说明"},
    {"link_synth_help", "合成说明"},
    {"small_save", "保存"},
    {"small_enhance", "强化"},
    {"small_synth", "合成"},
    {"small_topup", "充值"},
    {"small_buy", "购买"},
    {"small_plan", "规划"},
    {"wide_autorun", "自动强化"},
    {"wide_stop", "停止"},
    {"wide_export", "导出记录"},
    {"cell_empty", "空"},
    {"balance_label", "余额："},
    {"small_crystal", "小晶体"},
    {"big_crystal", "大晶体"},
    {"magic_crystal", "魔晶体"},
    {"catalyst", "催化剂"},
    {"protectant", "防护剂"},
    {"chip0", "+0 芯片"},
    {"chip1", "+1 芯片"},
    {"chip2", "+2 芯片"},
    {"chip3", "+3 芯片"},
    {"chip4", "+4 芯片"},
    {"chip5", "+5 芯片"},
    {"chip6", "+6 芯片"},
    {"chip7", "+7 芯片"},
    {"chip8", "+8 芯片"},
    {"chip9", "+9 芯片"},
    {"banner_enhance_success", "芯片升级成功！"},
    {"banner_enhance_fail_down", "芯片升级失败：糟糕啊，芯片降级了"},
    {"banner_enhance_fail_same", "芯片升级失败：运气不好，芯片等级没变"},
    {"banner_max_level", "芯片已达到最高强化等级！"},
    {"banner_need_chip", "请选择待升级的芯片！"},
    {"banner_need_crystal", "你需要放入至少一个晶体才能进行强化哦！"},
    {"banner_low_balance", "余额不足，请充值！"},
    {"banner_need_two", "必须选择两枚芯片进行合成！"},
    {"banner_synth_success", "芯片合成成功！"},
    {"banner_synth_fail", "芯片合成失败！"},
    {"banner_saved", "数据保存成功！"},
};

std::string trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool digits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

Rect centreOf(const Rect& r) { return {r.x + r.w / 2, r.y + r.h / 2, 1, 1}; }

bool descends(const Form& form, int child, int ancestor) {
  for (int i = child; i >= 0; i = form.at(i).parent) {
    if (i == ancestor) return true;
  }
  return false;
}

bool alike(const Control& a, const Control& b) {
  return a.parent == b.parent && a.kind == Kind::PictureButton && b.kind == Kind::PictureButton &&
         a.rect.w == b.rect.w && a.rect.h == b.rect.h;
}

// The cells of grids: at least six picture buttons of one size on one parent (the bag's).
std::vector<char> gridCells(const Form& form) {
  std::map<std::tuple<int, int, int>, int> alikes;
  const auto key = [](const Control& c) { return std::tuple{c.parent, c.rect.w, c.rect.h}; };
  for (const Control& c : form.controls()) {
    if (c.kind == Kind::PictureButton && c.parent >= 0) ++alikes[key(c)];
  }
  std::vector<char> out(static_cast<size_t>(form.size()), 0);
  for (int i = 0; i < form.size(); ++i) {
    const Control& c = form.at(i);
    out[static_cast<size_t>(i)] = c.kind == Kind::PictureButton && c.parent >= 0 && alikes[key(c)] >= 6;
  }
  return out;
}

// Where a control on a table panel lies in it. A row starts at each control on the panel's left edge (the leftmost
// place); the controls from its top down to the next row's start are its cells in reading order (top to bottom,
// left to right), so that a row may take more than one line.
void placeInTable(const Form& form, int i, Node& n) {
  const Control& c = form.at(i);
  int edge = c.rect.x;
  for (const Control& o : form.controls()) {
    if (o.parent == c.parent) edge = std::min(edge, o.rect.x);
  }
  std::vector<int> starts;
  for (const Control& o : form.controls()) {
    if (o.parent == c.parent && o.rect.x == edge) starts.push_back(o.rect.y);
  }
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  const auto next = std::upper_bound(starts.begin(), starts.end(), c.rect.y);
  const int top = next == starts.begin() ? c.rect.y : *std::prev(next);
  const int bottom = next == starts.end() ? c.rect.y + 1 : *next;
  n.grid = c.parent;
  n.row = std::max(0, static_cast<int>(next - starts.begin()) - 1);
  n.column = 0;
  for (const Control& o : form.controls()) {
    if (o.parent != c.parent || o.rect.y < top || o.rect.y >= bottom) continue;
    n.column += o.rect.y < c.rect.y || (o.rect.y == c.rect.y && o.rect.x < c.rect.x);
  }
}

bool inTable(const Form& form, const Control& c) { return c.parent >= 0 && form.at(c.parent).table; }

// The name of a control with something to do on a click.
std::string controlName(const Form& form, int index) {
  const Control& c = form.at(index);
  std::string name = trimmed(c.caption);
  if (name.empty()) name = c.spoken;
  if (name.empty()) name = std::string(pictureText(buttonPicture(form, index, false, false)));
  return name;
}

// Where each shown control lies, and what the pointer finds on top at a point (hitTest, from these).
class Layers {
 public:
  explicit Layers(const Form& form)
      : shown_(static_cast<size_t>(form.size()), 0), visible_(static_cast<size_t>(form.size())) {
    for (int i = 0; i < form.size(); ++i) {
      if (!form.shown(i)) continue;
      shown_[static_cast<size_t>(i)] = 1;
      visible_[static_cast<size_t>(i)] = visibleRect(form, i);
      if (catchesPointer(form.at(i))) catchers_.push_back(i);
    }
  }
  bool shown(int i) const { return shown_[static_cast<size_t>(i)] != 0; }
  const Rect& visible(int i) const { return visible_[static_cast<size_t>(i)]; }
  // The control on top at the middle of `r`, or -1.
  int topAt(const Rect& r) const {
    const Rect mid = centreOf(r);
    for (auto it = catchers_.rbegin(); it != catchers_.rend(); ++it) {
      if (contains(visible(*it), mid.x, mid.y)) return *it;
    }
    return -1;
  }

 private:
  std::vector<char> shown_;
  std::vector<Rect> visible_;
  std::vector<int> catchers_;
};

// Labels drawn over a control a click reaches belong to its name: what each control gains from the labels over
// it, and which labels are so folded into another's name.
struct LabelsOver {
  LabelsOver(const Form& form, const Layers& layers, const std::vector<char>& cells)
      : words(static_cast<size_t>(form.size())), folded(static_cast<size_t>(form.size()), 0) {
    for (int i = 0; i < form.size(); ++i) {
      const Control& c = form.at(i);
      if (c.kind != Kind::TransparentLabel || catchesPointer(c) || !layers.shown(i)) continue;
      const int under = layers.topAt(absoluteRect(form, i));
      if (under < 0 || under > i || form.at(under).kind != Kind::PictureButton) continue;
      if (!actsOnClick(form.at(under)) && !cells[static_cast<size_t>(under)]) continue;
      folded[static_cast<size_t>(i)] = 1;
      const std::string text = trimmed(c.caption);
      if (!text.empty()) words[static_cast<size_t>(under)] += "，" + text + (digits(text) ? " 个" : "");
    }
  }
  std::vector<std::string> words;
  std::vector<char> folded;
};

// Whether the control before a drop-down is a label on its line, to its left: what the drop-down is called.
const Control* labelBefore(const Form& form, int i) {
  const Control& c = form.at(i);
  const Control* before = i > 0 ? &form.at(i - 1) : nullptr;
  const bool labelled = before && before->parent == c.parent && !before->caption.empty() &&
                        (before->kind == Kind::Label || before->kind == Kind::TransparentLabel) &&
                        before->rect.x + before->rect.w <= c.rect.x &&
                        before->rect.y + before->rect.h / 2 >= c.rect.y &&
                        before->rect.y + before->rect.h / 2 < c.rect.y + c.rect.h;
  return labelled ? before : nullptr;
}

// A control a click reaches, or a cell of a grid: named by what it shows and the labels over it (`over`).
void describeActive(const Form& form, int i, const std::vector<char>& cells, const std::string& over, Node& n) {
  const Control& c = form.at(i);
  n.disabled = !form.reachable(i);
  n.name = controlName(form, i) + over;
  if (c.kind == Kind::CheckBox) {
    n.role = Role::CheckBox;
    n.checked = c.checked;
  } else if (c.kind == Kind::DropDown) {
    n.role = Role::ComboBox;
    n.selection = c.selection;
    for (const ListItem& item : c.items) n.items.push_back(item.text);
    // Named by the label just before it on its line ("目标等级"), or else by what it shows.
    if (const Control* label = labelBefore(form, i))
      n.name = trimmed(label->caption);
    else if (!c.selectedText().empty())
      n.name = c.selectedText();
  } else if (cells[static_cast<size_t>(i)]) {
    n.role = Role::Cell;
    n.grid = c.parent;
    // Rows and columns by place: the cells above in its column, and to the left in its row (within half a cell).
    for (int j = 0; j < form.size(); ++j) {
      const Control& o = form.at(j);
      if (j == i || !alike(o, c)) continue;
      n.row += o.rect.y + o.rect.h / 2 < c.rect.y && std::abs(o.rect.x - c.rect.x) < c.rect.w / 2;
      n.column += o.rect.x + o.rect.w / 2 < c.rect.x && std::abs(o.rect.y - c.rect.y) < c.rect.h / 2;
    }
  } else {
    n.role = Role::Button;
  }
}

// A control that only shows something: its text, what its picture says, or a list's rows in view.
void describePassive(const Form& form, int i, Node& n) {
  const Control& c = form.at(i);
  switch (c.kind) {
    case Kind::GroupBox:
      n.role = Role::Heading;
      n.name = trimmed(c.caption);
      break;
    case Kind::Label:
    case Kind::TransparentLabel:
    case Kind::CheckBox: n.name = trimmed(c.caption); break;
    case Kind::DropDown: n.name = c.selectedText(); break;
    case Kind::PictureBox:
    case Kind::PictureButton:
      n.role = Role::Image;
      n.name = std::string(pictureText(c.picture));
      break;
    case Kind::Chart:
      n.role = Role::Image;
      if (c.chart && c.chart->points.empty()) n.name = c.chart->empty;
      for (const ChartMark& m : c.chart ? c.chart->marks : std::vector<ChartMark>{}) {
        n.name += (n.name.empty() ? "" : "、") + m.label;
      }
      // The legend of the curves compared, when there are any.
      for (const ChartCurve& k : c.chart && !c.chart->points.empty() ? c.chart->curves : std::vector<ChartCurve>{}) {
        n.name += (n.name.empty() ? "" : "、") + k.label;
      }
      if (c.chart && !c.chart->points.empty() && !c.chart->curves.empty()) n.name += "、" + c.chart->label;
      break;
    case Kind::List: {
      n.role = Role::List;
      const int rows = form.visibleRows(i);
      for (int k = c.topRow; k < static_cast<int>(c.items.size()) && k < c.topRow + rows; ++k) {
        n.items.push_back(c.items[static_cast<size_t>(k)].text);
      }
      break;
    }
    case Kind::Timer: break;
  }
}

}  // namespace

bool actsOnClick(const Control& c) {
  return c.onClick || c.onLeftDown || c.kind == Kind::DropDown || c.kind == Kind::CheckBox;
}

std::string_view pictureText(std::string_view asset) {
  for (std::string_view look : {"_normal", "_hover", "_pressed", "_disabled"}) {
    if (asset.ends_with(look)) asset.remove_suffix(look.size());
  }
  // An item is named alike in the bag, on the benches and in the planner's table.
  for (std::string_view place : {"bag_", "slot_", "icon_"}) {
    if (asset.starts_with(place)) asset.remove_prefix(place.size());
  }
  for (const auto& [name, text] : kPictureTexts) {
    if (name == asset) return text;
  }
  return {};
}

std::vector<Node> semantics(const Form& form) {
  std::vector<Node> out;
  const Layers layers(form);
  const std::vector<char> cells = gridCells(form);
  const LabelsOver over(form, layers, cells);
  for (int i = 0; i < form.size(); ++i) {
    const Control& c = form.at(i);
    const auto at = static_cast<size_t>(i);
    if (over.folded[at] || c.kind == Kind::Timer || !layers.shown(i)) continue;
    const Rect r = layers.visible(i);
    if (empty(r)) continue;
    const int top = layers.topAt(r);
    if (top > i && !descends(form, top, i)) continue;  // covered (a help panel over the bag)
    Node n;
    n.control = i;
    n.rect = r;
    if ((actsOnClick(c) && catchesPointer(c)) || cells[at]) {
      describeActive(form, i, cells, over.words[at], n);
      if (inTable(form, c)) placeInTable(form, i, n);
      out.push_back(std::move(n));
      continue;
    }
    describePassive(form, i, n);
    if (inTable(form, c) && n.role == Role::Text) {
      n.role = Role::TableCell;
      placeInTable(form, i, n);
    }
    if (!n.name.empty() || n.role == Role::List) out.push_back(std::move(n));
  }
  return out;
}

SemanticChanges SemanticTracker::update(const Form& form) {
  SemanticChanges out;
  std::vector<Node> now(static_cast<size_t>(form.size()));
  for (Node& n : semantics(form)) {
    const size_t i = static_cast<size_t>(n.control);
    now[i] = std::move(n);
  }
  last_.resize(now.size());
  for (size_t i = 0; i < now.size(); ++i) {
    if (now[i].control < 0 && last_[i].control >= 0) out.removed.push_back(static_cast<int>(i));
    if (now[i].control >= 0 && !(now[i] == last_[i])) out.changed.push_back(now[i]);
  }
  last_ = std::move(now);
  return out;
}

}  // namespace mox::paint
