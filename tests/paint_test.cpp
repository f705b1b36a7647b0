// The paint layer without any toolkit: the display list a form becomes, and abstract input turned into hover,
// press, clicks and drop-down choices, driving the real application.
#include <gtest/gtest.h>

#include <algorithm>

#include "app_fixture.h"
#include "ui/paint/backlog.h"
#include "ui/paint/semantics.h"
#include "ui/paint/view.h"

namespace mox::paint {
namespace {

// Text as a fixed-width face would lay it out: every character (UTF-8 lead byte) half the height wide.
struct FixedMetrics : TextMetrics {
  int lineHeight(const Font& f) override { return f.height + 4; }
  int width(const Font& f, std::string_view s) override {
    return static_cast<int>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; })) * f.height /
           2;
  }
};

template <class T>
std::vector<T> all(const DisplayList& list) {
  std::vector<T> out;
  for (const Command& c : list) {
    if (const T* t = std::get_if<T>(&c)) out.push_back(*t);
  }
  return out;
}

const Text* textOf(const std::vector<Text>& texts, std::string_view s) {
  for (const Text& t : texts) {
    if (t.text == s) return &t;
  }
  return nullptr;
}

bool hasFill(const DisplayList& list, Rect r, uint32_t colour) {
  for (const Fill& f : all<Fill>(list)) {
    if (f.rect == r && f.colour == colour) return true;
  }
  return false;
}

struct Running {
  Form& form() { return program.form(); }
  int index(const char* name) { return form().indexOf(name); }
  const Pointer& pointer() { return view.pointer(); }
  InputResult move(int x, int y) { return view.handle(PointerMove{x, y}); }
  InputResult click(int x, int y) {
    move(x, y);
    view.handle(PointerDown{x, y});
    return view.handle(PointerUp{x, y});
  }
  InputResult key(Key k) { return view.handle(KeyDown{k}); }
  DisplayList whole() { return view.paintForm(view.client()); }
  moxtest::Program program;
  FixedMetrics metrics;
  View view{program.start().form(), metrics};
};

TEST(HitTest, FindsControlsWhereTheyLieAndLetsThePointerThroughFrames) {
  Running r;
  // The enhance button is a child of the bench picture at (0, 96).
  EXPECT_EQ(absoluteRect(r.form(), r.index("图形按钮1")), (Rect{115, 443, 120, 51}));
  EXPECT_EQ(hitTest(r.form(), 175, 468), r.index("图形按钮1"));
  // A count label lets the pointer through to its cell; bare page and beyond the client area hit nothing.
  EXPECT_TRUE(contains(absoluteRect(r.form(), r.index("n1")), 520, 165));
  EXPECT_EQ(hitTest(r.form(), 520, 165), r.index("a01"));
  EXPECT_EQ(hitTest(r.form(), 448, 560), -1);
  EXPECT_EQ(hitTest(r.form(), 950, 20), -1);
  // The help panel covers what lies beneath; its close cross is a transparent label with a press handler.
  r.click(60, 466);
  ASSERT_TRUE(r.form().shown(r.index("强化说明")));
  EXPECT_EQ(hitTest(r.form(), 520, 165), r.index("强化说明"));
  EXPECT_EQ(r.move(698, 100).cursor, Cursor::Hand);
  r.view.handle(PointerDown{698, 100});
  EXPECT_FALSE(r.form().shown(r.index("强化说明")));
  // Children are cut to their parents and to the window.
  EXPECT_EQ(visibleRect(r.form(), r.index("合成框")), (Rect{0, 97, 441, 412}));
  EXPECT_TRUE(empty(visibleRect(r.form(), r.index("x0图片"))));
}

TEST(Input, ClickNeedsPressAndReleaseOnTheSameControl) {
  Running r;
  const int topUp = r.index("图形按钮2");
  r.move(578, 660);
  r.view.handle(PointerDown{578, 660});
  EXPECT_EQ(r.pointer().pictureOf(topUp), "small_topup_pressed");
  r.move(300, 660);  // dragged off: the button no longer looks pressed, and letting go clicks nothing
  EXPECT_EQ(r.pointer().pictureOf(topUp), "small_topup_normal");
  EXPECT_EQ(r.view.handle(PointerUp{300, 660}).clicked, -1);
  EXPECT_EQ(r.form().get("标签5").caption, "0 Q币");
  // Other buttons neither press nor click.
  r.view.handle(PointerDown{578, 660, Button::Right});
  EXPECT_EQ(r.view.handle(PointerUp{578, 660, Button::Right}).clicked, -1);
  const InputResult done = r.click(578, 660);
  EXPECT_EQ(done.clicked, topUp);
  EXPECT_TRUE(done.redraw);
  EXPECT_EQ(r.form().get("标签5").caption, "10 Q币");
  EXPECT_EQ(r.program.platform().takeSounds().back(), "sound_purchase");
}

