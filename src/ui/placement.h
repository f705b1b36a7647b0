#pragma once
// Where a window's parts go on a screen too narrow for the whole window (a phone held upright): each part is a
// rectangle of the window's layout, and the parts are shown one under another, each as wide as the screen. The
// layout, the pictures and the rules stay as they are; a front end only draws each part where it goes and maps
// the pointer back through the same placement.
#include <span>
#include <string_view>
#include <vector>

#include "runtime/form.h"

namespace mox {

struct WindowPart {
  Rect rect;  // layout pixels
  // A panel over the columns: the part comes first, and only while this control shows; the parts it covers are not
  // shown meanwhile.
  const char* shownWith = "";
};

// The parts of a window by its name (WindowInfo::name), in the order they are stacked; none for a window that is
// never shown in parts.
std::span<const WindowPart> windowParts(std::string_view window);

// The parts of the form's window shown now, in order.
std::vector<Rect> shownParts(const Form& form);

}  // namespace mox
