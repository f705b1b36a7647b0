#include "ui/layout.h"

#include <cstdio>
#include <memory>

#include "runtime/value.h"
#include "sim/items.h"
#include "runtime/palette.h"
#include "ui/layout_rows.h"

namespace mox {

namespace layout_rows {

// Interned strings for the generated rows (names, tags, pictures, handlers) so rows can hold plain pointers.
const char* keep(std::string s) {
  static std::vector<std::unique_ptr<std::string>> pool;
  pool.push_back(std::make_unique<std::string>(std::move(s)));
  return pool.back()->c_str();
}

ControlRow smallButton(const char* name, Rect r, const char* word, const char* onClick) {
  std::string base = std::string("small_") + word;
  return {.name = name,
          .kind = Kind::PictureButton,
          .rect = r,
          .picture = keep(base + "_normal"),
          .hoverPicture = keep(base + "_hover"),
          .pressedPicture = keep(base + "_pressed"),
          .disabledPicture = keep(base + "_disabled"),
          .transparentColour = palette::kPageColour,
          .hand = true,
          .onClick = onClick};
}

ControlRow wideButton(const char* name, const char* parent, Rect r, const char* word, const char* caption,
                      const char* onClick) {
  ControlRow row = smallButton(name, r, word, onClick);
  std::string base = std::string("wide_") + word;
  row.parent = parent;
  row.caption = caption;
  row.picture = keep(base + "_normal");
  row.hoverPicture = keep(base + "_hover");
  row.pressedPicture = keep(base + "_pressed");
  row.disabledPicture = keep(base + "_disabled");
  return row;
}

}  // namespace layout_rows

namespace {

using namespace palette;
using namespace layout_rows;

// The shop's list: each entry names the goods with its price, and carries the price as its data.
std::vector<ListItem> shopList() {
  static constexpr const char* kNames[kShopGoods.size()] = {"0级芯片", "小能量晶体", "大能量晶体",
                                                            "魔晶体",  "充能催化剂", "充能防护剂"};
  std::vector<ListItem> items;
  for (size_t i = 0; i < kShopGoods.size(); ++i) {
    const int32_t price = kShopGoods[i].price;
    items.push_back({std::string(kNames[i]) + "（" + toText(price / 10.0) + "Q币）", price});
  }
  return items;
}

ControlRow slot(const char* name, const char* parent, Rect r) {
  return {.name = name,
          .kind = Kind::PictureButton,
          .parent = parent,
          .rect = r,
          .visible = false,
          .tag = "0",
          .hand = true,
          .onClick = "takeBack"};
}

ControlRow infoLabel(const char* name, const char* parent, Rect r, const char* caption, uint32_t colour, bool bold) {
  return {.name = name,
          .kind = Kind::TransparentLabel,
          .parent = parent,
          .rect = r,
          .caption = caption,
          .textColour = colour,
          .font = font(12, bold, kSongti)};
}

ControlRow rateLabel(const char* name, Rect r, bool visible, const char* caption, uint32_t colour, Font f) {
  return {.name = name,
          .kind = Kind::Label,
          .parent = "图片框1",
          .rect = r,
          .visible = visible,
          .caption = caption,
          .textColour = colour,
          .font = f,
          .backgroundPicture = "rate_texture"};
}

ControlRow plateLabel(const char* name, Rect r, bool visible, const char* caption, uint32_t colour, const char* face) {
  return {.name = name,
          .kind = Kind::Label,
          .parent = "合成框",
          .rect = r,
          .visible = visible,
          .caption = caption,
          .textColour = colour,
          .backColour = kPlate,
          .font = font(16, true, face)};
}

// The enhancement bench: its odds, its buttons and its slots.
void addEnhanceBench(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "图片框1", .rect = {0, 96, 440, 410}, .picture = "enhance_bench"});
  rows.push_back(rateLabel("标签1", {133, 319, 59, 23}, true, "成功率：", kYellow, font(14, true, kSongti)));
  rows.push_back(rateLabel("标签2", {192, 319, 64, 23}, true, "未知", kWhite, font(14, true, kSansSerif)));
  rows.push_back(rateLabel("标签3", {118, 319, 88, 23}, false, "达人成功率：", kRed, font(14, true, kSongti, true)));
  rows.push_back(rateLabel("标签4", {206, 319, 50, 23}, false, "0.0%", kWhite, font(14, true, kSansSerif)));
  rows.push_back({.name = "图形按钮1", .kind = Kind::PictureButton, .parent = "图片框1", .rect = {115, 347, 120, 51},
                  .picture = "btn_enhance_normal", .hoverPicture = "btn_enhance_hover",
                  .pressedPicture = "btn_enhance_pressed", .disabledPicture = "btn_enhance_disabled",
                  .transparentColour = kPageColour, .hand = true, .onClick = "enhanceAttempt"});
  rows.push_back({.name = "图形按钮4", .kind = Kind::PictureButton, .parent = "图片框1", .rect = {16, 356, 90, 28},
                  .picture = "link_enhance_help_normal", .hoverPicture = "link_enhance_help_hover",
                  .pressedPicture = "link_enhance_help_pressed", .hand = true, .onClick = "showEnhanceHelp"});
  rows.push_back(slot("芯片位", "", {143, 320, 69, 79}));
  rows.push_back(slot("晶体位0", "", {264, 265, 61, 63}));
  rows.push_back(slot("晶体位1", "", {360, 265, 61, 63}));
  rows.push_back(slot("晶体位2", "", {265, 359, 61, 63}));
  rows.push_back(slot("晶体位3", "", {361, 359, 61, 63}));
  rows.push_back(slot("催化位", "", {34, 268, 61, 63}));
  rows.push_back(slot("防护位", "", {33, 359, 63, 63}));
  // clang-format on
}

