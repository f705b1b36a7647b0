#include "desktop/web/web_bridge.h"

#include <array>
#include <cstddef>

namespace mox::web {

static_assert(static_cast<int>(NodeField::Items) == static_cast<int>(NodeField::Name) + 1,
              "a list's items follow the name");
static_assert(static_cast<int>(NodeField::Role) == 1, "a removed node's mark takes the role's place");

std::string semanticsText(const paint::SemanticChanges& changes) {
  std::string out;
  for (const paint::Node& n : changes.changed) {
    if (!out.empty()) out += '\x1e';
    // The numbers, each at its field's place.
    std::array<int, static_cast<size_t>(NodeField::Name)> numbers{};
    const auto put = [&numbers](NodeField field, int value) { numbers[static_cast<size_t>(field)] = value; };
    put(NodeField::Control, n.control);
    put(NodeField::Role, static_cast<int>(n.role));
    put(NodeField::X, n.rect.x);
    put(NodeField::Y, n.rect.y);
    put(NodeField::Width, n.rect.w);
    put(NodeField::Height, n.rect.h);
    put(NodeField::Disabled, n.disabled);
    put(NodeField::Checked, n.checked);
    put(NodeField::Selection, n.selection);
    put(NodeField::Grid, n.grid);
    put(NodeField::Row, n.row);
    put(NodeField::Column, n.column);
    for (int v : numbers) out += std::to_string(v) + '\x1f';
    out += n.name;
    for (const std::string& item : n.items) out += '\x1f' + item;
  }
  for (int control : changes.removed) {
    if (!out.empty()) out += '\x1e';
    out += std::to_string(control) + "\x1f-";
  }
  return out;
}

}  // namespace mox::web
