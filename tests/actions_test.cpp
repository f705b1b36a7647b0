// Enhancement and synthesis attempts with scripted draws: every outcome row, the use-up and reload of the
// consumables, and the refusals.
#include "app_fixture.h"

using moxtest::Program;

namespace {

auto pass(int threshold) {
  return [threshold](int first, int second) { return first <= threshold && (second < 0 || second <= threshold); };
}
auto failFirst(int threshold) {
  return [threshold](int first, int) { return first > threshold; };
}

std::array<int32_t, 15> stockWith(std::initializer_list<std::pair<int, int32_t>> items) {
  std::array<int32_t, 15> counts{};
  for (auto [code, n] : items) counts[static_cast<size_t>(code - 1)] = n;
  return counts;
}

// Lays a chip of `chip` with one crystal that fits it (big crystals fit every level).
void benchOf(Program& p, int chip, bool protectant) {
  p.withStock(stockWith({{chip, 1}, {3, 1}, {6, protectant ? 1 : 0}}));
  p.start();
  p.place(chip);
  p.place(3);
  if (protectant) p.place(6);
}

}  // namespace

TEST(Enhance, OutcomeTable) {
  struct Row {
    int chip;
    int success, failUnprotected, failProtected;
  };
  const Row rows[] = {
      {1, 7, 1, 1},     {7, 8, 7, 7},     {8, 9, 8, 8},     {9, 10, 9, 9},    {10, 11, 10, 10},
      {11, 12, 10, 11}, {12, 13, 11, 12}, {13, 14, 13, 13}, {14, 15, 13, 14},
  };
  for (const Row& row : rows) {
    for (int outcome = 0; outcome < 3; ++outcome) {
      Program p;
      benchOf(p, row.chip, outcome == 2);
      const int threshold = p.state().enhanceRate / 100;
      if (outcome == 0) {
        p.scriptDraws(pass(threshold), row.chip == 14, threshold);
      } else {
        p.scriptDraws(failFirst(threshold), row.chip == 14, threshold);
      }
      p.sounds();
      p.click("图形按钮1");
      const int expected = outcome == 0 ? row.success : outcome == 1 ? row.failUnprotected : row.failProtected;
      EXPECT_EQ(p.tag("芯片位"), std::to_string(expected)) << "chip " << row.chip << " outcome " << outcome;
      EXPECT_EQ(p.form().get("芯片位").picture, "slot_chip" + std::to_string(expected == 1 ? 0 : expected - 6));
      std::string word = outcome == 0 ? "强化成功" : expected < row.chip ? "升级失败降低" : "升级失败没变";
      EXPECT_EQ(p.banners(), (std::vector<std::string>{word})) << "chip " << row.chip;
      EXPECT_EQ(p.sounds(), (std::vector<std::string>{outcome == 0 ? "sound_success" : "sound_failure"}));
      // The crystal and protectant were used up and counted; the button is enabled again.
      EXPECT_EQ(p.state().usedCount[1], 1);
      EXPECT_EQ(p.state().usedCount[4], outcome == 2 ? 1 : 0);
      EXPECT_EQ(p.tag("晶体位0"), "0");
      EXPECT_TRUE(p.enabled("图形按钮1"));
    }
  }
}

TEST(Enhance, ChipPlus8NeedsTheSecondDrawToo) {
  Program p;
  p.withStock(stockWith({{14, 1}, {3, 4}}));
  p.start();
  p.place(14);
  for (int i = 0; i < 4; ++i) p.place(3);  // 16000: threshold 160
  ASSERT_EQ(p.state().enhanceRate, 16000);
  p.scriptDraws([](int first, int second) { return first <= 160 && second > 160; }, true, 160);
  p.click("图形按钮1");
  EXPECT_EQ(p.tag("芯片位"), "13");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"升级失败降低"}));
}

TEST(Enhance, LabBonusRaisesOnlyTheDrawsThreshold) {
  Program p;
  p.withStock(stockWith({{12, 1}, {3, 1}}));
  p.start();
  p.place(12);
  p.place(3);  // 1125: threshold 11, with the lab bonus trunc(1462.5) / 100 = 14
  p.click("选择框2");
  p.scriptDraws([](int first, int) { return first > 11 && first <= 14; });
  p.click("图形按钮1");
  EXPECT_EQ(p.tag("芯片位"), "13");
  EXPECT_EQ(p.state().enhanceRate, 0);  // refreshed without the bonus (the bench has no crystal now)
}