// The synthesis bench, above the enhancement bench (and hidden until shown).
void addSynthesisBench(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "合成框", .rect = {-2, 97, 443, 412}, .visible = false, .picture = "synth_bench"});
  rows.push_back(slot("合成芯片位1", "合成框", {34, 75, 69, 79}));
  rows.push_back(slot("合成芯片位2", "合成框", {34, 192, 69, 79}));
  rows.push_back(slot("合成防护位", "合成框", {185, 30, 63, 63}));
  rows.push_back(slot("合成芯片位", "合成框", {325, 129, 69, 79}));
  rows.push_back({.name = "合成总合标签", .kind = Kind::TransparentLabel, .parent = "合成框", .rect = {194, 197, 48, 24},
                  .textColour = kWhite, .font = font(20, true, kHeiti), .align = Align::Centre});
  rows.push_back(plateLabel("成功率标", {174, 236, 72, 24}, true, "成功率：", kYellow, kHeiti));
  rows.push_back(plateLabel("成功率结", {234, 236, 51, 24}, true, "0%", kWhite, kSymbol));
  rows.push_back(plateLabel("成功率标1", {157, 235, 101, 24}, false, "达人成功率：", kRed, kHeiti));
  rows.push_back(plateLabel("成功率结1", {251, 235, 51, 24}, false, "0%", kWhite, kSymbol));
  rows.push_back({.name = "图形按钮5", .kind = Kind::PictureButton, .parent = "合成框", .rect = {150, 344, 125, 56},
                  .picture = "btn_synth_normal", .hoverPicture = "btn_synth_hover",
                  .pressedPicture = "btn_synth_pressed", .disabledPicture = "btn_synth_disabled", .hand = true,
                  .onClick = "synthesize"});
  rows.push_back({.name = "图形按钮6", .kind = Kind::PictureButton, .parent = "合成框", .rect = {17, 358, 92, 27},
                  .picture = "link_synth_help_normal", .hoverPicture = "link_synth_help_hover",
                  .pressedPicture = "link_synth_help_pressed", .hand = true, .onClick = "showSynthesisHelp"});
  // clang-format on
}

