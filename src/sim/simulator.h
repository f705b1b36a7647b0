#pragma once
// The simulation: the stock, the two benches (held in the slot controls' tags), the pretend account and the
// consumption counters, and every handler that changes them. Each changing handler ends with refreshAll, the one
// routine that rewrites what the form shows of the state.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/files.h"
#include "runtime/form.h"
#include "runtime/platform.h"
#include "runtime/random.h"
#include "sim/items.h"

namespace mox {

struct SlotTest;

// Sounds by role, named as their embedded assets.
inline constexpr std::string_view kClickSound = "sound_click";
inline constexpr std::string_view kRefusalSound = "sound_refusal";
inline constexpr std::string_view kPurchaseSound = "sound_purchase";
inline constexpr std::string_view kSuccessSound = "sound_success";
inline constexpr std::string_view kFailureSound = "sound_failure";

// A short name of an item code for records ("大晶体", "+5芯片"); "" for a code that is no item.
std::string itemName(int32_t code);

// The banner picture of a status word, or "" for a word that is not one of the eleven.
std::string bannerPictureFor(std::string_view statusWord);

struct SimState {
  std::array<int32_t, 15> itemCount{};  // stock per item code (index code - 1)
  std::array<int32_t, 15> cellItem{};   // item code shown in inventory cell n (index n - 1), 0 = empty
  std::array<int, 36> cellButton{};     // form indices of a01..a36
  std::array<int, 36> cellLabel{};      // form indices of n1..n36
  std::array<int, 15> stockPicture{};   // form indices of the bag-size pictures per item code
  std::array<int, 15> slotPicture{};    // form indices of the slot-size pictures per item code
  int32_t qCoinBalance = 0;             // tenths of a Q币
  int32_t rechargeTotal = 0;            // tenths of a yuan
  int32_t spendTotal = 0;               // tenths of a yuan
  std::array<int32_t, 5> usedCount{};   // small, big, magic crystal, catalyst, protectant
  int32_t enhanceRate = 0;              // thousandths of a percent
  int32_t synthesisRate = 0;
  int32_t synthesisLevel = 0;
};

// One enhancement or synthesis attempt as it happened, for whoever keeps a record. Levels are 0..9; chips are
// given by level, consumables by item code (0 = none).
struct AttemptRecord {
  bool synthesis = false;
  int32_t levelBefore = 0;        // the chip on the enhancement bench, or the first synthesis chip
  int32_t otherLevelBefore = -1;  // synthesis: the second chip
  int32_t levelAfter = -1;        // the chip on the bench afterwards; -1 when none is left
  int32_t shownRate = 0;          // thousandths of a percent, as the window showed it
  int32_t threshold = 0;          // the first draw succeeds at or below this (1..1000)
  bool secondDraw = false;        // a chip +8 must also pass the second draw
  std::array<int32_t, 4> crystals{};
  int32_t catalyst = 0;
  int32_t protectant = 0;
  bool expertBonus = false;
  bool labBonus = false;
  std::string outcome;  // the status word shown
};

// What the simulation needs from the window around it.
struct SimHooks {
  std::function<void(const std::string& picture)> showBanner;  // "" keeps the picture shown last
  std::function<void()> hideBanner;
  std::function<void(const std::string& statusWord)> resultShown;  // for whoever records results
  std::function<void(const AttemptRecord&)> attempted;             // after every attempt, its refresh done
  std::function<void()> refreshed;                                 // after every refreshAll
  std::function<bool()> quiet;                                     // true: no sounds and no banners
};

class Simulator {
 public:
  Simulator(Form& form, Platform& platform, Random& random, Files& files, SimHooks hooks);

  SimState& state() { return s_; }
  const SimState& state() const { return s_; }
  Random& random() { return random_; }
  int32_t itemCount(int code) const;

  // The main window's creation handler: the account reset, the control lookups, the view buttons, the banner
  // preparation (through `prepareBanner`) and the load of the saved stock.
  void createWindow(const std::function<void()>& prepareBanner);

  void refreshAll();

  // Placement and removal.
  void placeFromCell(int n);
  void takeBack(std::string_view slot);
  void fillSlot(std::string_view slot, int32_t code);
  void emptySlot(std::string_view slot);
  void redrawCellLabel(int n);

  void enhanceAttempt();
  void synthesize();

  // Account and shop.
  void topUp();
  void buyGoods();
  void toggleExpertBonus();
  void toggleLabBonus();

  // Views, help panels and the statistics.
  void showSynthesisView();
  void showEnhanceView();
  void showEnhanceHelp();
  void hideEnhanceHelp();
  void showSynthesisHelp();
  void hideSynthesisHelp();
  void clearUsage();

  // The saved stock.
  void saveStock();
  // Reads the stock from "MOXdata"; false when there is none or the file is not one this program wrote.
  bool loadStock();

  void showResult(const std::string& statusWord);

  // The code lying in a slot: its tag read as a number (0 when empty or not a number).
  double slotCode(std::string_view slot) const;

 private:
  void playSound(std::string_view role);
  void showMoney();
  bool synthesisShowing() const;
  bool returnBench(std::span<const SlotTest> slots);
  void switchBench(bool toSynthesis);
  void addToStock(int32_t code, int32_t amount);
  void takeFromStock(int32_t code);
  // Placing an item from the bag on the bench showing; nothing when its slot is taken or it may not go there.
  void placeOnEnhanceBench(int32_t code);
  void placeOnSynthesisBench(int32_t code);
  void placeInto(const char* slot, int32_t code);  // with its click, from the stock
  int32_t slotItem(const char* slot) const;        // slotCode as a whole number
  bool crystalOnBench(int32_t code) const;
  void consumeAndReload();
  int32_t slotLevel(std::string_view slot) const;  // the level of the chip in a slot, -1 for none

  Form& form_;
  Platform& platform_;
  Random& random_;
  Files& files_;
  SimHooks hooks_;
  SimState s_;
};

}  // namespace mox
