// The simulation driven through the form, as a user drives it: the account, the bag, the benches, the rates and
// the view switches.
#include "app_fixture.h"
#include "ui/banner.h"

using moxtest::Program;

namespace {
constexpr uint32_t kWhite = 0xFFFFFF, kRed = 0x0000FF, kGreen = 0x00FF00;
enum Goods { kChipGoods, kSmallGoods, kBigGoods, kMagicGoods, kCatalystGoods, kProtectantGoods };
enum Quantity { kOne, kFive, kTen, kThirty };
}  // namespace

TEST(StartUp, DesignCaptionsStayWithoutASaveFile) {
  Program p;
  p.start();
  EXPECT_EQ(p.caption("标签2"), "未知");
  EXPECT_EQ(p.caption("标签4"), "0.0%");
  EXPECT_EQ(p.caption("成功率结"), "0%");
  EXPECT_EQ(p.caption("透明标签6"), "0个");
  EXPECT_EQ(p.caption("标签5"), "0 Q币");
  EXPECT_EQ(p.caption("透明标签2"), "0 元人民币");
  EXPECT_EQ(p.caption("n1"), "");
  EXPECT_EQ(p.caption("n36"), "");
  EXPECT_FALSE(p.enabled("强化显示按钮"));
  EXPECT_TRUE(p.enabled("合成显示按钮"));
  EXPECT_FALSE(p.shown("合成框"));
  EXPECT_EQ(p.form().get("组合框1").items[0].text, "10元");
  EXPECT_EQ(p.form().get("组合框2").items[0].text, "0级芯片（10Q币）");
  EXPECT_EQ(p.form().get("组合框3").items[0].text, "1个");
  // The banner window is already a hidden layered window of banner size holding the first picture.
  const mox::WindowInfo& banner = p.app().bannerForm().window();
  EXPECT_FALSE(banner.visible);
  EXPECT_EQ(banner.layerPicture, "banner_enhance_success");
  EXPECT_EQ(banner.width, 908);
  EXPECT_EQ(banner.height, 121);
  EXPECT_TRUE(p.sounds().empty());
}

TEST(Account, TopUpAndBuy) {
  Program p;
  p.start();
  p.topUp(0);
  EXPECT_EQ(p.caption("标签5"), "10 Q币");
  EXPECT_EQ(p.caption("透明标签2"), "10 元人民币");
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_purchase"}));

  p.buy(kSmallGoods, kFive);  // 12.5 Q币 is more than the balance
  EXPECT_EQ(p.count(2), 0);
  EXPECT_EQ(p.caption("标签5"), "10 Q币");
  EXPECT_EQ(p.state().qCoinBalance, 100);
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"余额不足"}));
}

TEST(Account, PricesAndExactBalances) {
  Program p;
  p.start();
  p.topUp(1);  // 50元
  p.buy(kSmallGoods, kFive);
  EXPECT_EQ(p.count(2), 5);
  EXPECT_EQ(p.caption("标签5"), "37.5 Q币");
  EXPECT_EQ(p.caption("透明标签4"), "12.5 元人民币");
  p.buy(kProtectantGoods, kOne);  // 50 Q币: refused, 37.5 left
  EXPECT_EQ(p.count(6), 0);
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"余额不足"}));
  p.topUp(0);
  p.buy(kChipGoods, kOne);
  EXPECT_EQ(p.count(1), 1);
  EXPECT_EQ(p.caption("标签5"), "37.5 Q币");
  EXPECT_EQ(p.caption("透明标签2"), "60 元人民币");
  EXPECT_EQ(p.caption("透明标签4"), "22.5 元人民币");
}

TEST(Account, ABalanceOfExactlyTheCostBuys) {
  Program p;
  p.start();
  p.topUp(0);
  p.buy(kChipGoods, kOne);
  EXPECT_EQ(p.count(1), 1);
  EXPECT_EQ(p.caption("标签5"), "0 Q币");
  EXPECT_EQ(p.caption("透明标签4"), "10 元人民币");
}