// The bag: 36 cells and their count labels, numbered row by row.
void addBag(std::vector<ControlRow>& rows) {
  rows.push_back({.name = "图片框2", .rect = {457, 98, 447, 456}, .picture = "bag"});
  const int cellLefts[6] = {34, 100, 166, 232, 298, 364};
  const int cellTops[6] = {22, 91, 155, 219, 291, 355};
  for (int i = 1; i <= 36; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "a%02d", i);
    ControlRow cell{.name = keep(name),
                    .kind = Kind::PictureButton,
                    .parent = "图片框2",
                    .rect = {cellLefts[(i - 1) % 6], cellTops[(i - 1) / 6], 52, 52},
                    .tag = keep(std::to_string(36 + i)),
                    .picture = "cell_empty",
                    .transparentColour = kPageColour,
                    .hand = true};
    if (i <= 15) {
      cell.onClick = keep("placeFromCell " + std::to_string(i));
      cell.onMouseMove = keep("redrawCellLabel " + std::to_string(i));
    }
    rows.push_back(cell);
  }
  const int labelLefts[6][6] = {{54, 121, 188, 254, 321, 388}, {53, 120, 187, 253, 320, 387},
                                {52, 119, 186, 252, 319, 386}, {52, 119, 186, 252, 319, 386},
                                {52, 119, 186, 252, 319, 386}, {51, 118, 185, 251, 318, 385}};
  const int labelTops[6] = {60, 129, 193, 261, 328, 394};
  for (int k = 1; k <= 36; ++k) {
    int row = (k - 1) / 6, col = (k - 1) % 6;
    // The first eighteen count labels are disabled in the layout; a disabled label looks the same.
    rows.push_back({.name = keep("n" + std::to_string(k)),
                    .kind = Kind::TransparentLabel,
                    .parent = "图片框2",
                    .rect = {labelLefts[row][col], labelTops[row], 29, 16},
                    .enabled = k > 18,
                    .tag = keep(std::to_string(k)),
                    .caption = "0",
                    .textColour = kWhite,
                    .font = font(12, false, ""),
                    .align = Align::Right});
  }
}

// The information box: what was topped up and spent, and the items used up.
void addInformationBox(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "分组框1", .kind = Kind::GroupBox, .rect = {1, 559, 440, 120}, .caption = "信息栏",
                  .textColour = kPink, .backColour = kPageColour, .font = font(14, true, kSansSerif)});
  rows.push_back(infoLabel("透明标签1", "", {13, 584, 94, 24}, "本次充值总金额：", kSage, true));
  rows.push_back(infoLabel("透明标签2", "", {111, 584, 94, 24}, "0 元人民币", kWhite, false));
  rows.push_back(infoLabel("透明标签3", "", {13, 605, 94, 24}, "本次消费总金额：", kRed, true));
  rows.push_back(infoLabel("透明标签4", "", {111, 605, 94, 24}, "0 元人民币", kWhite, false));
  rows.push_back(infoLabel("透明标签5", "分组框1", {12, 67, 94, 24}, "小晶体消耗:", kDarkYellow, true));
  rows.push_back(infoLabel("透明标签6", "分组框1", {91, 67, 57, 24}, "0个", kWhite, false));
  rows.push_back(infoLabel("透明标签8", "分组框1", {154, 67, 94, 24}, "大晶体消耗:", kAzure, true));
  rows.push_back(infoLabel("透明标签7", "分组框1", {233, 67, 57, 24}, "0个", kWhite, false));
  rows.push_back(infoLabel("透明标签9", "分组框1", {298, 67, 94, 24}, "魔晶体消耗:", kRose, true));
  rows.push_back(infoLabel("透明标签10", "分组框1", {377, 67, 57, 24}, "0个", kWhite, false));
  rows.push_back(infoLabel("透明标签11", "分组框1", {12, 90, 94, 24}, "防护剂消耗:", kPeriwinkle, true));
  rows.push_back(infoLabel("透明标签12", "分组框1", {91, 90, 57, 24}, "0个", kWhite, false));
  rows.push_back(infoLabel("透明标签13", "分组框1", {154, 90, 94, 24}, "催化剂消耗:", kLime, true));
  rows.push_back(infoLabel("透明标签14", "分组框1", {233, 90, 57, 24}, "0个", kWhite, false));
  rows.push_back({.name = "透明标签15", .kind = Kind::TransparentLabel, .parent = "分组框1", .rect = {298, 95, 133, 16},
                  .caption = "=> 清空当前消耗统计", .textColour = kWhite, .font = font(12, true, "", true), .hand = true,
                  .onLeftDown = "clearUsage"});
  // clang-format on
}

