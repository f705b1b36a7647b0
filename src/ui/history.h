#pragma once
// The record of every attempt, by click or by auto-run: when, what, the levels, the rate shown beside the exact
// chance, what the bench used up and what that cost. It keeps the latest entries, writes them as CSV for
// spreadsheet programs, and keeps the climb under way (its start, its cost, the recipe used at each level) for
// the luck figure.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "sim/simulator.h"

namespace mox {

struct HistoryEntry {
  std::string time;  // "YYYY-MM-DD HH:MM:SS"
  AttemptRecord attempt;
  double exactChance = -1;  // 0..1; below 0 when unknown
  int32_t cost = 0;         // tenths of a Q币: what the attempt used up, at shop prices
};

// The recipe an enhancement used: four crystal codes (0 = none), the catalyst and protectant flags.
struct Recipe {
  std::array<int32_t, 4> crystals{};
  bool catalyst = false;
  bool protectant = false;
  bool operator==(const Recipe&) const = default;
};

// A climb: the chip's level at its start, the money its attempts used up, and the recipe last used at each
// level passed through.
struct Climb {
  int32_t startLevel = -1;  // -1: no climb under way
  int32_t level = -1;
  int64_t cost = 0;  // tenths of a Q币
  int attempts = 0;
  std::array<std::optional<Recipe>, 10> recipes{};
};

class History {
 public:
  // Older entries beyond this many are dropped, so a long fast run cannot eat the memory.
  static constexpr size_t kMaxEntries = 100000;

  // The cost of the consumables an attempt used up, at the shop's prices.
  static int32_t costOf(const AttemptRecord& a);
  void add(HistoryEntry entry);
  const std::deque<HistoryEntry>& entries() const { return entries_; }
  uint64_t total() const { return total_; }  // attempts ever recorded, dropped ones included

  // The climb starts over from the chip's level (a chip laid on the bench, an auto-run starting); -1 ends it.
  void startClimb(int32_t level);
  const Climb& climb() const { return climb_; }

  // The CSV: a header and one line per entry, lines ending in CRLF, UTF-8 with a byte-order mark.
  static std::string csvHeader();
  static std::string csvLine(const HistoryEntry& e);
  std::string csv() const;
  // One line for the window's list.
  static std::string listLine(const HistoryEntry& e);

  static constexpr const char* kFileName = "MOXhistory.csv";

 private:
  std::deque<HistoryEntry> entries_;
  uint64_t total_ = 0;
  Climb climb_;
};

// A percentage with two decimals: 0.14575 reads "14.58%".
std::string percentText(double fraction, int decimals = 2);
// Tenths of a Q币 as a short text: 435 reads "43.5".
std::string qCoinText(int64_t tenths);
// An amount of Q币 as the planner writes it: "43.5 Q币", whole above 10000.
std::string qCoinFigure(double qCoins);

}  // namespace mox
