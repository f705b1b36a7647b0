#pragma once
// What the layouts of both windows build their rows from: the faces the layout names, fonts, interned strings and
// the picture buttons.
#include <string>

#include "runtime/palette.h"
#include "ui/layout.h"

namespace mox::layout_rows {

inline const char* const kSongti = "宋体";
inline const char* const kHeiti = "黑体";
inline const char* const kSansSerif = "Microsoft Sans Serif";
inline const char* const kSymbol = "Segoe UI Symbol";

inline Font font(int height, bool bold, const char* face, bool underline = false) {
  return {height, bold, underline, face};
}

// A string kept for as long as the program runs, so that a generated row can point at it.
const char* keep(std::string s);
// A button drawn with the small_<word> pictures, keyed on the page colour.
ControlRow smallButton(const char* name, Rect r, const char* word, const char* onClick);
// The same with the wide_<word> pictures and a caption, inside `parent`.
ControlRow wideButton(const char* name, const char* parent, Rect r, const char* word, const char* caption,
                      const char* onClick);

}  // namespace mox::layout_rows