// The bonus options below the benches.
void addBonusOptions(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "选择框1", .kind = Kind::CheckBox, .rect = {41, 524, 142, 24}, .caption = "达人强化成功率加成",
                  .textColour = kRed, .backColour = kPageColour, .font = font(12, true, kSansSerif),
                  .onClick = "toggleExpertBonus"});
  rows.push_back({.name = "选择框2", .kind = Kind::CheckBox, .rect = {278, 524, 118, 24}, .caption = "实验室强化加成",
                  .textColour = kRed, .backColour = kPageColour, .font = font(12, true, kSansSerif),
                  .onClick = "toggleLabBonus"});
  // clang-format on
}

// The shop row: the balance, the window buttons, top-up and buying.
void addShopRow(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "图片框3", .rect = {458, 596, 46, 21}, .picture = "balance_label"});
  rows.push_back({.name = "标签5", .kind = Kind::Label, .rect = {510, 595, 121, 24}, .caption = "0 Q币",
                  .textColour = kWhite, .backColour = kPageColour, .font = font(14, false, kSansSerif)});
  rows.push_back(smallButton("规划按钮", {674, 586, 56, 32}, "plan", "openPlanner"));
  rows.push_back(smallButton("保存数据", {731, 586, 56, 32}, "save", "saveStock"));
  rows.push_back(smallButton("强化显示按钮", {788, 586, 56, 32}, "enhance", "showEnhanceView"));
  rows.push_back(smallButton("合成显示按钮", {845, 586, 56, 32}, "synth", "showSynthesisView"));
  rows.push_back({.name = "组合框1", .kind = Kind::DropDown, .rect = {460, 649, 80, 20}, .textColour = kBlack,
                  .backColour = kWhite,
                  .items = {{"10元", 100}, {"50元", 500}, {"100元", 1000}, {"500元", 5000}, {"1000元", 10000}}});
  rows.push_back(smallButton("图形按钮2", {550, 644, 56, 32}, "topup", "topUp"));
  rows.push_back({.name = "组合框2", .kind = Kind::DropDown, .rect = {646, 649, 139, 20}, .textColour = kBlack,
                  .backColour = kWhite,
                  .items = shopList()});
  rows.push_back({.name = "组合框3", .kind = Kind::DropDown, .rect = {792, 649, 48, 20}, .textColour = kBlack,
                  .backColour = kWhite, .items = {{"1个", 1}, {"5个", 5}, {"10个", 10}, {"30个", 30}}});
  rows.push_back(smallButton("图形按钮3", {846, 644, 56, 32}, "buy", "buyGoods"));
  // clang-format on
}

