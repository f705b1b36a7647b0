// The form of controls: lookups, visibility through parents, timers and one-at-a-time dispatch.
#include <gtest/gtest.h>

#include "runtime/fatal.h"
#include "runtime/form.h"
#include "runtime/headless_platform.h"

using namespace mox;

struct FormTest : ::testing::Test {
  HeadlessPlatform platform;
  Form form;
  void SetUp() override {
    setFatalHandler([this](const std::string& m) { platform.fatal(m); });
    form.add({.name = "panel", .visible = false});
    form.add({.name = "button", .kind = Kind::PictureButton, .parent = 0, .tag = "12"});
    form.add({.name = "other", .kind = Kind::PictureButton, .tag = "+12"});
    form.add({.name = "list", .kind = Kind::DropDown, .items = {{"a", 10}, {"b", 20}}, .selection = 0});
    form.add({.name = "timer", .kind = Kind::Timer});
    form.add({.name = "box", .kind = Kind::CheckBox});
  }
  void TearDown() override { setFatalHandler(nullptr); }
};

TEST_F(FormTest, TagLookupTakesTheFirstInCreationOrder) {
  EXPECT_EQ(form.findControlByTag(12), 1);
  form.setTag("button", "x");
  EXPECT_EQ(form.findControlByTag(12), 2);
  EXPECT_THROW(form.findControlByTag(99), FatalExit);
  EXPECT_NE(platform.boxes().back().find("未找到指定标记的组件"), std::string::npos);
  EXPECT_THROW(form.get("nothing"), FatalExit);
}

TEST_F(FormTest, AHiddenParentHidesAndBlocksItsChildren) {
  int button = form.indexOf("button");
  EXPECT_FALSE(form.shown(button));
  EXPECT_FALSE(form.reachable(button));
  form.setVisible("panel", true);
  EXPECT_TRUE(form.reachable(button));
  form.setDisabled("panel", true);
  EXPECT_TRUE(form.shown(button));
  EXPECT_FALSE(form.reachable(button));
}

TEST_F(FormTest, ComboItemData) {
  EXPECT_EQ(form.comboItemData("list", 1), 20);
  EXPECT_EQ(form.comboItemData("list", 2), -1);
  EXPECT_EQ(form.comboItemData("list", -1), -1);
}

TEST_F(FormTest, TheSelectedTextIsTheChosenItemsOrNothing) {
  EXPECT_EQ(form.get("list").selectedText(), "a");
  form.setSelection("list", 1);
  EXPECT_EQ(form.get("list").selectedText(), "b");
  form.setItems(form.indexOf("list"), {{"c", 30}});  // the chosen item is gone
  EXPECT_EQ(form.get("list").selectedText(), "");
  form.setSelection("list", 0);
  EXPECT_EQ(form.get("list").selectedText(), "c");
}

TEST_F(FormTest, TimerIntervalWriteRule) {
  int timer = form.indexOf("timer");
  form.setInterval(timer, 10);
  EXPECT_EQ(form.at(timer).interval, 10);
  uint64_t generation = form.timerGeneration(timer);
  form.setInterval(timer, 10);  // the same value changes nothing, not even a restart
  EXPECT_EQ(form.timerGeneration(timer), generation);
  form.setInterval(timer, -5);
  EXPECT_EQ(form.at(timer).interval, 0);
  EXPECT_GT(form.timerGeneration(timer), generation);
}

TEST_F(FormTest, OneHandlerAtATime) {
  std::vector<std::string> order;
  form.setHandler("button", Event::Click, [&] {
    order.push_back("button begins");
    form.dispatch("other", Event::Click);
    order.push_back("button ends");
  });
  form.setHandler("other", Event::Click, [&] { order.push_back("other"); });
  form.dispatch("button", Event::Click);
  EXPECT_EQ(order, (std::vector<std::string>{"button begins", "button ends", "other"}));
}

TEST_F(FormTest, ACheckBoxIsTickedBeforeItsHandlerRuns) {
  bool seen = false;
  form.setHandler("box", Event::Click, [&] { seen = form.get("box").checked; });
  form.dispatch("box", Event::Click);
  EXPECT_TRUE(seen);
  form.dispatch("box", Event::Click);
  EXPECT_FALSE(seen);
}

TEST_F(FormTest, AHandlerThatEndsTheProgramLeavesDispatchUsable) {
  form.setHandler("button", Event::Click, [] { fatalError("boom"); });
  EXPECT_THROW(form.dispatch("button", Event::Click), FatalExit);
  int runs = 0;
  form.setHandler("other", Event::Click, [&] { ++runs; });
  form.dispatch("other", Event::Click);
  EXPECT_EQ(runs, 1);
}

TEST_F(FormTest, ChangesAreMarkedForRedrawing) {
  form.takeDirty();
  form.setCaption("button", "x");
  form.setTag("other", "3");  // a tag is not drawn
  EXPECT_EQ(form.takeDirty(), (std::vector<int>{1}));
  EXPECT_TRUE(form.takeDirty().empty());
}
