#pragma once
// The form of controls: the controls of one window in creation order, with the properties the logic reads and
// writes, lookups by name and by tag, and one-handler-at-a-time event dispatch. A handler changes the form; a
// front end draws whatever the form says, and a test reads the same properties.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mox {

// Chart: a curve drawn from data; List: rows of text that scroll.
enum class Kind {
  PictureBox,
  PictureButton,
  TransparentLabel,
  Label,
  GroupBox,
  CheckBox,
  DropDown,
  Timer,
  Chart,
  List
};
enum class Align { Left, Centre, Right };
// Change: a drop-down list's chosen item changed by the user.
enum class Event { Click, MouseMove, LeftDown, Tick, Change };

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const Rect&) const = default;
};

struct Font {
  int height = 12;  // character height in pixels
  bool bold = false;
  bool underline = false;
  std::string face;  // empty: the default user-interface face
};

struct ListItem {
  std::string text;  // UTF-8
  int32_t value = 0;
};

// Colours are held as the platform's colour reference, 0x00BBGGRR.
constexpr uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (static_cast<uint32_t>(b) << 16); }

using Handler = std::function<void()>;

// What a chart shows: a rising curve of y (0..1) over x, and vertical marks. The front end scales both axes to
// the control and labels them with the units.
struct ChartMark {
  double x = 0;
  std::string label;  // UTF-8, drawn beside the line
  uint32_t colour = 0;
  bool dashed = false;
  bool operator==(const ChartMark&) const = default;
};
// Another curve drawn under the chart's own, in its colour, named in the legend.
struct ChartCurve {
  std::vector<std::pair<double, double>> points;  // by rising x
  uint32_t colour = 0;
  std::string label;  // UTF-8, a few words
  bool operator==(const ChartCurve&) const = default;
};

struct ChartData {
  std::vector<std::pair<double, double>> points;  // by rising x
  std::vector<ChartMark> marks;
  std::string xUnit, yUnit;
  std::string empty;  // shown instead when there are no points
  // Curves to compare with, drawn first; with any, a legend names each and the chart's own curve (`label`).
  std::vector<ChartCurve> curves;
  std::string label;
  bool operator==(const ChartData&) const = default;
};

// The height of one row of a list in the font given: the text and a little air.
constexpr int listRowHeight(const Font& f) { return f.height + 6; }

struct Control {
  std::string name;
  Kind kind = Kind::PictureBox;
  int parent = -1;  // index of the parent control in the form; -1 is the window itself
  Rect rect;        // relative to the parent's client area
  bool visible = true;
  bool disabled = false;
  std::string tag;
  std::string caption;  // UTF-8, for display
  std::string spoken;   // what a screen reader calls a control that shows no text of its own (an area of a picture)
  uint32_t textColour = rgb(0, 0, 0);
  std::optional<uint32_t> backColour;  // none: nothing is painted behind the text
  Font font;
  Align align = Align::Left;
  // Pictures are named embedded assets; an empty name is no picture. Copying a name copies the picture, since
  // the asset bytes never change.
  std::string picture, hoverPicture, pressedPicture, disabledPicture;
  std::string backgroundPicture;  // labels: tiled from the top-left corner
  std::optional<uint32_t> transparentColour;
  bool handCursor = false;
  bool checked = false;
  // Labels: a panel whose texts are the cells of a table, in rows and columns by place, the first row its header.
  bool table = false;
  std::vector<ListItem> items;
  int selection = -1;
  int interval = 0;                        // timers: milliseconds, 0 = stopped
  int topRow = 0;                          // lists: the first row shown
  std::shared_ptr<const ChartData> chart;  // charts: what to draw (never changed in place)
  Handler onClick, onMouseMove, onLeftDown, onTick, onChange;

  const Handler& handler(Event e) const;
  // The text of the item chosen in the list; empty when none of its items is chosen.
  const std::string& selectedText() const;
};

// Window-level properties of a form.
struct WindowInfo {
  std::string name;
  std::string title;  // UTF-8
  int clientWidth = 0, clientHeight = 0;
  int outerWidth = 0, outerHeight = 0;
  uint32_t background = rgb(0, 0, 0);
  std::string icon;
  bool escCloses = false;
  bool hasFrame = true;
  bool visible = true;
  // Screen position and size of the window's outer frame.
  int left = 0, top = 0, width = 0, height = 0;
  // A layered window's picture, drawn with its own per-pixel alpha.
  std::string layerPicture;
};

class Form {
 public:
  explicit Form(WindowInfo window = {}) : window_(std::move(window)) {}
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  WindowInfo& window() { return window_; }
  const WindowInfo& window() const { return window_; }

  // Adds a control in creation order and returns its index.
  int add(Control control);
  // Room for this many controls, so that building a window moves none of them.
  void reserve(size_t controls);

