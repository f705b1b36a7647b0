// The layout table itself: names, tags, pictures, handlers and geometry that the logic and the front end rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "assets/assets.h"
#include "runtime/headless_platform.h"
#include "ui/app.h"
#include "ui/layout.h"
#include "ui/paint/display_list.h"
#include "ui/placement.h"

using namespace mox;

namespace {
// Width and height of a baseline JPEG from its frame header.
std::pair<int, int> jpegSize(std::span<const unsigned char> b) {
  for (size_t i = 2; i + 9 < b.size();) {
    if (b[i] != 0xFF) return {0, 0};
    const unsigned marker = b[i + 1];
    const size_t length = (b[i + 2] << 8) | b[i + 3];
    if (marker == 0xC0) return {(b[i + 7] << 8) | b[i + 8], (b[i + 5] << 8) | b[i + 6]};
    i += 2 + length;
  }
  return {0, 0};
}
}  // namespace

// The windows whose controls are reached by name.
const WindowLayout* const kWindows[] = {&mainWindowLayout(), &plannerWindowLayout()};

TEST(Layout, NamesAreUniqueAcrossTheWindowsAndParentsComeFirst) {
  std::set<std::string> names;
  size_t rows = 0;
  for (const WindowLayout* w : kWindows) {
    std::set<std::string> own;
    for (const ControlRow& row : w->rows) {
      EXPECT_TRUE(names.insert(row.name).second) << row.name;
      own.insert(row.name);
      if (*row.parent) {
        EXPECT_TRUE(own.count(row.parent)) << row.name << " before its parent " << row.parent;
      }
    }
    rows += w->rows.size();
  }
  EXPECT_EQ(names.size(), rows);
}

TEST(Layout, EveryTagTheLogicLooksUpExistsOnce) {
  std::map<int, int> tags;
  for (const ControlRow& row : mainWindowLayout().rows) {
    if (*row.tag) ++tags[std::stoi(row.tag)];
  }
  std::vector<int> wanted;
  for (int i = 1; i <= 72; ++i) wanted.push_back(i);
  for (int i = 101; i <= 115; ++i) wanted.push_back(i);
  for (int i = 200; i <= 215; ++i) wanted.push_back(i);
  for (int t : wanted) EXPECT_EQ(tags[t], 1) << "tag " << t;
  EXPECT_EQ(tags[0], 11);  // the eleven slots start empty
}

TEST(Layout, EveryPictureIsEmbeddedAtTheSizeOfItsControl) {
  for (const WindowLayout* w : kWindows) {
    for (const ControlRow& row : w->rows) {
      for (const char* picture :
           {row.picture, row.hoverPicture, row.pressedPicture, row.disabledPicture, row.backgroundPicture}) {
        if (!*picture) continue;
        const assets::Asset* asset = assets::find(picture);
        ASSERT_NE(asset, nullptr) << row.name << " names " << picture;
        auto [width, height] = jpegSize(asset->bytes);
        if (picture == row.backgroundPicture) continue;  // tiled
        // Buttons and cells show their picture whole; panels may crop a larger picture.
        const std::string p = picture;
        const int margin = p.rfind("small_", 0) == 0 || p.rfind("wide_", 0) == 0 ? 1 : 0;
        if (row.kind == Kind::PictureButton && std::string(row.name) != "q5") {
          EXPECT_EQ(width, row.rect.w - margin) << row.name;
          EXPECT_EQ(height, row.rect.h - margin) << row.name;
        } else {
          EXPECT_GT(width * height, 0) << row.name;  // panels show their picture from the corner, cropped or not
        }
      }
    }
    EXPECT_NE(assets::find(w->window.icon), nullptr);
  }
  // The recipe table's pictures are set by the logic: each at the size of its 24 px box.
  for (const char* item : {"small_crystal", "big_crystal", "magic_crystal", "catalyst", "protectant"}) {
    const assets::Asset* a = assets::find(std::string("icon_") + item);
    ASSERT_NE(a, nullptr) << item;
    EXPECT_EQ(jpegSize(a->bytes), std::make_pair(24, 24)) << item;
  }
}

