// The layout table itself: names, tags, pictures, handlers and geometry that the logic and the front end rely on.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "assets/assets.h"
#include "runtime/headless_platform.h"
#include "ui/app.h"
#include "ui/layout.h"

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

TEST(Layout, NamesAreUniqueAndParentsComeFirst) {
  std::set<std::string> names;
  for (const ControlRow& row : mainWindowLayout().rows) {
    EXPECT_TRUE(names.insert(row.name).second) << row.name;
    if (*row.parent) {
      EXPECT_TRUE(names.count(row.parent)) << row.name << " before its parent " << row.parent;
    }
  }
  EXPECT_EQ(names.size(), mainWindowLayout().rows.size());
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
  for (const ControlRow& row : mainWindowLayout().rows) {
    for (const char* picture : {row.picture, row.hoverPicture, row.pressedPicture, row.disabledPicture,
                                row.backgroundPicture}) {
      if (!*picture) continue;
      const assets::Asset* asset = assets::find(picture);
      ASSERT_NE(asset, nullptr) << row.name << " names " << picture;
      auto [w, h] = jpegSize(asset->bytes);
      if (picture == row.backgroundPicture) continue;  // tiled
      // Buttons and cells show their picture whole; panels may crop a larger picture.
      if (row.kind == Kind::PictureButton && std::string(row.name) != "q5") {
        EXPECT_EQ(w, row.rect.w - (std::string(picture).rfind("small_", 0) == 0 ? 1 : 0)) << row.name;
        EXPECT_EQ(h, row.rect.h - (std::string(picture).rfind("small_", 0) == 0 ? 1 : 0)) << row.name;
      } else {
        EXPECT_GT(w * h, 0) << row.name;  // panels show their picture from the corner, cropped or not
      }
    }
  }
  EXPECT_NE(assets::find(mainWindowLayout().window.icon), nullptr);
}

TEST(Layout, EveryShownControlFitsTheClientAreaExceptThePictureStore) {
  HeadlessPlatform platform;
  App app(platform);
  const Form& form = app.mainForm();
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
  }
}

TEST(Layout, HandlersAreBoundWhereTheLayoutNamesThem) {
  HeadlessPlatform platform;
  App app(platform);
  for (const HandlerBinding& b : handlerBindings(mainWindowLayout())) {
    EXPECT_TRUE(app.mainForm().get(b.control).handler(b.event)) << b.control << " " << b.handler;
  }
  EXPECT_TRUE(app.mainForm().get("a15").onClick);
  EXPECT_FALSE(app.mainForm().get("a16").onClick);
  EXPECT_EQ(mainWindowLayout().window.title, "MOX 芯片强化模拟器 V1.21 By Ravel 【鸣谢：Lumo / Tarn】");
  EXPECT_TRUE(mainWindowLayout().window.escCloses);
}