TEST(Enhance, AFailedUnprotectedPlus6DropsAndUsesUpItsCrystal) {
  Program p;
  p.withStock(stockWith({{12, 1}, {2, 1}}));
  p.start();
  p.place(12);
  p.place(2);
  p.click("选择框1");
  p.click("选择框1");
  ASSERT_EQ(p.state().enhanceRate, 750);  // threshold 7
  p.scriptDraws(failFirst(7));
  p.click("图形按钮1");
  EXPECT_EQ(p.tag("芯片位"), "11");
  EXPECT_EQ(p.tag("晶体位0"), "0");
  EXPECT_EQ(p.state().usedCount[0], 1);
}

TEST(Enhance, Refusals) {
  Program p;
  p.withStock(stockWith({{1, 1}, {15, 1}, {3, 1}}));
  p.start();
  p.click("图形按钮1");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"放入芯片"}));
  p.place(1);
  p.click("图形按钮1");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"放入晶体"}));
  p.click("芯片位");
  p.place(15);
  p.place(3);
  p.click("图形按钮1");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"最高等级"}));
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal", "sound_click", "sound_refusal", "sound_click",
                                                  "sound_click", "sound_click", "sound_refusal"}));
  EXPECT_EQ(p.tag("晶体位0"), "3");
  EXPECT_EQ(p.state().usedCount[1], 0);
}

TEST(Enhance, ReloadsFromTheStockInSlotOrder) {
  Program p;
  p.withStock(stockWith({{1, 1}, {2, 3}, {3, 2}, {5, 1}, {6, 2}}));
  p.start();
  p.place(1);
  p.place(2);
  p.place(3);
  p.place(2);
  p.place(3);
  p.place(5);
  p.place(6);
  // Stock left: one small crystal, no big crystal, no catalyst, one protectant. The rate is far above 100 %.
  p.scriptDraws(pass(p.state().enhanceRate / 100));
  p.click("图形按钮1");
  EXPECT_EQ(p.tag("晶体位0"), "2");
  EXPECT_EQ(p.tag("晶体位1"), "0");
  EXPECT_EQ(p.tag("晶体位2"), "0");  // the second small crystal found the stock empty
  EXPECT_EQ(p.tag("晶体位3"), "0");
  EXPECT_EQ(p.tag("催化位"), "0");
  EXPECT_EQ(p.tag("防护位"), "6");
  EXPECT_EQ(p.count(2), 0);
  EXPECT_EQ(p.count(6), 0);
  EXPECT_EQ(p.state().usedCount, (std::array<int32_t, 5>{2, 2, 0, 1, 1}));
  EXPECT_EQ(p.caption("透明标签6"), "2");
}

TEST(Enhance, NoSmallCrystalIsReloadedBesideAChipOfPlus7) {
  {
    Program p;  // four small crystals behind a chip now at +7: no crystal comes back
    p.withStock(stockWith({{12, 1}, {2, 8}, {5, 2}, {6, 2}}));
    p.start();
    p.place(12);
    for (int i = 0; i < 4; ++i) p.place(2);
    p.place(5);
    p.place(6);
    p.scriptDraws(pass(p.state().enhanceRate / 100));
    p.click("图形按钮1");
    ASSERT_EQ(p.tag("芯片位"), "13");
    for (const char* slot : {"晶体位0", "晶体位1", "晶体位2", "晶体位3"}) EXPECT_EQ(p.tag(slot), "0");
    EXPECT_EQ(p.tag("催化位"), "5");
    EXPECT_EQ(p.tag("防护位"), "6");
    EXPECT_EQ(p.count(2), 4);
  }
  {
    Program p;  // small and big crystals: the big ones come back, the small ones stay in the bag
    p.withStock(stockWith({{12, 1}, {2, 4}, {3, 4}}));
    p.start();
    p.place(12);
    p.place(2);
    p.place(3);
    p.place(2);
    p.place(3);
    p.scriptDraws(pass(p.state().enhanceRate / 100));
    p.click("图形按钮1");
    ASSERT_EQ(p.tag("芯片位"), "13");
    EXPECT_EQ(p.tag("晶体位0"), "0");
    EXPECT_EQ(p.tag("晶体位1"), "3");
    EXPECT_EQ(p.tag("晶体位2"), "0");
    EXPECT_EQ(p.tag("晶体位3"), "3");
    EXPECT_EQ(p.state().enhanceRate, 6000);
  }
}