TEST(Layout, EveryShownControlFitsTheClientAreaExceptThePictureStore) {
  HeadlessPlatform platform;
  App app(platform);
  for (const Form* f : {&app.mainForm(), &app.plannerForm()}) {
    const Form& form = *f;
    for (int i = 0; i < form.size(); ++i) {
      const Control& c = form.at(i);
      if (c.kind == Kind::Timer) continue;
      int x = c.rect.x, y = c.rect.y;
      for (int p = c.parent; p >= 0; p = form.at(p).parent) {
        x += form.at(p).rect.x;
        y += form.at(p).rect.y;
      }
      const bool store = c.tag.size() == 3 && (c.tag[0] == '1' || c.tag[0] == '2') && c.parent < 0;
      if (store || c.name == "空图片") {
        EXPECT_GE(x, form.window().clientWidth) << c.name;  // never seen, never clicked
        continue;
      }
      EXPECT_LE(x + c.rect.w, form.window().clientWidth) << c.name;
      EXPECT_LE(y + c.rect.h, form.window().clientHeight) << c.name;
      // A child lies within its parent.
      if (c.parent >= 0) {
        EXPECT_LE(c.rect.x + c.rect.w, form.at(c.parent).rect.w) << c.name;
        EXPECT_LE(c.rect.y + c.rect.h, form.at(c.parent).rect.h) << c.name;
      }
    }
  }
}

TEST(Layout, HandlersAreBoundWhereTheLayoutNamesThem) {
  HeadlessPlatform platform;
  App app(platform);
  for (const WindowLayout* w : kWindows) {
    for (const HandlerBinding& b : handlerBindings(*w)) {
      EXPECT_TRUE(app.formOf(b.control)->get(b.control).handler(b.event)) << b.control << " " << b.handler;
    }
  }
  EXPECT_EQ(plannerWindowLayout().window.title, "强化规划");
  EXPECT_TRUE(plannerWindowLayout().window.escCloses);
  EXPECT_TRUE(app.mainForm().get("a15").onClick);
  EXPECT_FALSE(app.mainForm().get("a16").onClick);
  EXPECT_EQ(mainWindowLayout().window.title, "MOX 芯片强化模拟器 V1.21 By Ravel 【鸣谢：Lumo / Tarn】");
  EXPECT_TRUE(mainWindowLayout().window.escCloses);
}

// On a narrow screen each window is shown in parts: every control a player can see lies wholly inside a part that
// is always shown (a help panel's controls inside the panel's own part, shown while it is open), and
// on a phone 390 CSS pixels wide every part of the columns is drawn at 0.85 of its layout size or more (a help
// panel, wider than a column, at 0.75).
TEST(Layout, EveryShownControlLiesInsideOnePartOfTheNarrowPlacement) {
  HeadlessPlatform platform;
  App app(platform);
  for (const Form* f : {&app.mainForm(), &app.plannerForm()}) {
    const Form& form = *f;
    const std::span<const WindowPart> parts = windowParts(form.window().name);
    ASSERT_FALSE(parts.empty()) << form.window().name;
    for (const WindowPart& p : parts) {
      if (!*p.shownWith && p.rect.w < form.window().clientWidth) {
        EXPECT_GE(390.0 / p.rect.w, 0.85) << form.window().name;
      }
    }
    for (int i = 0; i < form.size(); ++i) {
      const Control& c = form.at(i);
      const Rect r = paint::absoluteRect(form, i);
      if (c.kind == Kind::Timer || r.x >= form.window().clientWidth) continue;
      // The panel a control belongs to, if any.
      std::string panel;
      for (int k = i; k >= 0; k = form.at(k).parent) {
        for (const WindowPart& p : parts) {
          if (form.at(k).name == p.shownWith) panel = p.shownWith;
        }
      }
      const bool inside = std::any_of(parts.begin(), parts.end(), [&](const WindowPart& p) {
        return p.shownWith == panel && r.x >= p.rect.x - 2 && r.y >= p.rect.y && r.x + r.w <= p.rect.x + p.rect.w &&
               r.y + r.h <= p.rect.y + p.rect.h;
      });
      EXPECT_TRUE(inside) << c.name << " at " << r.x << "," << r.y << " " << r.w << "x" << r.h;
    }
  }
  // While a help panel is open it is shown alone under the header (the columns under it would show pieces of it);
  // they come back when it closes.
  const std::vector<Rect> closed = shownParts(app.mainForm());
  ASSERT_TRUE(app.click("图形按钮4"));
  const std::vector<Rect> open = shownParts(app.mainForm());
  ASSERT_EQ(open.size(), 2u);
  EXPECT_EQ(open[0], closed[0]);
  EXPECT_EQ(open[1], paint::absoluteRect(app.mainForm(), app.mainForm().indexOf("强化说明")));
  ASSERT_TRUE(app.press("关闭说明2"));
  EXPECT_EQ(shownParts(app.mainForm()), closed);
}
