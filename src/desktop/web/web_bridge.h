#pragma once
// What the page and the module tell each other beyond plain numbers and text, named once here: the build writes
// these enums (with paint::Role, paint::Key and paint::Button) into the page's MoxBridge (tools/gen_bridge.py,
// run by src/desktop/web/CMakeLists.txt), so that the page's scripts and the module's runtime read them by name.
#include <string>

#include "ui/paint/semantics.h"

namespace mox::web {

// What moxsim_pointer is told happened.
enum class PointerKind { Move, Down, Up, Leave };

// What a frame did (moxsim_frame's result): the sum of these.
enum class FrameResult {
  Drawn = 1,         // something was drawn
  Drawing = 2,       // damage is left for the next frame
  Waiting = 4,       // a window waits for pictures the page is making
  SemanticsDue = 8,  // the layer of elements is to be told what changed (moxsim_semantics, in a task of its own)
};
constexpr int operator|(int bits, FrameResult r) { return bits | static_cast<int>(r); }

// The fields of a node in what the layer of elements is told (semanticsText), in order: a list's items fill the
// fields from Items on. A removed node is its control and "-".
enum class NodeField {
  Control,
  Role,
  X,
  Y,
  Width,
  Height,
  Disabled,
  Checked,
  Selection,
  Grid,
  Row,
  Column,
  Name,
  Items
};

// What changed for a screen reader, as nodes joined by \x1e, their fields by \x1f.
std::string semanticsText(const paint::SemanticChanges& changes);

}  // namespace mox::web