TEST(Input, HoverAndPressLooksReachTheDisplayListAndReportDamage) {
  Running r;
  const int button = r.index("图形按钮1");
  r.view.collect();
  r.view.takeScreenDamage();
  EXPECT_TRUE(r.move(175, 468).redraw);
  r.view.collect();
  EXPECT_EQ(r.view.takeFormDamage(), std::vector<Rect>{visibleRect(r.form(), button)});
  auto pictures = all<Picture>(r.view.paintForm(visibleRect(r.form(), button)));
  ASSERT_FALSE(pictures.empty());
  EXPECT_EQ(pictures.back().asset, "btn_enhance_hover");
  EXPECT_EQ(pictures.back().clip, visibleRect(r.form(), button));
  EXPECT_TRUE(r.pointer().leaveMatters());
  r.view.handle(PointerLeave{});
  EXPECT_EQ(r.pointer().pictureOf(button), "btn_enhance_normal");
  EXPECT_EQ(r.pointer().cursor(), Cursor::Arrow);
  EXPECT_FALSE(r.pointer().leaveMatters());
  r.move(448, 560);  // bare page: leaving changes nothing
  EXPECT_FALSE(r.pointer().leaveMatters());
  // A disabled button shows its disabled picture and ignores clicks.
  const int view = r.index("强化显示按钮");
  EXPECT_EQ(r.pointer().pictureOf(view), "small_enhance_disabled");
  EXPECT_EQ(r.click(816, 602).clicked, -1);
  r.click(873, 602);  // to the synthesis view: now the enhancement button is the live one
  EXPECT_EQ(r.pointer().pictureOf(view), "small_enhance_normal");
}

TEST(Input, CheckBoxLooksHeldThenTickedBeforeItsHandlerRuns) {
  Running r;
  const Rect box{41, 524 + (24 - 13) / 2, 13, 13};
  r.move(100, 536);
  r.view.handle(PointerDown{100, 536});
  EXPECT_TRUE(hasFill(r.whole(), box, rgb(0xcc, 0xcc, 0xcc)));
  r.view.handle(PointerUp{100, 536});
  EXPECT_TRUE(r.form().get("选择框1").checked);
  EXPECT_TRUE(r.form().shown(r.index("标签3")));
  const DisplayList ticked = r.whole();
  EXPECT_TRUE(hasFill(ticked, box, rgb(255, 255, 255)));
  EXPECT_TRUE(hasFill(ticked, {box.x + 3, box.y + 5, 1, 3}, rgb(0, 0, 0)));  // the tick's first column
  const auto texts = all<Text>(ticked);
  const Text* caption = textOf(texts, "达人强化成功率加成");
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->box, (Rect{41 + 17, 524, 142 - 17, 24}));
  r.click(100, 536);
  EXPECT_FALSE(r.form().get("选择框1").checked);
  EXPECT_FALSE(r.form().shown(r.index("标签3")));
}

TEST(DropDown, OpensUpwardsAtTheBottomChoosesWithTheMouseAndPaintsOverTheForm) {
  Running r;
  const int list = r.index("组合框1");
  const Popup placed = placePopup(r.form(), list);
  EXPECT_EQ(placed.rect, (Rect{460, 649 - (5 * 16 + 2), 80, 5 * 16 + 2}));
  r.click(500, 659);
  ASSERT_TRUE(r.pointer().popup());
  EXPECT_EQ(r.pointer().popup()->rect, placed.rect);
  // The box's arrow looks pushed in; the list lies over the form with its chosen row lit.
  EXPECT_TRUE(hasFill(r.whole(), {460 + 80 - 17, 650, 16, 18}, rgb(0xcc, 0xcc, 0xcc)));
  const DisplayList top = r.view.paintTop(r.view.client());
  EXPECT_TRUE(hasFill(top, placed.rowRect(0), rgb(0x00, 0x78, 0xd7)));
  const auto rows = all<Text>(top);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0].colour, rgb(255, 255, 255));
  EXPECT_TRUE(r.view.paintTop({0, 0, 10, 10}).empty());
  // A press elsewhere while the list is open only closes it.
  EXPECT_EQ(r.click(578, 660).clicked, -1);
  EXPECT_FALSE(r.pointer().popup());
  EXPECT_EQ(r.form().get("标签5").caption, "0 Q币");
  r.click(500, 659);
  r.click(500, placed.rowRect(2).y + 8);
  EXPECT_FALSE(r.pointer().popup());
  EXPECT_EQ(r.form().at(list).selection, 2);
  r.click(578, 660);
  EXPECT_EQ(r.form().get("标签5").caption, "100 Q币");
}