  const std::vector<Control>& controls() const { return controls_; }
  const Control& at(int index) const { return controls_.at(static_cast<size_t>(index)); }
  int size() const { return static_cast<int>(controls_.size()); }

  // The index of the named control, or -1.
  int indexOf(std::string_view name) const;
  const Control* find(std::string_view name) const;
  // The named control; a name the layout does not have is a fatal error.
  const Control& get(std::string_view name) const;

  // The first control in creation order whose tag, read as a decimal integer, equals `tag`. None is fatal.
  int findControlByTag(int32_t tag) const;
  // The same for each of the tags first .. first + count - 1, in one pass over the controls.
  std::vector<int> findControlsByTag(int32_t first, int32_t count) const;
  // The value of item `index` of a drop-down list, or -1 when the index is out of range.
  int32_t comboItemData(std::string_view name, int index) const;

  // Shown: the control and all its parents are visible (and the window too). Reachable: shown and enabled,
  // and no parent disabled: what a user can click.
  bool shown(int index) const;
  bool reachable(int index) const;

  // Property writes. Each marks the control for redrawing when its look changes.
  void setVisible(std::string_view name, bool visible) { setVisible(indexOfOrDie(name), visible); }
  void setVisible(int index, bool visible);
  void setDisabled(std::string_view name, bool disabled) { setDisabled(indexOfOrDie(name), disabled); }
  void setDisabled(int index, bool disabled);
  void setTag(std::string_view name, std::string tag) { setTag(indexOfOrDie(name), std::move(tag)); }
  void setTag(int index, std::string tag);
  void setPicture(std::string_view name, std::string asset) { setPicture(indexOfOrDie(name), std::move(asset)); }
  void setPicture(int index, std::string asset);
  // A button's four looks at once.
  void setButtonPictures(int index, std::string normal, std::string hover, std::string pressed, std::string disabled);
  void setCaption(std::string_view name, std::string text) { setCaption(indexOfOrDie(name), std::move(text)); }
  void setCaption(int index, std::string text);
  void setTextColour(std::string_view name, uint32_t colour) { setTextColour(indexOfOrDie(name), colour); }
  void setTextColour(int index, uint32_t colour);
  void setChecked(std::string_view name, bool checked) { setChecked(indexOfOrDie(name), checked); }
  void setChecked(int index, bool checked);
  void setSelection(std::string_view name, int selection) { setSelection(indexOfOrDie(name), selection); }
  void setSelection(int index, int selection);
  // Lists: the rows, and the first row shown (kept within the rows).
  void setItems(int index, std::vector<ListItem> items);
  void setTopRow(int index, int row);
  // The number of whole rows a list shows at once.
  int visibleRows(int index) const;
  void setChart(int index, ChartData chart);
  // Timers: a negative value counts as 0; writing the current value does nothing; any other value stops the
  // timer and restarts it with the new period when above 0.
  void setInterval(std::string_view name, int ms) { setInterval(indexOfOrDie(name), ms); }
  void setInterval(int index, int ms);
  // How many times a timer has been (re)started; a front end restarts its clock when this changes.
  uint64_t timerGeneration(int index) const { return timerGeneration_.at(static_cast<size_t>(index)); }

  void setHandler(std::string_view name, Event event, Handler handler);

  // Runs the control's handler for the event, one handler at a time: an event raised while a handler runs waits
  // until it has finished. A click on a check box ticks or unticks it before its handler runs.
  void dispatch(int index, Event event);
  void dispatch(std::string_view name, Event event) { dispatch(indexOfOrDie(name), event); }

  // Redraw bookkeeping for a front end: controls whose look changed since the last call.
  std::vector<int> takeDirty();
  bool anyDirty() const { return anyDirty_; }
  void markDirty(int index);
  // The whole window must be redrawn (window-level changes, or a repaint asked for by the logic).
  void redrawAll();
  bool takeFullRedraw();

 private:
  int indexOfOrDie(std::string_view name) const;
  Control& mut(int index) { return controls_.at(static_cast<size_t>(index)); }
  // Sets one of a control's fields, and marks the control for redrawing when that changes it.
  template <typename T>
  void change(int index, T Control::*field, T value) {
    T& now = mut(index).*field;
    if (now == value) return;
    now = std::move(value);
    markDirty(index);
  }

  WindowInfo window_;
  std::vector<Control> controls_;
  std::unordered_map<std::string, int> byName_;
  std::vector<uint64_t> timerGeneration_;
  std::vector<char> dirty_;
  bool anyDirty_ = false;
  bool fullRedraw_ = true;
  bool dispatching_ = false;
  std::deque<std::pair<int, Event>> pending_;
};

}  // namespace mox
