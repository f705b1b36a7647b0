#pragma once
// What a window says to a screen reader, without a toolkit: beside the display list, the same form becomes a flat
// list of nodes, one for every control a click reaches (its role, its name as shown, its state) and one for every
// text and telling picture, in creation order (the reading order of the layouts). A front end with an
// accessibility tree of its own (the web page's layer of elements) only makes and updates its elements from them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/form.h"

namespace mox::paint {

// TableCell: a text in a table panel (Control::table), its row 0 the header.
enum class Role { Button, CheckBox, ComboBox, Cell, Text, Heading, Image, List, TableCell };

struct Node {
  int control = -1;
  Role role = Role::Text;
  std::string name;
  Rect rect;  // window client coordinates: the part of the control that shows
  bool disabled = false;
  bool checked = false;
  int selection = -1;
  std::vector<std::string> items;  // a drop-down's choices; a list's rows in sight
  // Cells, and whatever lies in a table: the control the grid or table lies on (-1 for none), and the row and
  // column in it.
  int grid = -1;
  int row = 0, column = 0;
  bool operator==(const Node&) const = default;
};

// Whether a click on the control does something: a handler of a click or a press, a drop-down, a check box.
bool actsOnClick(const Control& c);

// The form's nodes as it stands. Controls hidden, outside the window or covered at their middle by a later one
// give none; a count drawn over an item's cell becomes part of the cell's name ("+5 芯片，2 个").
std::vector<Node> semantics(const Form& form);

// What a picture of the layout says, for any of its looks ("small_save_hover": 保存); "" for one that says nothing.
std::string_view pictureText(std::string_view asset);

// A window's nodes from one update to the next: only what changed goes to the front end.
struct SemanticChanges {
  std::vector<Node> changed;  // new, or different since the last update
  std::vector<int> removed;   // controls whose node went away
  bool empty() const { return changed.empty() && removed.empty(); }
};
class SemanticTracker {
 public:
  SemanticChanges update(const Form& form);

 private:
  std::vector<Node> last_;  // by control index; control -1 where there was none
};

}  // namespace mox::paint