TEST(DropDown, KeyboardAndWheelClampToTheList) {
  Running r;
  const int list = r.index("组合框3");
  const int items = static_cast<int>(r.form().at(list).items.size());
  r.click(810, 659);
  ASSERT_TRUE(r.pointer().popup());
  EXPECT_TRUE(r.key(Key::Down).used);
  r.key(Key::Down);
  r.key(Key::Enter);
  EXPECT_EQ(r.form().at(list).selection, 2);
  // Escape closes an open list and leaves the window alone; focus loss closes it too.
  r.click(810, 659);
  const InputResult esc = r.key(Key::Escape);
  EXPECT_TRUE(esc.used);
  EXPECT_FALSE(esc.close);
  r.click(810, 659);
  r.view.handle(FocusLost{});
  EXPECT_FALSE(r.pointer().popup());
  EXPECT_EQ(r.form().at(list).selection, 2);
  // The arrows move the selection of the list last clicked; the wheel that of the list under the pointer. Both
  // stop at the ends.
  r.key(Key::Up);
  r.key(Key::Up);
  r.key(Key::Up);
  EXPECT_EQ(r.form().at(list).selection, 0);
  r.view.handle(Wheel{810, 659, -50});
  EXPECT_EQ(r.form().at(list).selection, items - 1);
  r.view.handle(Wheel{700, 659, 1});
  EXPECT_EQ(r.form().get("组合框2").selection, 0);
  // On bare page, nothing has the keyboard: Esc is the window's, and the main window closes on it.
  r.click(448, 560);
  const InputResult close = r.key(Key::Escape);
  EXPECT_EQ(close.close, r.form().window().escCloses);
}

TEST(View, TimersStartAndStopAndStaleTicksAreDropped) {
  Running r;
  const int timer = r.index("时钟1");
  r.view.takeTimerChanges();
  // A purchase with the bag's picture shows the banner, whose animation runs on the timer.
  r.form().setInterval(timer, 30);
  auto started = r.view.takeTimerChanges();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].control, timer);
  EXPECT_EQ(started[0].interval, 30);
  EXPECT_TRUE(r.view.takeTimerChanges().empty());
  r.form().setInterval(timer, 0);
  auto stopped = r.view.takeTimerChanges();
  ASSERT_EQ(stopped.size(), 1u);
  EXPECT_EQ(stopped[0].interval, 0);
  EXPECT_FALSE(r.view.handle(TimerTick{timer, started[0].generation}).used);
  EXPECT_FALSE(r.view.handle(TimerTick{r.form().size() + 3, 0}).used);
  EXPECT_TRUE(r.view.handle(CloseRequest{}).close);
}

TEST(View, BannerIsComposedOverTheWindowWhereItsPositionPutsIt) {
  Running r;
  Form& banner = r.program.app().bannerForm();
  EXPECT_FALSE(overlayOf(banner, r.form()));
  banner.window().visible = true;
  banner.window().layerPicture = "banner_enhance_success";
  banner.window().left = r.form().window().left;
  banner.window().top = r.form().window().top + 280;
  const auto overlay = overlayOf(banner, r.form());
  ASSERT_TRUE(overlay);
  EXPECT_EQ(overlay->rect.y, 280);
  r.view.collect(overlay);
  const auto screen = r.view.takeScreenDamage();
  ASSERT_FALSE(screen.empty());
  const auto pictures = all<Picture>(r.view.paintTop({0, 300, 10, 10}));
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].asset, "banner_enhance_success");
  EXPECT_EQ(pictures[0].clip, (Rect{0, 300, 10, 10}));
}

