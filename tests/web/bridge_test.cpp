// What the page's layer of elements is told about a window's nodes (web_bridge.h), and the page's constants the
// build writes from the same enums (moxsim-bridge.js): the page reads each field where the program puts it.
// Built into the web build's tests under Node (moxwasmtests), beside the page's own tests here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/web/web_bridge.h"
#include "ui/paint/input.h"

namespace mox::web {
namespace {

std::vector<std::string> split(const std::string& text, char by) {
  std::vector<std::string> out(1);
  for (char c : text) {
    if (c == by)
      out.emplace_back();
    else
      out.back() += c;
  }
  return out;
}

std::string field(const std::vector<std::string>& fields, NodeField f) { return fields.at(static_cast<size_t>(f)); }

TEST(WebBridge, NodesCarryEachFieldAtItsPlaceAndRemovedOnesTheirMark) {
  paint::SemanticChanges changes;
  paint::Node list{.control = 7,
                   .role = paint::Role::List,
                   .name = "记录",
                   .rect = {10, 20, 300, 40},
                   .disabled = true,
                   .selection = 2,
                   .items = {"第一行", "第二行"}};
  paint::Node cell{.control = 9,
                   .role = paint::Role::Cell,
                   .name = "+5 芯片",
                   .rect = {1, 2, 3, 4},
                   .checked = true,
                   .grid = 4,
                   .row = 1,
                   .column = 3};
  changes.changed = {list, cell};
  changes.removed = {12};
  const std::vector<std::string> nodes = split(semanticsText(changes), '\x1e');
  ASSERT_EQ(nodes.size(), 3u);

  const std::vector<std::string> l = split(nodes[0], '\x1f');
  EXPECT_EQ(field(l, NodeField::Control), "7");
  EXPECT_EQ(field(l, NodeField::Role), std::to_string(static_cast<int>(paint::Role::List)));
  EXPECT_EQ(field(l, NodeField::X) + " " + field(l, NodeField::Y) + " " + field(l, NodeField::Width) + " " +
                field(l, NodeField::Height),
            "10 20 300 40");
  EXPECT_EQ(field(l, NodeField::Disabled) + field(l, NodeField::Checked), "10");
  EXPECT_EQ(field(l, NodeField::Selection), "2");
  EXPECT_EQ(field(l, NodeField::Name), "记录");
  EXPECT_EQ(std::vector<std::string>(l.begin() + static_cast<int>(NodeField::Items), l.end()),
            (std::vector<std::string>{"第一行", "第二行"}));

  const std::vector<std::string> c = split(nodes[1], '\x1f');
  EXPECT_EQ(field(c, NodeField::Checked), "1");
  EXPECT_EQ(field(c, NodeField::Grid) + " " + field(c, NodeField::Row) + " " + field(c, NodeField::Column), "4 1 3");
  EXPECT_EQ(field(c, NodeField::Name), "+5 芯片");
  EXPECT_EQ(c.size(), static_cast<size_t>(NodeField::Items));  // no items

  const std::vector<std::string> removed = split(nodes[2], '\x1f');
  EXPECT_EQ(field(removed, NodeField::Control), "12");
  EXPECT_EQ(field(removed, NodeField::Role), "-");
}

// The script the page and the module load names the values the program was compiled with.
TEST(WebBridge, ThePagesConstantsAreTheProgramsEnums) {
  std::ifstream in(std::string(MOX_BINARY_DIR) + "/web/moxsim-bridge.js");
  ASSERT_TRUE(in) << "moxsim-bridge.js is written by the web build";
  std::stringstream text;
  text << in.rdbuf();
  const std::string s = text.str();
  const auto names = [&s](const std::string& enumName, const std::string& name, auto value) {
    const size_t at = s.find("  " + enumName + ": Object.freeze({");
    const size_t end = s.find('\n', at);
    const std::string entry = name + ": " + std::to_string(static_cast<int>(value));
    return at != std::string::npos && s.substr(at, end - at).find(entry) != std::string::npos;
  };
  EXPECT_TRUE(names("Role", "CheckBox", paint::Role::CheckBox));
  EXPECT_TRUE(names("Role", "List", paint::Role::List));
  EXPECT_TRUE(names("Key", "Escape", paint::Key::Escape));
  EXPECT_TRUE(names("Button", "Right", paint::Button::Right));
  EXPECT_TRUE(names("PointerKind", "Leave", PointerKind::Leave));
  EXPECT_TRUE(names("FrameResult", "SemanticsDue", FrameResult::SemanticsDue));
  EXPECT_TRUE(names("NodeField", "Name", NodeField::Name));
  EXPECT_TRUE(names("NodeField", "Items", NodeField::Items));
}

}  // namespace
}  // namespace mox::web
