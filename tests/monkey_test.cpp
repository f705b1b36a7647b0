// Random events on every control, with random ticks and clocks, saves and restarts, checking after each event
// that the benches obey their rules, the rates shown are the rates of the bench, no item appears or vanishes
// unaccounted for, and a restart finds exactly what was last saved. The mix leans on bag clicks, attempts and
// purchases, and some runs start from a save near the count limits, so that full benches, both benches and the
// limits are reached within the suite's short run. MOX_MONKEY_EVENTS=1000000 makes it the long run
// (bench/monkey.sh).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <random>
#include <span>

#include "app_fixture.h"
#include "sim/rates.h"
#include "ui/layout.h"

using moxtest::Program;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
const char* const kSlots[] = {"芯片位", "晶体位0",     "晶体位1",     "晶体位2",    "晶体位3",   "催化位",
                              "防护位", "合成芯片位1", "合成芯片位2", "合成防护位", "合成芯片位"};
const char* const kEnhanceSlots[] = {"芯片位", "晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位"};
const char* const kSynthesisSlots[] = {"合成芯片位1", "合成芯片位2", "合成防护位", "合成芯片位"};
const char* const kLists[] = {"组合框1", "组合框2", "组合框3"};

struct Ledger {
  int64_t bought = 0;     // items bought in the shop
  int64_t usedUp = 0;     // consumables used by attempts (as counted by usedCount, reset aside)
  int64_t destroyed = 0;  // chips lost to unprotected synthesis failures
  int64_t fusedAway = 0;  // chips fused: two in, one out
};

// How deep the runs went: each must be reached for the run to count.
struct Reached {
  int64_t fullEnhanceBench = 0, bothInputs = 0, countAtLimit = 0, saves = 0, restarts = 0, fusions = 0;
};

std::vector<std::string> controlsWith(const std::string& handlerPrefix) {
  std::vector<std::string> names;
  for (const mox::HandlerBinding& b : mox::handlerBindings(mox::mainWindowLayout())) {
    if (b.event != mox::Event::Tick && b.handler.rfind(handlerPrefix, 0) == 0) names.push_back(b.control);
  }
  return names;
}

class Monkey {
 public:
  Monkey(uint32_t seed, bool nearLimits) : rng_(seed), nearLimits_(nearLimits) {
    if (nearLimits) {
      // Counts a few items below the limit, so that items going back and single purchases meet it.
      for (int32_t& c : saved_) c = kMax - static_cast<int32_t>(rng_() % 6);
      p_.withStock(saved_);
    }
    p_.start();
  }

  void run(int events, Ledger& total, Reached& reached) {
    for (int e = 0; e < events; ++e) {
      ASSERT_NO_FATAL_FAILURE(step(e, total, reached));
    }
  }

 private:
  int64_t stockSum() { return std::accumulate(p_.state().itemCount.begin(), p_.state().itemCount.end(), int64_t{0}); }
  int64_t itemsHeld() {
    int64_t n = stockSum();
    for (const char* slot : kSlots) n += p_.tag(slot) != "0";
    return n;
  }
  int inputsHeld() { return (p_.tag("合成芯片位1") != "0") + (p_.tag("合成芯片位2") != "0"); }
  template <typename T>
  const T& pick(const std::vector<T>& v) {
    return v[rng_() % v.size()];
  }

