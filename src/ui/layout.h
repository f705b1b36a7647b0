#pragma once
// Both windows of the program as data: one row per control, in creation order, which is also the stacking
// order (a later row lies above an earlier one, and a parent always comes before its children).
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/form.h"

namespace mox {

struct ControlRow {
  const char* name = "";
  Kind kind = Kind::PictureBox;
  const char* parent = "";  // "" is the window
  Rect rect;
  bool visible = true;
  bool enabled = true;
  const char* tag = "";
  const char* caption = "";
  uint32_t textColour = rgb(0, 0, 0);
  std::optional<uint32_t> backColour;
  Font font;
  Align align = Align::Left;
  const char* picture = "";
  const char* hoverPicture = "";
  const char* pressedPicture = "";
  const char* disabledPicture = "";
  const char* backgroundPicture = "";
  std::optional<uint32_t> transparentColour;
  bool hand = false;
  bool table = false;  // Control::table
  std::vector<ListItem> items;
  int interval = 0;
  // Handler names: "" for none; an argument follows a space ("placeFromCell 3").
  const char* onClick = "";
  const char* onMouseMove = "";
  const char* onLeftDown = "";
  const char* onTick = "";
  const char* onChange = "";
  const char* spoken = "";  // Control::spoken
};

struct WindowLayout {
  WindowInfo window;
  std::vector<ControlRow> rows;
};

const WindowLayout& mainWindowLayout();
const WindowLayout& bannerWindowLayout();
// The planner: the true odds of the benches, the plan to a target level, its cost curve, auto-run and the record.
const WindowLayout& plannerWindowLayout();
inline constexpr const char* kPlannerWindow = "规划窗口";

// The layout's handler names and the control each is bound to, for wiring and for checks.
struct HandlerBinding {
  std::string control;
  Event event;
  std::string handler;
};
std::vector<HandlerBinding> handlerBindings(const WindowLayout& layout);

// Fills an empty form from a window layout (handlers are bound by the caller).
void buildForm(const WindowLayout& layout, Form& form);

}  // namespace mox