TEST(Synthesis, SuccessFillsTheResultSlot) {
  struct Case {
    int a, b, result;
  };
  for (Case c : {Case{9, 9, 12}, Case{10, 9, 13}, Case{14, 13, 15}, Case{7, 7, 8}}) {
    Program p;
    p.withStock(c.a == c.b ? stockWith({{c.a, 2}}) : stockWith({{c.a, 1}, {c.b, 1}}));
    p.start();
    p.click("合成显示按钮");
    p.place(c.a);
    p.place(c.b);
    p.scriptDraws(pass(p.state().synthesisRate / 100));
    p.click("图形按钮5");
    EXPECT_EQ(p.tag("合成芯片位"), std::to_string(c.result));
    EXPECT_TRUE(p.shown("合成芯片位"));
    EXPECT_EQ(p.tag("合成芯片位1"), "0");
    EXPECT_EQ(p.tag("合成芯片位2"), "0");
    EXPECT_EQ(p.banners(), (std::vector<std::string>{"合成成功"}));
    // No chip can be laid until the result is taken back.
    p.withStock({});
    p.click("合成芯片位");
    EXPECT_EQ(p.count(c.result), 1);
  }
}

TEST(Synthesis, AnUnprotectedFailureDestroysTheLowerChip) {
  struct Case {
    int first, second;
    const char* emptied;
    const char* kept;
  };
  for (Case c : {Case{10, 12, "合成芯片位1", "合成芯片位2"}, Case{12, 10, "合成芯片位2", "合成芯片位1"},
                 Case{12, 12, "合成芯片位2", "合成芯片位1"}}) {
    Program p;
    p.withStock(c.first == c.second ? stockWith({{c.first, 2}}) : stockWith({{c.first, 1}, {c.second, 1}}));
    p.start();
    p.click("合成显示按钮");
    p.place(c.first);
    p.place(c.second);
    p.scriptDraws(failFirst(p.state().synthesisRate / 100));
    p.sounds();
    p.click("图形按钮5");
    EXPECT_EQ(p.tag(c.emptied), "0");
    EXPECT_NE(p.tag(c.kept), "0");
    EXPECT_EQ(p.banners(), (std::vector<std::string>{"合成失败"}));
    EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_failure"}));
    EXPECT_EQ(p.state().usedCount, (std::array<int32_t, 5>{}));
  }
}

TEST(Synthesis, AProtectedFailureKeepsBothChipsAndReloadsTheProtectant) {
  Program p;
  p.withStock(stockWith({{11, 1}, {12, 1}, {6, 2}}));
  p.start();
  p.click("合成显示按钮");
  p.place(11);
  p.place(12);
  p.place(6);
  p.scriptDraws(failFirst(p.state().synthesisRate / 100));
  p.click("图形按钮5");
  EXPECT_EQ(p.tag("合成芯片位1"), "11");
  EXPECT_EQ(p.tag("合成芯片位2"), "12");
  EXPECT_EQ(p.tag("合成防护位"), "6");
  EXPECT_EQ(p.count(6), 0);
  EXPECT_EQ(p.state().usedCount[4], 1);
  // The next protected failure finds no protectant left to reload.
  p.scriptDraws(failFirst(p.state().synthesisRate / 100));
  p.click("图形按钮5");
  EXPECT_EQ(p.tag("合成防护位"), "0");
  EXPECT_EQ(p.state().usedCount[4], 2);
}

TEST(Synthesis, Refusals) {
  Program p;
  p.withStock(stockWith({{11, 1}, {13, 1}}));
  p.start();
  p.click("合成显示按钮");
  p.place(11);
  p.sounds();
  p.click("图形按钮5");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"必须两枚"}));
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  EXPECT_EQ(p.tag("合成芯片位1"), "11");
  // Two chips with no rate between them: nothing visible happens.
  p.click("合成芯片位1");
  Program q;
  q.withStock(stockWith({{12, 1}, {13, 1}}));
  q.start();
  q.click("合成显示按钮");
  q.place(13);
  q.click("合成芯片位1");
  q.place(12);
  q.place(13);
  ASSERT_EQ(q.tag("合成芯片位2"), "0");  // other band refused
}
