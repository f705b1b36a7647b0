// The planner window as data: the true odds of the benches, the plan to a target level, its cost curve and the
// plans side by side; the recipes, auto-run, the record and the luck of the climb under way.
#include "plan/compare.h"
#include "runtime/palette.h"
#include "ui/layout.h"
#include "ui/layout_rows.h"

namespace mox {

namespace {

using namespace palette;
using namespace layout_rows;

// The planner window's text: labels on the page colour in the interface face.
ControlRow text(const char* name, const char* parent, Rect r, const char* caption, uint32_t colour = kWhite,
                int height = 12, bool bold = false, Align align = Align::Left) {
  return {.name = name,
          .kind = Kind::TransparentLabel,
          .parent = parent,
          .rect = r,
          .caption = caption,
          .textColour = colour,
          .font = font(height, bold, ""),
          .align = align};
}

ControlRow group(const char* name, Rect r, const char* caption) {
  return {.name = name,
          .kind = Kind::GroupBox,
          .rect = r,
          .caption = caption,
          .textColour = kGold,
          .backColour = kPageColour,
          .font = font(13, true, "")};
}

ControlRow dropDown(const char* name, const char* parent, Rect r, std::vector<ListItem> items, const char* onChange) {
  return {.name = name,
          .kind = Kind::DropDown,
          .parent = parent,
          .rect = r,
          .textColour = kBlack,
          .backColour = kWhite,
          .items = std::move(items),
          .onChange = onChange};
}

ControlRow checkBox(const char* name, const char* parent, Rect r, const char* caption, const char* onClick = "") {
  return {.name = name,
          .kind = Kind::CheckBox,
          .parent = parent,
          .rect = r,
          .caption = caption,
          .textColour = kWhite,
          .backColour = kPageColour,
          .font = font(12, true, ""),
          .onClick = onClick};
}

// The odds of what lies on the benches now.
void addOddsBox(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back(group("几率框", {8, 4, 436, 102}, "当前强化台的真实几率"));
  rows.push_back(text("强化几率标签", "几率框", {12, 20, 412, 22}, "强化：强化台上没有芯片", kWhite, 15, true));
  rows.push_back(text("降级几率标签", "几率框", {12, 46, 412, 18}, "", kGrey));
  rows.push_back(text("合成几率标签", "几率框", {12, 72, 412, 20}, "合成：合成台未打开", kGrey, 13));
  // clang-format on
}

// What to plan.
void addPlanSettings(std::vector<ControlRow>& rows) {
  std::vector<ListItem> levels;
  for (int i = 0; i <= 9; ++i) levels.push_back({"+" + std::to_string(i), i});
  std::vector<ListItem> counts;  // chips made at once
  for (int n = 1; n <= 10; ++n) counts.push_back({std::to_string(n), n});
  // clang-format off
  rows.push_back(group("规划设置框", {8, 110, 436, 96}, "规划"));
  rows.push_back(text("起始等级标签", "规划设置框", {12, 22, 172, 20}, "起始：+0"));
  rows.push_back(text("目标等级标题", "规划设置框", {184, 22, 52, 20}, "目标等级", kYellow, 12, false, Align::Right));
  rows.push_back(dropDown("目标等级", "规划设置框", {240, 22, 38, 20}, levels, "planInputsChanged"));
  rows.push_back(text("数量标题", "规划设置框", {280, 22, 26, 20}, "数量", kYellow, 12, false, Align::Right));
  rows.push_back(dropDown("数量", "规划设置框", {310, 22, 36, 20}, counts, "planInputsChanged"));
  rows.push_back({.name = "复制规划链接", .kind = Kind::PictureButton, .parent = "规划设置框", .rect = {348, 20, 80, 22},
                  .caption = "复制规划链接", .picture = "link_plan_normal", .hoverPicture = "link_plan_hover",
                  .pressedPicture = "link_plan_pressed", .hand = true, .onClick = "copyPlanLink"});
  rows.push_back(text("加成标签", "规划设置框", {12, 46, 300, 18}, "", kGrey));
  rows.push_back(checkBox("按库存规划", "规划设置框", {316, 44, 112, 20}, "按库存规划", "planInputsChanged"));
  rows.push_back(dropDown("规划目标", "规划设置框", {12, 68, 160, 20},
                          {{"最低期望花费", 0}, {"预算内成功率最高", 1}}, "planInputsChanged"));
  rows.push_back(text("预算标题", "规划设置框", {182, 68, 36, 20}, "预算", kYellow));
  rows.push_back(dropDown("预算列表", "规划设置框", {218, 68, 100, 20},
                          {{"100 Q币", 1000}, {"200 Q币", 2000}, {"500 Q币", 5000}, {"1000 Q币", 10000},
                           {"2000 Q币", 20000}, {"5000 Q币", 50000}, {"10000 Q币", 100000}},
                          "planInputsChanged"));
  rows.push_back(text("计算状态标签", "规划设置框", {326, 68, 100, 20}, "", kGold));
  // clang-format on
}

// The plan's figures.
void addPlanFigures(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back(group("规划结果框", {8, 210, 436, 92}, "升到目标要花多少"));
  rows.push_back(text("期望花费标签", "规划结果框", {12, 22, 150, 20}, "平均 -"));
  rows.push_back(text("中位花费标签", "规划结果框", {166, 22, 130, 20}, "一半玩家 ≤ -"));
  rows.push_back(text("九成花费标签", "规划结果框", {300, 22, 130, 20}, "九成玩家 ≤ -"));
  rows.push_back(text("极端花费标签", "规划结果框", {12, 46, 150, 20}, "99% 玩家 ≤ -", kGrey));
  rows.push_back(text("预算成功率标签", "规划结果框", {166, 46, 264, 20}, "预算内成功 -", kGreen));
  rows.push_back(text("库存用量标签", "规划结果框", {12, 68, 418, 18}, "", kGrey, 11));
  // clang-format on
}

// The cost distribution as a curve.
void addCostCurve(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back({.name = "花费分布图", .kind = Kind::Chart, .rect = {8, 308, 436, 214}, .textColour = kGrey,
                  .backColour = kChartBack, .font = font(11, false, "")});
  rows.push_back(text("图表说明", "", {8, 524, 436, 18}, "曲线：花到横轴的 Q币 时已升到目标的玩家比例", kGrey, 11));
  // clang-format on
}

// Luck of the climb under way.
void addLuckBox(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back(group("运气框", {456, 640, 436, 62}, "这次的运气"));
  rows.push_back(text("运气标签", "运气框", {12, 18, 412, 22}, "还没有强化", kGold, 16, true));
  rows.push_back(text("运气说明", "运气框", {12, 42, 412, 16}, "", kGrey, 11));
  // clang-format on
}

// The recipe and route per level.
void addRecipeTable(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back(group("配方框", {456, 4, 436, 292}, "每一级的最佳配方与路线"));
  rows.push_back(text("配方表头等级", "配方框", {8, 18, 64, 18}, "等级", kYellow));
  rows.push_back(text("配方表头配方", "配方框", {76, 18, 156, 18}, "配方（每次放上强化台）", kYellow));
  rows.push_back(text("配方表头花费", "配方框", {236, 18, 90, 18}, "每次花费", kYellow));
  rows.push_back(text("配方表头路线", "配方框", {330, 18, 100, 18}, "做一枚最省", kYellow));
  // clang-format on
  for (int i = 0; i < 9; ++i) {
    const int y = 38 + 28 * i;
    const std::string n = std::to_string(i);
    rows.push_back(text(keep("配方等级" + n), "配方框", {8, y, 64, 24}, keep("+" + n + " → +" + std::to_string(i + 1)),
                        kWhite, 12, true));
    for (int k = 0; k < 6; ++k) {
      rows.push_back({.name = keep("配方" + n + "物品" + std::to_string(k)),
                      .parent = "配方框",
                      .rect = {76 + 26 * k, y, 24, 24}});
    }
    rows.push_back(text(keep("配方花费" + n), "配方框", {236, y, 90, 24}, ""));
    rows.push_back(text(keep("路线" + n), "配方框", {330, y, 100, 24}, ""));
  }
}

// Auto-run.
void addAutoRun(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back(group("自动框", {456, 300, 436, 106}, "自动强化"));
  rows.push_back(wideButton("自动强化按钮", "自动框", {10, 22, 88, 32}, "autorun", "自动强化", "toggleAutoRun"));
  rows.push_back(checkBox("快速", "自动框", {10, 58, 60, 20}, "快速"));
  rows.push_back(checkBox("自动补给", "自动框", {74, 58, 90, 20}, "自动补给"));
  rows.push_back(text("自动方式标题", "自动框", {190, 58, 60, 20}, "自动方式", kYellow));
  rows.push_back(dropDown("自动方式", "自动框", {252, 58, 110, 20},
                          {{"照当前配方", 0}, {"按规划配方", 1}, {"按路线", 2}}, "autoWayChanged"));
  rows.push_back(text("自动状态标签", "自动框", {108, 20, 320, 18}, "按一下开始，再按一下或 Esc 停止"));
  rows.push_back(text("自动花费标签", "自动框", {108, 40, 320, 18}, "", kGrey));
  rows.push_back(text("自动说明标签", "自动框", {10, 82, 420, 18}, "照强化台上这套配方一直强化；快速：不放横幅和声音；补给：用完就买",
                      kGrey, 11));
  rows.push_back({.name = "自动强化时钟", .kind = Kind::Timer, .onTick = "autoRunTick"});
  // clang-format on
}

// The record of attempts.
void addRecord(std::vector<ControlRow>& rows) {
  // clang-format off
  rows.push_back(group("记录框", {456, 410, 436, 226}, "强化记录（最新在上）"));
  rows.push_back({.name = "记录列表", .kind = Kind::List, .parent = "记录框", .rect = {8, 18, 420, 164},
                  .textColour = kWhite, .backColour = kChartBack, .font = font(12, false, "")});
  rows.push_back(wideButton("导出按钮", "记录框", {8, 188, 88, 32}, "export", "导出记录", "exportHistory"));
  rows.push_back(text("导出结果标签", "记录框", {102, 188, 326, 32}, "导出为 MOXhistory.csv，表格软件可直接打开", kGrey, 11));
  // clang-format on
}

// A flat button of text on the page: the planner's smaller actions.
ControlRow textButton(const char* name, const char* parent, Rect r, const char* caption, const char* onClick) {
  return {.name = name,
          .kind = Kind::Label,
          .parent = parent,
          .rect = r,
          .caption = caption,
          .textColour = kGold,
          .backColour = kTextButton,
          .font = font(12, true, ""),
          .align = Align::Centre,
          .hand = true,
          .onClick = onClick};
}

// Plans side by side: the buttons, what they did, the table of the plans pinned and the picks among them. A pin
// takes two lines of the table: its question (and 删除), then its figures under the header's.
void addCompare(std::vector<ControlRow>& rows) {
  static const char* const kHeads[] = {"规划", "平均", "一半玩家 ≤", "九成玩家 ≤", "99% 玩家 ≤", "预算内成功"};
  static const int kLefts[] = {4, 40, 110, 180, 250, 320};
  // clang-format off
  rows.push_back(group("对比框", {8, 546, 436, 210}, "对比（最多 4 个）"));
  rows.push_back(textButton("加入对比", "对比框", {8, 18, 72, 20}, "加入对比", "pinPlan"));
  rows.push_back(textButton("清空对比", "对比框", {84, 18, 72, 20}, "清空对比", "clearPins"));
  rows.push_back(text("对比状态标签", "对比框", {162, 16, 268, 28}, "把上面的规划加入对比，并排比较", kGrey, 11));
  rows.push_back({.name = "对比表", .kind = Kind::Label, .parent = "对比框", .rect = {6, 48, 424, 126},
                  .backColour = kChartBack, .table = true});
  // clang-format on
  for (int col = 0; col < 6; ++col) {
    rows.push_back(text(keep("对比表头" + std::to_string(col)), "对比表", {kLefts[col], 0, col ? 70 : 34, 14},
                        kHeads[col], kYellow, 11));
  }
  for (int row = 0; row < static_cast<int>(plan::kMaxCompared); ++row) {
    const int y = 14 + 28 * row;
    const std::string n = std::to_string(row);
    rows.push_back(text(keep("对比格" + n + "0"), "对比表", {4, y, 416, 14}, "", kWhite, 11));
    for (int col = 1; col < 6; ++col) {
      rows.push_back(
          text(keep("对比格" + n + std::to_string(col)), "对比表", {kLefts[col], y + 14, 70, 14}, "", kWhite, 11));
    }
    ControlRow remove = text(keep("删除对比" + n), "对比表", {392, y + 14, 28, 14}, "删除", kCoral, 11);
    remove.onClick = keep("removePin " + n);
    remove.hand = true;
    remove.visible = false;
    rows.push_back(remove);
  }
  rows.push_back(text("对比结论标签", "对比框", {8, 178, 420, 28}, "", kGreen, 11));
}

WindowLayout buildPlanner() {
  WindowLayout l;
  l.window.name = kPlannerWindow;
  l.window.title = "强化规划";
  l.window.outerWidth = l.window.clientWidth = 900;
  l.window.outerHeight = l.window.clientHeight = 760;
  l.window.outerHeight += 24;
  l.window.background = kPageColour;
  l.window.icon = "icon";
  l.window.escCloses = true;
  l.window.visible = false;
  auto& rows = l.rows;
  addOddsBox(rows);
  addPlanSettings(rows);
  addPlanFigures(rows);
  addCostCurve(rows);
  addCompare(rows);
  addRecipeTable(rows);
  addAutoRun(rows);
  addRecord(rows);
  addLuckBox(rows);
  // Plan results come back from the worker through this timer.
  rows.push_back({.name = "规划时钟", .kind = Kind::Timer, .onTick = "planTick"});
  return l;
}

}  // namespace

const WindowLayout& plannerWindowLayout() {
  static const WindowLayout layout = buildPlanner();
  return layout;
}

}  // namespace mox