// The looks of kinds the main window holds only once, on a small form of their own.
TEST(DisplayList, FramesTilesKeysAndHiddenParents) {
  Form form(WindowInfo{.clientWidth = 200, .clientHeight = 100, .background = rgb(1, 2, 3)});
  const int frame = form.add({.name = "f",
                              .kind = Kind::GroupBox,
                              .rect = {10, 10, 100, 50},
                              .caption = "信息",
                              .backColour = rgb(9, 9, 9),
                              .font = {.height = 12}});
  form.add({.name = "l",
            .kind = Kind::Label,
            .parent = frame,
            .rect = {5, 20, 40, 20},
            .caption = "x",
            .backgroundPicture = "rate_texture"});
  form.add({.name = "b",
            .kind = Kind::PictureButton,
            .rect = {150, 0, 40, 40},
            .picture = "p",
            .transparentColour = rgb(1, 2, 3)});
  FixedMetrics metrics;
  DisplayList list;
  paintForm(list, form, {}, {0, 0, 500, 500}, metrics);
  EXPECT_TRUE(hasFill(list, {0, 0, 200, 100}, rgb(1, 2, 3)));  // cut to the window
  // The caption sits in a gap of the frame's top edge, which runs through the caption's middle (line height 16).
  EXPECT_TRUE(hasFill(list, {18, 10, 2 * 6 + 4, 16}, rgb(9, 9, 9)));
  EXPECT_TRUE(hasFill(list, {10, 18, 99, 1}, rgb(0x80, 0x80, 0x80)));
  const auto pictures = all<Picture>(list);
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_TRUE(pictures[0].tile);
  EXPECT_EQ(pictures[0].clip, (Rect{15, 30, 40, 20}));
  EXPECT_EQ(pictures[1].key, rgb(1, 2, 3));
  // Only what reaches into the area asked for, each command cut to it.
  list.clear();
  paintForm(list, form, {}, {0, 0, 12, 12}, metrics);
  for (const Fill& f : all<Fill>(list)) EXPECT_EQ(intersect(f.rect, {0, 0, 12, 12}), f.rect);
  EXPECT_TRUE(all<Picture>(list).empty());
  // A hidden frame hides its children.
  form.setVisible(frame, false);
  list.clear();
  paintForm(list, form, {}, {0, 0, 200, 100}, metrics);
  EXPECT_EQ(all<Picture>(list).size(), 1u);
  EXPECT_TRUE(all<Text>(list).empty());
}

}  // namespace
}  // namespace mox::paint