// The picture store, beyond the right edge of the client area: the logic copies these pictures into cells and
// slots and never shows the controls themselves.
void addPictureStore(std::vector<ControlRow>& rows) {
  struct StoreItem {
    const char* small;
    const char* smallPicture;
    const char* slotName;
    const char* slotPicture;
    Rect slotSize;
  };
  const StoreItem store[15] = {
      {"x0图片", "bag_chip0", "ax0", "slot_chip0", {0, 0, 69, 79}},
      {"小晶体图片", "bag_small_crystal", "q1", "slot_small_crystal", {0, 0, 61, 63}},
      {"大晶体图片", "bag_big_crystal", "q2", "slot_big_crystal", {0, 0, 61, 63}},
      {"魔晶体图片", "bag_magic_crystal", "q4", "slot_magic_crystal", {0, 0, 61, 63}},
      {"催化剂图片", "bag_catalyst", "q3", "slot_catalyst", {0, 0, 61, 63}},
      {"防护剂图片", "bag_protectant", "q5", "slot_protectant", {0, 0, 63, 63}},
      {"x1图片", "bag_chip1", "ax1", "slot_chip1", {0, 0, 69, 79}},
      {"x2图片", "bag_chip2", "ax2", "slot_chip2", {0, 0, 69, 79}},
      {"x3图片", "bag_chip3", "ax3", "slot_chip3", {0, 0, 69, 79}},
      {"x4图片", "bag_chip4", "ax4", "slot_chip4", {0, 0, 69, 79}},
      {"x5图片", "bag_chip5", "ax5", "slot_chip5", {0, 0, 69, 79}},
      {"x6图片", "bag_chip6", "ax6", "slot_chip6", {0, 0, 69, 79}},
      {"x7图片", "bag_chip7", "ax7", "slot_chip7", {0, 0, 69, 79}},
      {"x8图片", "bag_chip8", "ax8", "slot_chip8", {0, 0, 69, 79}},
      {"x9图片", "bag_chip9", "ax9", "slot_chip9", {0, 0, 69, 79}},
  };
  for (int k = 1; k <= 15; ++k) {
    const StoreItem& s = store[k - 1];
    rows.push_back({.name = s.small,
                    .kind = Kind::PictureButton,
                    .rect = {936 + (k - 1) * 56, 10, 52, 52},
                    .tag = keep(std::to_string(100 + k)),
                    .picture = s.smallPicture,
                    .transparentColour = kPageColour});
    rows.push_back({.name = s.slotName,
                    .kind = Kind::PictureButton,
                    .rect = {936 + (k - 1) * 72, 80, s.slotSize.w, s.slotSize.h},
                    .tag = keep(std::to_string(200 + k)),
                    .picture = s.slotPicture});
  }
  rows.push_back({.name = "空图片",
                  .kind = Kind::PictureButton,
                  .rect = {936, 180, 52, 52},
                  .picture = "cell_empty",
                  .transparentColour = kBlack});
  rows.push_back({.name = "空大图片", .kind = Kind::PictureButton, .rect = {1000, 180, 69, 79}, .tag = "200"});
}

// The help panels, above everything else.
void addHelpPanels(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "强化说明", .rect = {199, 82, 522, 483}, .visible = false, .picture = "help_enhance"});
  rows.push_back({.name = "关闭说明1", .kind = Kind::TransparentLabel, .parent = "强化说明", .rect = {487, 8, 24, 32},
                  .visible = false, .hand = true, .onLeftDown = "hideEnhanceHelp", .spoken = "关闭"});
  rows.push_back({.name = "关闭说明2", .kind = Kind::TransparentLabel, .parent = "强化说明", .rect = {216, 432, 88, 40},
                  .visible = false, .hand = true, .onLeftDown = "hideEnhanceHelp", .spoken = "确定"});
  rows.push_back({.name = "强化说明1", .rect = {200, 82, 520, 481}, .visible = false, .picture = "help_synth"});
  rows.push_back({.name = "关闭合成说明2", .kind = Kind::TransparentLabel, .parent = "强化说明1", .rect = {480, 5, 32, 24},
                  .caption = " ", .hand = true, .onLeftDown = "hideSynthesisHelp", .spoken = "关闭"});
  rows.push_back({.name = "关闭合成说明1", .kind = Kind::TransparentLabel, .parent = "强化说明1", .rect = {216, 429, 88, 40},
                  .caption = " ", .hand = true, .onLeftDown = "hideSynthesisHelp", .spoken = "确定"});
  // clang-format on
}