  void step(int e, Ledger& total, Reached& reached) {
    const mox::SimState before = p_.state();
    const int64_t heldBefore = itemsHeld();
    const int inputsBefore = inputsHeld();
    const int64_t stockBefore = stockSum();
    std::string what;
    p_.platform().setTicks(static_cast<uint32_t>(rng_()));
    const int roll = static_cast<int>(rng_() % 100);
    if (roll < 6) {
      what = "top up";
      p_.topUp(static_cast<int>(rng_() % 5));
    } else if (roll < 16) {
      what = pick(buyers_);
      p_.select("组合框2", static_cast<int>(rng_() % 6));
      p_.select("组合框3", nearLimits_ && rng_() % 4 ? 0 : static_cast<int>(rng_() % 4));
      p_.app().click(what);
    } else if (roll < 42) {
      // Mostly the cells that show items; now and then an empty one.
      char cell[8];
      std::snprintf(cell, sizeof cell, "a%02d",
                    rng_() % 8 ? static_cast<int>(rng_() % 15) + 1 : static_cast<int>(rng_() % 36) + 1);
      what = cell;
      p_.app().click(what);
    } else if (roll < 54) {
      what = pick(attempts_);
      p_.app().click(what);
    } else if (roll < 61) {
      what = pick(slots_);
      p_.app().click(what);
    } else if (roll < 67) {
      what = pick(views_);
      p_.app().click(what);
    } else if (roll < 69) {
      what = "save";
      p_.app().click(pick(saves_));
    } else if (roll < 71) {
      what = "restart";
    } else if (roll < 73) {
      // A selection outside the list must not reach the handlers.
      what = "select out of range";
      const char* list = kLists[rng_() % 3];
      const int size = static_cast<int>(p_.form().get(list).items.size());
      const int wild[] = {-1, -2, size, size + 1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
      p_.app().select(list, wild[rng_() % 6]);
    } else if (roll < 78) {
      what = "ticks";
      p_.app().tickTimers(static_cast<int>(rng_() % 40));
    } else {
      what = pick(clickable_);
      if (rng_() % 3 == 0) {
        p_.app().move(what);
      } else {
        p_.app().click(what);
        p_.app().press(what);
      }
    }
    const std::vector<std::string> results = p_.banners();
    p_.sounds();
    const std::string where = "after " + what + " (event " + std::to_string(e) + ")";
    if (results == std::vector<std::string>{"保存成功"}) {
      saved_ = p_.state().itemCount;
      ++reached.saves;
    }

    if (what == "restart") {
      p_.restart();
      ++reached.restarts;
      // A restart finds the stock as last saved; whatever lay on the benches unsaved is gone.
      for (int k = 1; k <= 15; ++k) ASSERT_EQ(p_.count(k), saved_[static_cast<size_t>(k - 1)]) << where;
    } else {
      Ledger step;
      const mox::SimState& after = p_.state();
      // A purchase is the only event that adds to the stock from outside.
      if (std::find(buyers_.begin(), buyers_.end(), what) != buyers_.end()) step.bought = stockSum() - stockBefore;
      for (size_t i = 0; i < 5; ++i) step.usedUp += std::max(0, after.usedCount[i] - before.usedCount[i]);
      if (results == std::vector<std::string>{"合成成功"}) step.fusedAway = 1;
      if (results == std::vector<std::string>{"合成失败"}) step.destroyed = inputsBefore - inputsHeld();
      // Items are conserved: what the stock and the benches hold changes only by what was bought, used up,
      // destroyed or fused away.
      ASSERT_EQ(itemsHeld() - heldBefore, step.bought - step.usedUp - step.destroyed - step.fusedAway) << where;
      total.bought += step.bought;
      total.usedUp += step.usedUp;
      total.destroyed += step.destroyed;
      total.fusedAway += step.fusedAway;
      reached.fusions += step.fusedAway;
    }
    ASSERT_NO_FATAL_FAILURE(checkRules(where, reached));
  }

  void checkRules(const std::string& where, Reached& reached) {
    const mox::SimState& s = p_.state();
    for (int k = 1; k <= 15; ++k) {
      ASSERT_GE(p_.count(k), 0) << where;
      reached.countAtLimit += p_.count(k) == kMax;
    }
    ASSERT_GE(s.qCoinBalance, 0) << where;
    ASSERT_EQ(s.rechargeTotal - s.spendTotal, s.qCoinBalance) << where;
    for (const char* list : kLists) {
      const mox::Control& c = p_.form().get(list);
      ASSERT_TRUE(c.selection >= 0 && c.selection < static_cast<int>(c.items.size())) << list << " " << where;
    }

    // The crystal and band rules hold on the benches.
    bool small = false, magic = false;
    for (const char* slot : {"晶体位0", "晶体位1", "晶体位2", "晶体位3"}) {
      const std::string t = p_.tag(slot);
      small = small || t == "2";
      magic = magic || t == "4";
      ASSERT_TRUE(t == "0" || t == "2" || t == "3" || t == "4") << slot << "=" << t;
    }
    const int chip = std::stoi(p_.tag("芯片位"));
    ASSERT_FALSE(small && magic);
    ASSERT_FALSE(small && chip >= 13) << where;
    ASSERT_FALSE(magic && chip >= 1 && chip < 13) << where;
    const int s1 = std::stoi(p_.tag("合成芯片位1")), s2 = std::stoi(p_.tag("合成芯片位2"));
    // Chips of both bands can meet only by one laid into an empty first slot; such a pair has no rate.
    if (s1 && s2 && (s1 < 13) != (s2 < 13)) {
      ASSERT_EQ(mox::synthesisOutlook(s1, s2, false).rate, 0) << where;
    }
    for (int c : {s1, s2}) ASSERT_TRUE(c == 0 || (c >= 7 && c <= 14));
    // Only the bench in view holds items: nothing lies on a hidden bench.
    const bool synthesis = p_.shown("合成框");
    const std::span<const char* const> hidden =
        synthesis ? std::span<const char* const>(kEnhanceSlots) : kSynthesisSlots;
    for (const char* slot : hidden) ASSERT_EQ(p_.tag(slot), "0") << slot << " " << where;
    int filled = 0;
    for (const char* slot : kEnhanceSlots) {
      ASSERT_EQ(p_.shown(slot), p_.tag(slot) != "0") << slot;
      filled += p_.tag(slot) != "0";
    }
    reached.fullEnhanceBench += filled == 7;
    reached.bothInputs += s1 && s2;

    // The page's serif face holds only the characters of the 宋体 labels (their captions, amounts and counts); its
    // first sans-serif faces only those the main window shows (its first frame waits for no more).
    for (const mox::Control& c : p_.form().controls()) {
      if (c.font.face == "宋体") expectHeld(c.name, c.caption, songti_, "src/ui/songti_chars.txt");
      if (!c.visible) continue;
      expectHeld(c.name, c.caption, main_, "src/ui/main_chars.txt");
      for (const mox::ListItem& item : c.items) expectHeld(c.name, item.text, main_, "src/ui/main_chars.txt");
    }

    // The rates shown are those of the bench.
    std::array<double, 4> crystals{};
    for (int i = 0; i < 4; ++i) crystals[static_cast<size_t>(i)] = std::stoi(p_.tag("晶体位" + std::to_string(i)));
    const bool expert = p_.form().get("选择框1").checked;
    const int32_t rate = mox::enhanceRate(p_.tag("芯片位"), crystals, expert, std::stoi(p_.tag("催化位")));
    if (p_.caption("标签2") != "未知") {
      ASSERT_EQ(s.enhanceRate, rate) << where;
      ASSERT_EQ(p_.caption("标签2"), mox::enhanceRateText(rate));
      ASSERT_EQ(p_.caption("成功率结"), mox::synthesisRateText(s.synthesisRate));
      ASSERT_EQ(s.synthesisRate, mox::synthesisOutlook(s1, s2, expert).rate);
    }
  }

  // Each character of `text` is one of `held`, the list in `file`.
  static void expectHeld(const std::string& name, const std::string& text, const std::string& held, const char* file) {
    for (size_t i = 0, n = 0; i < text.size(); i += n) {
      const auto lead = static_cast<unsigned char>(text[i]);
      n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      const std::string ch = text.substr(i, n);
      ASSERT_TRUE(held.find(ch) != std::string::npos) << name << " shows " << text << ": add " << ch << " to " << file;
    }
  }

  const std::string songti_ = moxtest::readFile(std::string(MOX_SOURCE_DIR) + "/src/ui/songti_chars.txt");
  const std::string main_ = moxtest::readFile(std::string(MOX_SOURCE_DIR) + "/src/ui/main_chars.txt");
  std::mt19937 rng_;
  bool nearLimits_;
  Program p_;
  std::array<int32_t, 15> saved_{};  // the counts the data file holds
  const std::vector<std::string> attempts_ = [] {
    auto a = controlsWith("enhanceAttempt"), s = controlsWith("synthesize");
    a.insert(a.end(), s.begin(), s.end());
    return a;
  }();
  const std::vector<std::string> slots_ = controlsWith("takeBack");
  const std::vector<std::string> views_ = [] {
    auto a = controlsWith("showEnhanceView"), s = controlsWith("showSynthesisView");
    a.insert(a.end(), s.begin(), s.end());
    return a;
  }();
  const std::vector<std::string> saves_ = controlsWith("saveStock");
  const std::vector<std::string> buyers_ = controlsWith("buyGoods");
  const std::vector<std::string> clickable_ = controlsWith("");
};

}  // namespace