namespace mox::paint {
namespace {

TEST(PlannerWindow, ChartAndRecordAreDrawnFromDataAndListsScrollAndChange) {
  moxtest::Program program;
  program.withStock({1, 0, 80});  // a chip +0 and big crystals
  program.start();
  FixedMetrics metrics;
  program.click("规划按钮");
  program.place(1);
  for (int i = 0; i < 4; ++i) program.place(3);
  for (int i = 0; i < 14; ++i) program.click("图形按钮1");
  program.app().settle();
  Form& form = program.app().plannerForm();
  View view(form, metrics);
  const DisplayList whole = view.paintForm(view.client());
  const auto texts = all<Text>(whole);

  // The chart: its axes in % and Q币, its marks labelled with their amounts, and the curve inside the plot.
  const int chart = form.indexOf("花费分布图");
  const Rect box = absoluteRect(form, chart);
  const ChartData& data = *form.at(chart).chart;
  EXPECT_TRUE(textOf(texts, "0%") && textOf(texts, "100%"));
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const Text& t) { return t.text.ends_with(" Q币"); }));
  for (const ChartMark& m : data.marks) {
    EXPECT_TRUE(textOf(texts, m.label + " " + std::to_string(std::lround(m.x)))) << m.label;
  }
  int curve = 0;
  for (const Line& l : all<Line>(whole)) {
    if (l.colour != rgb(0xff, 0xd2, 0x64)) continue;
    ++curve;
    EXPECT_TRUE(contains(box, l.x0, l.y0) && contains(box, l.x1, l.y1));
  }
  EXPECT_GT(curve, 10);

  // Marks close together (the budget between the percentiles and the money spent) get labels that never meet,
  // each as near its line as the two rows allow.
  ChartData close = data;
  close.marks = {{268, "一半", 1}, {558, "九成", 2}, {500, "预算", 3}, {570, "花", 4}, {990, "最多", 5}};
  form.setChart(chart, close);
  std::vector<Rect> labels;
  for (const Text& t : all<Text>(view.paintForm(box))) {
    if (t.colour >= 1 && t.colour <= 5) labels.push_back({t.box.x, t.box.y, metrics.width(t.font, t.text), t.box.h});
  }
  ASSERT_EQ(labels.size(), 5u);
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_TRUE(contains(box, labels[i].x, labels[i].y) && contains(box, labels[i].x + labels[i].w - 1, labels[i].y));
    for (size_t j = i + 1; j < labels.size(); ++j) EXPECT_TRUE(empty(intersect(labels[i], labels[j]))) << i << j;
  }

  // A caption wider than its label, which has room for two lines, goes on two, broken after a path separator;
  // nothing is lost or drawn outside the label.
  const std::string path = "已导出 20 条到 /home/a-player-with-a-long-name/.local/share/moxsim/MOXhistory.csv";
  form.setCaption("导出结果标签", path);
  const Rect label = absoluteRect(form, form.indexOf("导出结果标签"));
  std::vector<Text> lines;
  for (const Text& t : all<Text>(view.paintForm(label))) {
    if (t.text != "导出记录") lines.push_back(t);
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].text + lines[1].text, path);
  EXPECT_TRUE(lines[0].text.ends_with("/"));
  for (const Text& t : lines) {
    EXPECT_LE(metrics.width(t.font, t.text), label.w);
    EXPECT_EQ(intersect(t.clip, label), t.clip);
  }
  EXPECT_LT(lines[0].box.y, lines[1].box.y);

  // The record: newest first, as many rows as fit; the wheel scrolls it three rows a step.
  const int list = form.indexOf("记录列表");
  const Control& rows = form.at(list);
  ASSERT_EQ(rows.items.size(), 14u);
  EXPECT_TRUE(textOf(texts, rows.items[0].text));
  EXPECT_FALSE(textOf(texts, rows.items[13].text));
  const Rect listBox = absoluteRect(form, list);
  view.handle(Wheel{listBox.x + 20, listBox.y + 20, -1});
  EXPECT_EQ(form.at(list).topRow, 3);
  view.handle(Wheel{listBox.x + 20, listBox.y + 20, -10});
  EXPECT_EQ(form.at(list).topRow, 14 - form.visibleRows(list));
  EXPECT_TRUE(textOf(all<Text>(view.paintForm(view.client())), rows.items[13].text));

  // A target chosen from the open list starts the plan again.
  const int target = form.indexOf("目标等级");
  const Rect t = absoluteRect(form, target);
  view.handle(PointerDown{t.x + 10, t.y + 10});
  view.handle(PointerUp{t.x + 10, t.y + 10});
  ASSERT_TRUE(view.pointer().popup());
  const Rect row = view.pointer().popup()->rowRect(7);
  view.handle(PointerDown{row.x + 5, row.y + 5});
  view.handle(PointerUp{row.x + 5, row.y + 5});
  EXPECT_EQ(form.at(target).selection, 7);
  EXPECT_EQ(form.get("计算状态标签").caption, "计算中…");
  program.app().settle();
  EXPECT_EQ(form.get("计算状态标签").caption, "");
}

// What a screen reader is told: every control a click reaches, named as shown; cells by item and count.
const Node* nodeOf(const std::vector<Node>& nodes, const Form& form, std::string_view name) {
  for (const Node& n : nodes) {
    if (n.control == form.indexOf(name)) return &n;
  }
  return nullptr;
}

void expectEveryClickableNamed(const Form& form) {
  const std::vector<Node> nodes = semantics(form);
  for (int i = 0; i < form.size(); ++i) {
    const Control& c = form.at(i);
    if (!actsOnClick(c) || !form.reachable(i) || !catchesPointer(c)) continue;
    const Rect r = visibleRect(form, i);
    if (empty(r) || hitTest(form, r.x + r.w / 2, r.y + r.h / 2) != i) continue;
    const Node* n = nodeOf(nodes, form, c.name);
    ASSERT_NE(n, nullptr) << c.name;
    EXPECT_FALSE(n->name.empty()) << c.name;
    EXPECT_NE(n->role, Role::Text) << c.name;
    EXPECT_FALSE(n->disabled) << c.name;
  }
}