WindowLayout buildMain() {
  WindowLayout l;
  l.window.name = "主窗口";
  l.window.title = "MOX 芯片强化模拟器 V1.21 By Ravel 【鸣谢：Lumo / Tarn】";
  l.window.outerWidth = 906;
  l.window.outerHeight = 706;
  // The frame belongs to the window manager; the client area holds every control of the layout whole.
  l.window.clientWidth = 906;
  l.window.clientHeight = 682;
  l.window.background = kPageColour;
  l.window.icon = "icon";
  l.window.escCloses = true;
  auto& rows = l.rows;
  // The header, then the sections in stacking order.
  rows.push_back({.name = "图片框4", .rect = {1, 1, 900, 80}, .picture = "header"});
  addEnhanceBench(rows);
  addSynthesisBench(rows);
  addBag(rows);
  addInformationBox(rows);
  addBonusOptions(rows);
  addShopRow(rows);
  addPictureStore(rows);
  addHelpPanels(rows);
  // The banner's slide timer.
  rows.push_back({.name = "时钟1", .kind = Kind::Timer, .onTick = "bannerTick"});
  return l;
}

WindowLayout buildBanner() {
  WindowLayout l;
  l.window.name = "横幅窗口";
  l.window.hasFrame = false;
  l.window.outerWidth = l.window.clientWidth = 380;
  l.window.outerHeight = l.window.clientHeight = 149;
  l.window.width = 380;
  l.window.height = 149;
  l.window.visible = false;
  return l;
}

}  // namespace

const WindowLayout& mainWindowLayout() {
  static const WindowLayout layout = buildMain();
  return layout;
}

const WindowLayout& bannerWindowLayout() {
  static const WindowLayout layout = buildBanner();
  return layout;
}

std::vector<HandlerBinding> handlerBindings(const WindowLayout& layout) {
  std::vector<HandlerBinding> out;
  for (const ControlRow& r : layout.rows) {
    if (*r.onClick) out.push_back({r.name, Event::Click, r.onClick});
    if (*r.onMouseMove) out.push_back({r.name, Event::MouseMove, r.onMouseMove});
    if (*r.onLeftDown) out.push_back({r.name, Event::LeftDown, r.onLeftDown});
    if (*r.onTick) out.push_back({r.name, Event::Tick, r.onTick});
    if (*r.onChange) out.push_back({r.name, Event::Change, r.onChange});
  }
  return out;
}

void buildForm(const WindowLayout& layout, Form& form) {
  form.window() = layout.window;
  form.reserve(layout.rows.size());
  for (const ControlRow& r : layout.rows) {
    Control c;
    c.name = r.name;
    c.kind = r.kind;
    c.parent = *r.parent ? form.indexOf(r.parent) : -1;
    c.rect = r.rect;
    c.visible = r.visible;
    c.disabled = !r.enabled;
    c.tag = r.tag;
    c.caption = r.caption;
    c.spoken = r.spoken;
    c.textColour = r.textColour;
    c.backColour = r.backColour;
    c.font = r.font;
    c.align = r.align;
    c.picture = r.picture;
    c.hoverPicture = r.hoverPicture;
    c.pressedPicture = r.pressedPicture;
    c.disabledPicture = r.disabledPicture;
    c.backgroundPicture = r.backgroundPicture;
    c.transparentColour = r.transparentColour;
    c.handCursor = r.hand;
    c.table = r.table;
    c.items = r.items;
    c.selection = r.items.empty() ? -1 : 0;
    c.interval = r.interval;
    form.add(std::move(c));
  }
}

}  // namespace mox