TEST(Account, ThirtyProtectantsNeedFifteenHundredQCoins) {
  Program p;
  p.start();
  p.topUp(4);  // 1000
  p.topUp(3);  // 500
  p.select("组合框2", kSmallGoods);
  p.select("组合框3", kOne);
  p.click("图形按钮3");  // 2.5 spent: 1497.5 left
  p.topUp(0);            // 1507.5
  p.buy(kProtectantGoods, kThirty);
  EXPECT_EQ(p.count(6), 30);
  EXPECT_EQ(p.caption("标签5"), "7.5 Q币");

  Program q;
  q.start();
  q.topUp(4);
  q.topUp(3);
  q.buy(kSmallGoods, kOne);
  q.buy(kSmallGoods, kOne);  // 1495 left
  q.topUp(0);                // 1505
  q.buy(kSmallGoods, kOne);
  q.buy(kSmallGoods, kOne);
  q.buy(kSmallGoods, kOne);  // 1497.5
  q.sounds();
  q.buy(kProtectantGoods, kThirty);
  EXPECT_EQ(q.count(6), 0);
  EXPECT_EQ(q.caption("标签5"), "1497.5 Q币");
  EXPECT_EQ(q.sounds(), (std::vector<std::string>{"sound_refusal"}));
}

TEST(Account, TopUpsStopAtTheThirtyTwoBitLimit) {
  Program p;
  p.start();
  p.select("组合框1", 4);
  for (int i = 0; i < 214748; ++i) p.app().sim().topUp();
  EXPECT_EQ(p.state().rechargeTotal, 2147480000);
  p.sounds();
  p.click("图形按钮2");  // 2147490000 would pass the limit
  EXPECT_EQ(p.state().rechargeTotal, 2147480000);
  EXPECT_EQ(p.state().qCoinBalance, 2147480000);
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  p.topUp(2);  // 100元 still fits exactly below the limit
  EXPECT_EQ(p.state().rechargeTotal, 2147481000);
  EXPECT_EQ(p.caption("标签5"), "214748100 Q币");
}

TEST(Bag, PacksChipsFirstThenConsumables) {
  Program p;
  std::array<int32_t, 15> counts{};
  for (int k = 0; k < 15; ++k) counts[static_cast<size_t>(k)] = k + 1;
  p.withStock(counts);
  p.start();
  const int order[15] = {1, 7, 8, 9, 10, 11, 12, 13, 14, 15, 2, 3, 4, 5, 6};
  for (int n = 1; n <= 15; ++n) {
    EXPECT_EQ(p.state().cellItem[static_cast<size_t>(n - 1)], order[n - 1]);
    EXPECT_EQ(p.caption("n" + std::to_string(n)), std::to_string(order[n - 1]));
  }
  EXPECT_EQ(p.form().get("a01").picture, "bag_chip0");
  EXPECT_EQ(p.form().get("a11").picture, "bag_small_crystal");
  EXPECT_EQ(p.form().get("a16").picture, "cell_empty");
  EXPECT_EQ(p.caption("n16"), "");
}