TEST(Semantics, NamesEveryControlAClickReachesAndFollowsTheStock) {
  moxtest::Program p;
  p.withStock({2, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  Form& form = p.form();
  expectEveryClickableNamed(form);
  std::vector<Node> nodes = semantics(form);
  const Node* chips = nodeOf(nodes, form, "a01");
  ASSERT_NE(chips, nullptr);
  EXPECT_EQ(chips->name, "+0 芯片，2 个");
  EXPECT_EQ(chips->role, Role::Cell);
  EXPECT_EQ(chips->grid, form.indexOf("图片框2"));
  EXPECT_EQ(nodeOf(nodes, form, "a02")->name, "大晶体，5 个");
  EXPECT_EQ(nodeOf(nodes, form, "a36")->name, "空");
  EXPECT_EQ(nodeOf(nodes, form, "a08")->row, 1);
  EXPECT_EQ(nodeOf(nodes, form, "a08")->column, 1);
  EXPECT_EQ(nodeOf(nodes, form, "n1"), nullptr);  // the count is part of its cell
  EXPECT_EQ(nodeOf(nodes, form, "选择框1")->role, Role::CheckBox);
  EXPECT_EQ(nodeOf(nodes, form, "组合框1")->items.size(), 5u);

  // Only what changed is reported: the chip's cell and the slot it went to.
  SemanticTracker tracker;
  tracker.update(form);
  EXPECT_TRUE(tracker.update(form).empty());
  p.click("a01");
  const SemanticChanges changes = tracker.update(form);
  std::vector<std::string> names;
  for (const Node& n : changes.changed) names.push_back(form.at(n.control).name + " " + n.name);
  EXPECT_NE(std::find(names.begin(), names.end(), "a01 +0 芯片，1 个"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "芯片位 +0 芯片"), names.end());

  // A help panel covers the bag: its cells go, the panel's close areas come, named.
  p.click("图形按钮4");
  nodes = semantics(form);
  EXPECT_EQ(nodeOf(nodes, form, "a01"), nullptr);
  EXPECT_EQ(nodeOf(nodes, form, "关闭说明1")->name, "关闭");

  // The planner: its drop-downs named by their labels, its figures as text.
  p.press("关闭说明1");
  p.click("规划按钮");
  Form& planner = p.app().plannerForm();
  expectEveryClickableNamed(planner);
  nodes = semantics(planner);
  EXPECT_EQ(nodeOf(nodes, planner, "目标等级")->name, "目标等级");
  EXPECT_EQ(nodeOf(nodes, planner, "强化几率标签")->name, planner.get("强化几率标签").caption);
  EXPECT_EQ(nodeOf(nodes, planner, "几率框")->role, Role::Heading);
}

}  // namespace
}  // namespace mox::paint

namespace mox::paint {
namespace {

// A window's damage drawn a band at a time: every damaged pixel is drawn once and nothing else, damage that comes
// meanwhile is drawn too, and a region given first is finished before the next is started.
TEST(Backlog, BandsCoverTheDamageOnceRegionByRegion) {
  constexpr int kW = 120, kH = 90;
  std::vector<int> drawn(kW * kH, 0);
  std::vector<bool> damaged(kW * kH, false);
  const auto mark = [&](const Rect& r) {
    for (int y = r.y; y < r.y + r.h; ++y) {
      for (int x = r.x; x < r.x + r.w; ++x) damaged[static_cast<size_t>(y * kW + x)] = true;
    }
  };
  const std::vector<Rect> regions{{60, 0, 60, 90}, {0, 0, 60, 90}};  // the right column first
  Backlog backlog;
  backlog.add({{0, 0, kW, kH}, {10, 10, 20, 20}});
  mark({0, 0, kW, kH});
  bool leftStarted = false;
  for (int bands = 0; !backlog.empty(); ++bands) {
    if (bands == 5) {  // a control changes while the window is being drawn
      backlog.add({{50, 40, 30, 8}});
      mark({50, 40, 30, 8});
    }
    const Rect band = backlog.take(600, regions);
    ASSERT_FALSE(empty(band));
    ASSERT_LE(band.w * band.h, 600 + band.w);
    const bool left = band.x < 60;
    if (left) leftStarted = true;
    EXPECT_FALSE(leftStarted && !left) << "the right column taken up again after the left one was started";
    for (int y = band.y; y < band.y + band.h; ++y) {
      for (int x = band.x; x < band.x + band.w; ++x) ++drawn[static_cast<size_t>(y * kW + x)];
    }
  }
  for (size_t i = 0; i < drawn.size(); ++i) {
    // The pixels of the change drawn a second time are those drawn before it came.
    ASSERT_TRUE(damaged[i] ? drawn[i] >= 1 : drawn[i] == 0) << i;
    const int x = static_cast<int>(i) % kW, y = static_cast<int>(i) / kW;
    if (!contains({50, 40, 30, 8}, x, y)) {
      ASSERT_EQ(drawn[i], 1) << x << "," << y;
    }
  }
  EXPECT_EQ(subtract({0, 0, 10, 10}, {2, 3, 4, 5}).size(), 4u);
  EXPECT_TRUE(subtract({0, 0, 10, 10}, {-5, -5, 30, 30}).empty());
}

}  // namespace
}  // namespace mox::paint