TEST(Monkey, RandomEventsKeepEveryRule) {
  const char* wanted = std::getenv("MOX_MONKEY_EVENTS");
  const long events = wanted && *wanted ? std::atol(wanted) : 40000;
  // Runs of a few thousand events each, every other one starting near the count limits.
  constexpr int kRunLength = 5000;
  Ledger total;
  Reached reached;
  for (long done = 0, run = 0; done < events; done += kRunLength, ++run) {
    Monkey monkey(20261207u + static_cast<uint32_t>(run), run % 2 == 1);
    ASSERT_NO_FATAL_FAILURE(monkey.run(static_cast<int>(std::min<long>(kRunLength, events - done)), total, reached));
  }
  std::printf(
      "monkey: %ld events, %lld bought, %lld used up, %lld fused, %lld destroyed, %lld saves, %lld restarts, "
      "%lld full benches, %lld with both inputs, %lld counts at the limit\n",
      events, static_cast<long long>(total.bought), static_cast<long long>(total.usedUp),
      static_cast<long long>(total.fusedAway), static_cast<long long>(total.destroyed),
      static_cast<long long>(reached.saves), static_cast<long long>(reached.restarts),
      static_cast<long long>(reached.fullEnhanceBench), static_cast<long long>(reached.bothInputs),
      static_cast<long long>(reached.countAtLimit));
  // The runs must actually reach the deep states.
  EXPECT_GT(total.bought, 1000);
  EXPECT_GT(total.usedUp, 100);
  EXPECT_GT(total.fusedAway + total.destroyed, 5);
  EXPECT_GT(reached.fullEnhanceBench, 0);
  EXPECT_GT(reached.bothInputs, 0);
  EXPECT_GT(reached.countAtLimit, 0);
  EXPECT_GT(reached.restarts, 10);
}