TEST(Bag, AnEmptiedKindLeavesNoGap) {
  Program p;
  p.withStock({1, 0, 3, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.click("a01");  // the only chip +0 goes to the bench
  EXPECT_EQ(p.tag("芯片位"), "1");
  EXPECT_EQ(p.state().cellItem[0], 7);
  EXPECT_EQ(p.state().cellItem[1], 3);
  EXPECT_EQ(p.state().cellItem[2], 0);
  EXPECT_EQ(p.form().get("a03").picture, "cell_empty");
  EXPECT_EQ(p.caption("n3"), "");
}

TEST(Rates, LevelZeroChipWithSmallCrystalAndBonuses) {
  Program p;
  p.withStock({1, 4, 4, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  p.start();
  EXPECT_EQ(p.caption("标签2"), "0.0%");
  EXPECT_EQ(p.colour("标签2"), kWhite);
  EXPECT_TRUE(p.enabled("图形按钮1"));
  p.place(1);
  p.place(2);
  EXPECT_EQ(p.state().enhanceRate, 25000);
  EXPECT_EQ(p.caption("标签2"), "25%");
  EXPECT_EQ(p.colour("标签2"), kWhite);
  p.click("选择框1");
  EXPECT_TRUE(p.shown("标签3"));
  EXPECT_TRUE(p.shown("标签4"));
  EXPECT_EQ(p.caption("标签4"), "30%");
  p.place(5);
  EXPECT_EQ(p.state().enhanceRate, 37500);
  EXPECT_EQ(p.caption("标签4"), "37.5%");
  p.click("选择框1");
  EXPECT_FALSE(p.shown("标签3"));
  EXPECT_EQ(p.caption("标签2"), "31.3%");
  // The lab bonus is not part of the rate shown.
  p.click("选择框2");
  EXPECT_EQ(p.state().enhanceRate, 31250);
}

TEST(Rates, BigCrystalsAndUncappedRates) {
  Program p;
  p.withStock({1, 0, 4, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
  p.start();
  p.place(1);
  p.place(3);
  p.place(3);
  EXPECT_EQ(p.caption("标签2"), "100%");
  EXPECT_EQ(p.colour("标签2"), kGreen);
  p.place(3);
  p.place(3);
  EXPECT_EQ(p.state().enhanceRate, 200000);
  EXPECT_EQ(p.caption("标签2"), "100%");
  p.click("选择框1");
  p.place(5);
  EXPECT_EQ(p.state().enhanceRate, 300000);
}

TEST(Rates, HigherLevelsAndTheirColours) {
  {
    Program p;  // chip +4 with a big crystal and a catalyst
    p.withStock({0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
    p.start();
    p.place(10);
    p.place(3);
    p.place(5);
    EXPECT_EQ(p.state().enhanceRate, 2812);
    EXPECT_EQ(p.caption("标签2"), "2.8%");
    EXPECT_EQ(p.colour("标签2"), kRed);
  }
  {
    Program p;  // chip +6 with a small crystal and both bonuses
    p.withStock({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    p.start();
    p.place(12);
    p.place(2);
    p.place(5);
    p.click("选择框1");
    EXPECT_EQ(p.state().enhanceRate, 1125);
    EXPECT_EQ(p.caption("标签4"), "1.1%");
    EXPECT_EQ(p.colour("标签4"), kRed);
  }
  {
    Program p;  // chip +8 with a magic and a big crystal
    p.withStock({0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0});
    p.start();
    p.place(14);
    p.place(4);
    p.place(3);
    EXPECT_EQ(p.state().enhanceRate, 7000);
    EXPECT_EQ(p.caption("标签2"), "7%");
    EXPECT_EQ(p.colour("标签2"), kWhite);
  }
  {
    Program p;  // chip +9 never has a rate
    p.withStock({0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    p.start();
    p.place(15);
    p.place(3);
    EXPECT_EQ(p.state().enhanceRate, 0);
    EXPECT_EQ(p.caption("标签2"), "0.0%");
  }
}

TEST(Placement, CrystalBandRulesRefuseSilently) {
  Program p;
  p.withStock({0, 2, 5, 2, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0});
  p.start();
  p.place(2);  // small crystal, chip slot empty
  p.sounds();
  p.place(13);  // chip +7 beside a small crystal: refused
  EXPECT_EQ(p.tag("芯片位"), "0");
  p.place(4);  // magic crystal beside a small one: refused
  EXPECT_EQ(p.tag("晶体位1"), "0");
  EXPECT_TRUE(p.sounds().empty());
  p.click("晶体位0");  // back to the stock
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_click"}));
  p.place(12);  // chip +6
  p.place(4);   // magic beside a lower-band chip: refused
  EXPECT_EQ(p.tag("晶体位0"), "0");
  p.click("芯片位");
  p.place(4);  // with the chip slot empty the magic crystal goes in
  EXPECT_EQ(p.tag("晶体位0"), "4");
  p.place(12);  // and now a lower-band chip is refused
  EXPECT_EQ(p.tag("芯片位"), "0");
  EXPECT_EQ(p.count(12), 1);
}

TEST(Placement, CrystalsFillTheFirstFreeSlotAndAFifthStaysInTheBag) {
  Program p;
  p.withStock({0, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.place(3);
  p.place(3);
  p.place(3);
  p.click("晶体位1");
  p.place(3);
  EXPECT_EQ(p.tag("晶体位1"), "3");
  p.place(3);
  EXPECT_EQ(p.tag("晶体位3"), "3");
  p.sounds();
  p.place(3);
  EXPECT_EQ(p.count(3), 2);
  EXPECT_TRUE(p.sounds().empty());
  EXPECT_TRUE(p.shown("晶体位2"));
  EXPECT_EQ(p.form().get("晶体位2").picture, "slot_big_crystal");
}

TEST(Placement, SlotsTakeBackExactlyOneItem) {
  Program p;
  p.withStock({0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.click("防护位");  // empty: nothing
  EXPECT_TRUE(p.sounds().empty());
  p.place(6);
  p.place(6);  // the protectant slot is full
  EXPECT_EQ(p.count(6), 1);
  p.place(5);
  EXPECT_EQ(p.tag("催化位"), "5");
  p.click("催化位");
  EXPECT_EQ(p.count(5), 1);
  EXPECT_FALSE(p.shown("催化位"));
  EXPECT_EQ(p.form().get("催化位").picture, "");
  EXPECT_EQ(p.tag("催化位"), "0");
}

TEST(Placement, SynthesisBenchTakesChipsAndProtectantsOnly) {
  Program p;
  p.withStock({1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0});
  p.start();
  p.click("合成显示按钮");
  p.sounds();
  p.place(1);  // chip +0 never enters the synthesis bench
  p.place(2);
  p.place(5);
  EXPECT_TRUE(p.sounds().empty());
  p.place(6);
  EXPECT_EQ(p.tag("合成防护位"), "6");
  p.place(12);
  EXPECT_EQ(p.tag("合成芯片位1"), "12");
  p.sounds();
  p.place(13);  // the other band: refused with a sound, nothing moves
  EXPECT_EQ(p.tag("合成芯片位2"), "0");
  EXPECT_EQ(p.count(13), 1);
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  p.place(7);
  EXPECT_EQ(p.tag("合成芯片位2"), "7");
  EXPECT_EQ(p.state().synthesisRate, 1000);
}

TEST(Placement, AnEmptyFirstInputSlotTakesAnyBand) {
  Program p;
  p.withStock({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0, 0});
  p.start();
  p.click("合成显示按钮");
  p.place(11);
  p.place(12);
  p.click("合成芯片位1");  // slot 1 empty, slot 2 holds 12
  p.place(13);
  EXPECT_EQ(p.tag("合成芯片位1"), "13");
  EXPECT_EQ(p.tag("合成芯片位2"), "12");
}

TEST(Rates, SynthesisPairs) {
  struct Case {
    int a, b;
    int32_t rate;
    const char* text;
    const char* label;
    int level;
    uint32_t colour;
  };
  const Case cases[] = {
      {7, 7, 100000, "100%", "+2", 2, kGreen}, {12, 12, 92000, "92%", "+7", 7, kGreen},
      {9, 10, 1000, "1%", "+7", 7, kRed},      {13, 13, 5000, "5%", "+9", 9, kWhite},
      {13, 14, 8000, "8%", "+9", 9, kWhite},   {8, 9, 3000, "3%", "+5", 5, kRed},
  };
  for (const Case& c : cases) {
    Program p;
    std::array<int32_t, 15> counts{};
    counts[static_cast<size_t>(c.a - 1)] += 1;
    counts[static_cast<size_t>(c.b - 1)] += 1;
    p.withStock(counts);
    p.start();
    p.click("合成显示按钮");
    p.place(c.a);
    p.place(c.b);
    EXPECT_EQ(p.state().synthesisRate, c.rate) << c.a << "+" << c.b;
    EXPECT_EQ(p.caption("成功率结"), c.text);
    EXPECT_EQ(p.caption("成功率结1"), c.text);
    EXPECT_EQ(p.colour("成功率结"), c.colour);
    EXPECT_EQ(p.caption("合成总合标签"), c.label);
    EXPECT_EQ(p.state().synthesisLevel, c.level);
  }
  Program p;
  p.withStock({0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.click("合成显示按钮");
  p.place(8);
  p.place(8);
  p.click("选择框1");
  EXPECT_EQ(p.state().synthesisRate, 34800);
  EXPECT_EQ(p.caption("成功率结1"), "35%");
  EXPECT_TRUE(p.shown("成功率标1"));
}

TEST(Views, SwitchingReturnsTheBenchToTheBag) {
  Program p;
  p.withStock({1, 2, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.place(1);
  p.place(2);
  p.place(2);
  p.place(5);
  p.place(6);
  EXPECT_EQ(p.count(2), 0);
  p.sounds();
  p.click("合成显示按钮");
  EXPECT_EQ(p.count(1), 1);
  EXPECT_EQ(p.count(2), 2);
  EXPECT_EQ(p.count(5), 1);
  EXPECT_EQ(p.count(6), 1);
  for (const char* slot : {"芯片位", "晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位"}) {
    EXPECT_EQ(p.tag(slot), "0") << slot;
    EXPECT_FALSE(p.shown(slot)) << slot;
  }
  EXPECT_TRUE(p.sounds().empty());
  EXPECT_TRUE(p.shown("合成框"));
  EXPECT_TRUE(p.enabled("强化显示按钮"));
  EXPECT_FALSE(p.enabled("合成显示按钮"));
  p.click("合成显示按钮");  // the active view's button is disabled
  p.place(6);
  p.click("强化显示按钮");
  EXPECT_EQ(p.count(6), 1);
  EXPECT_FALSE(p.shown("合成框"));
  EXPECT_FALSE(p.enabled("强化显示按钮"));
}

TEST(Views, HelpPanelsAndStatistics) {
  Program p;
  p.start();
  EXPECT_FALSE(p.shown("关闭合成说明1"));
  p.press("关闭合成说明1");  // unreachable while its panel is hidden
  p.click("图形按钮4");
  EXPECT_TRUE(p.shown("强化说明"));
  EXPECT_TRUE(p.shown("关闭说明2"));
  p.click("合成显示按钮");
  EXPECT_TRUE(p.shown("强化说明"));  // stays open across the switch
  p.click("图形按钮6");
  EXPECT_TRUE(p.shown("强化说明1"));
  EXPECT_TRUE(p.shown("关闭合成说明1"));
  p.press("关闭合成说明2");
  EXPECT_FALSE(p.shown("强化说明1"));
  p.press("关闭说明1");
  EXPECT_FALSE(p.shown("强化说明"));
  EXPECT_FALSE(p.shown("关闭说明2"));
  p.press("透明标签15");
  EXPECT_EQ(p.caption("透明标签6"), "0");
}

TEST(Banner, SlidesInOnTheSeventhTickAndHidesOnThe129th) {
  Program p;
  p.start();
  p.app().mainWindowMoved(100, 50);
  const mox::WindowInfo& banner = p.app().bannerForm().window();
  EXPECT_EQ(banner.top, 50 + 280);
  p.buy(0, 0);  // refused: the "余额不足" banner starts
  EXPECT_EQ(banner.layerPicture, "banner_low_balance");
  EXPECT_EQ(banner.top, 50 + 310);
  EXPECT_EQ(p.form().get("时钟1").interval, 10);
  for (int tick = 1; tick <= 6; ++tick) {
    p.app().tickTimers();
    EXPECT_FALSE(banner.visible) << tick;
    EXPECT_EQ(banner.top, 50 + 310 - tick);
  }
  p.app().tickTimers();
  EXPECT_TRUE(banner.visible);
  EXPECT_EQ(banner.top, 50 + 303);
  p.app().tickTimers(23);  // tick 30
  EXPECT_EQ(banner.top, 50 + 280);
  p.app().mainWindowMoved(200, 60);  // moving the window while it rests
  EXPECT_EQ(banner.left, 200);
  EXPECT_EQ(banner.top, 60 + 280);
  p.app().tickTimers(98);  // tick 128
  EXPECT_TRUE(banner.visible);
  p.app().tickTimers();
  EXPECT_FALSE(banner.visible);
  EXPECT_EQ(p.form().get("时钟1").interval, 0);
  EXPECT_EQ(banner.top, 60 + 310);
}

TEST(Banner, ASecondResultRestartsTheSlide) {
  Program p;
  p.start();
  p.click("图形按钮1");  // no chip
  p.app().tickTimers(20);
  EXPECT_TRUE(p.app().bannerForm().window().visible);
  p.click("图形按钮1");
  EXPECT_FALSE(p.app().bannerForm().window().visible);
  EXPECT_EQ(p.app().bannerAnimation().offset(), mox::BannerAnimation::kStartOffset);
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"放入芯片", "放入芯片"}));
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal", "sound_refusal"}));
}
