// Tens of thousands of random clicks on every clickable control, with random ticks and clocks, checking after
// each event that the benches obey their rules, the rates shown are the rates of the bench, and no item appears
// or vanishes unaccounted for.
#include <numeric>
#include <random>

#include "app_fixture.h"
#include "sim/rates.h"
#include "ui/layout.h"

using moxtest::Program;

namespace {

const char* const kSlots[] = {"芯片位", "晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位",
                              "合成芯片位1", "合成芯片位2", "合成防护位", "合成芯片位"};

struct Ledger {
  int64_t bought = 0;     // items bought in the shop
  int64_t usedUp = 0;     // consumables used by attempts (as counted by usedCount, reset aside)
  int64_t destroyed = 0;  // chips lost to unprotected synthesis failures
  int64_t fusedAway = 0;  // chips fused: two in, one out
};

int64_t itemsHeld(Program& p) {
  int64_t n = 0;
  for (int k = 1; k <= 15; ++k) n += p.count(k);
  for (const char* slot : kSlots) n += p.tag(slot) != "0";
  return n;
}

}  // namespace

TEST(Monkey, RandomClicksKeepEveryRule) {
  Program p;
  p.start();
  std::vector<std::string> clickable;
  for (const mox::HandlerBinding& b : mox::handlerBindings(mox::mainWindowLayout())) {
    if (b.event != mox::Event::Tick) clickable.push_back(b.control);
  }
  std::mt19937 rng(20261207);
  Ledger total;
  auto stockSum = [&] {
    return std::accumulate(p.state().itemCount.begin(), p.state().itemCount.end(), int64_t{0});
  };
  auto inputsHeld = [&] { return (p.tag("合成芯片位1") != "0") + (p.tag("合成芯片位2") != "0"); };
  const int events = 40000;
  for (int e = 0; e < events; ++e) {
    const mox::SimState before = p.state();
    const int64_t heldBefore = itemsHeld(p);
    const int inputsBefore = inputsHeld();
    const int64_t stockBefore = stockSum();
    Ledger step;
    std::string what;
    const int roll = static_cast<int>(rng() % 100);
    if (roll < 8) {
      p.select("组合框1", static_cast<int>(rng() % 5));
      p.click("图形按钮2");
      what = "top up";
    } else if (roll < 20) {
      p.select("组合框2", static_cast<int>(rng() % 6));
      p.select("组合框3", static_cast<int>(rng() % 4));
      what = "图形按钮3";
      p.click(what);
    } else if (roll < 25) {
      p.app().tickTimers(static_cast<int>(rng() % 40));
      what = "ticks";
    } else {
      p.platform().setTicks(static_cast<uint32_t>(rng()));
      what = clickable[rng() % clickable.size()];
      if (rng() % 3 == 0) {
        p.app().move(what);
      } else {
        p.app().click(what);
        p.app().press(what);
      }
    }
    const mox::SimState& after = p.state();
    // A purchase is the only event that adds to the stock from outside.
    if (what == "图形按钮3") step.bought = stockSum() - stockBefore;
    for (size_t i = 0; i < 5; ++i) step.usedUp += std::max(0, after.usedCount[i] - before.usedCount[i]);
    const std::vector<std::string> results = p.banners();
    if (results == std::vector<std::string>{"合成成功"}) step.fusedAway = 1;
    if (results == std::vector<std::string>{"合成失败"}) step.destroyed = inputsBefore - inputsHeld();
    p.sounds();
    // Items are conserved: what the stock and the benches hold changes only by what was bought, used up,
    // destroyed or fused away.
    ASSERT_EQ(itemsHeld(p) - heldBefore, step.bought - step.usedUp - step.destroyed - step.fusedAway)
        << "after " << what << " (event " << e << ")";
    total.bought += step.bought;
    total.usedUp += step.usedUp;
    total.destroyed += step.destroyed;
    total.fusedAway += step.fusedAway;

    // No count is negative.
    for (int k = 1; k <= 15; ++k) ASSERT_GE(p.count(k), 0) << "after " << what;
    ASSERT_GE(after.qCoinBalance, 0);
    ASSERT_EQ(after.rechargeTotal - after.spendTotal, after.qCoinBalance);

    // The crystal and band rules hold on the benches.
    bool small = false, magic = false;
    for (const char* slot : {"晶体位0", "晶体位1", "晶体位2", "晶体位3"}) {
      small = small || p.tag(slot) == "2";
      magic = magic || p.tag(slot) == "4";
      const std::string t = p.tag(slot);
      ASSERT_TRUE(t == "0" || t == "2" || t == "3" || t == "4") << slot << "=" << t;
    }
    const int chip = std::stoi(p.tag("芯片位"));
    ASSERT_FALSE(small && magic);
    ASSERT_FALSE(small && chip >= 13) << "after " << what;
    ASSERT_FALSE(magic && chip >= 1 && chip < 13) << "after " << what;
    const int s1 = std::stoi(p.tag("合成芯片位1")), s2 = std::stoi(p.tag("合成芯片位2"));
    if (s1 && s2) {
      ASSERT_EQ(s1 < 13, s2 < 13);
    }
    for (int s : {s1, s2}) ASSERT_TRUE(s == 0 || (s >= 7 && s <= 14));
    // Only one bench holds items at a time.
    const bool synthesis = p.shown("合成框");
    for (const char* slot : {"芯片位", "晶体位0", "催化位", "防护位"}) {
      if (synthesis) {
        ASSERT_EQ(p.tag(slot), "0");
      }
      ASSERT_EQ(p.shown(slot), p.tag(slot) != "0") << slot;
    }

    // The rates shown are those of the bench.
    std::array<double, 4> crystals{};
    for (int i = 0; i < 4; ++i) crystals[static_cast<size_t>(i)] = std::stoi(p.tag("晶体位" + std::to_string(i)));
    const bool expert = p.form().get("选择框1").checked;
    const int32_t rate = mox::enhanceRate(p.tag("芯片位"), crystals, expert, std::stoi(p.tag("催化位")));
    if (p.caption("标签2") != "未知") {
      ASSERT_EQ(after.enhanceRate, rate) << "after " << what;
      ASSERT_EQ(p.caption("标签2"), mox::enhanceRateText(rate));
      ASSERT_EQ(p.caption("成功率结"), mox::synthesisRateText(after.synthesisRate));
      ASSERT_EQ(after.synthesisRate, mox::synthesisOutlook(s1, s2, expert).rate);
    }
  }
  EXPECT_EQ(total.bought, itemsHeld(p) + total.usedUp + total.destroyed + total.fusedAway);
  // The run must actually reach the interesting paths.
  EXPECT_GT(total.bought, 1000);
  EXPECT_GT(total.usedUp, 100);
  EXPECT_GT(total.fusedAway + total.destroyed, 5);
}
