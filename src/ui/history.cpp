#include "ui/history.h"

#include <cstdio>

#include "sim/items.h"
#include "sim/rates.h"

namespace mox {

namespace {

std::string levelText(int32_t level) { return level < 0 ? "无" : "+" + std::to_string(level); }

std::string beforeText(const AttemptRecord& a) {
  return a.synthesis ? levelText(a.levelBefore) + "/" + levelText(a.otherLevelBefore) : levelText(a.levelBefore);
}

// "大晶体×4 催化剂": the kinds in the order the bench holds them, each with its count.
std::string usedText(const AttemptRecord& a) {
  std::vector<std::pair<int32_t, int>> kinds;
  auto add = [&](int32_t code) {
    if (code <= 0) return;
    for (auto& [k, n] : kinds) {
      if (k == code) {
        ++n;
        return;
      }
    }
    kinds.emplace_back(code, 1);
  };
  if (a.synthesis) {
    add(chipCode(a.levelBefore));
    add(chipCode(a.otherLevelBefore));
  } else {
    for (int32_t c : a.crystals) add(c);
    add(a.catalyst);
  }
  add(a.protectant);
  std::string out;
  for (const auto& [k, n] : kinds) {
    if (!out.empty()) out += ' ';
    out += itemName(k);
    if (n > 1) out += "×" + std::to_string(n);
  }
  return out;
}

std::string shownText(const AttemptRecord& a) {
  return a.synthesis ? synthesisRateText(a.shownRate) : enhanceRateText(a.shownRate);
}

std::string csvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string percentText(double fraction, int decimals) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f%%", decimals, fraction * 100.0);
  return buf;
}

std::string qCoinText(int64_t tenths) {
  std::string s = std::to_string(tenths / 10);
  if (tenths % 10) s += "." + std::to_string(tenths % 10);
  return s;
}

std::string qCoinFigure(double qCoins) {
  char buf[48];
  if (qCoins >= 10000)
    std::snprintf(buf, sizeof buf, "%.0f Q币", qCoins);
  else
    std::snprintf(buf, sizeof buf, "%.1f Q币", qCoins);
  return buf;
}

int32_t History::costOf(const AttemptRecord& a) {
  int32_t cost = 0;
  if (!a.synthesis) {
    for (int32_t c : a.crystals) cost += shopPrice(c);
    cost += shopPrice(a.catalyst);
  }
  return cost + shopPrice(a.protectant);
}

void History::add(HistoryEntry entry) {
  const AttemptRecord& a = entry.attempt;
  if (!a.synthesis) {
    if (climb_.startLevel < 0) startClimb(a.levelBefore);
    climb_.cost += entry.cost;
    ++climb_.attempts;
    climb_.level = a.levelAfter;
    if (a.levelBefore >= 0 && a.levelBefore < 10) {
      climb_.recipes[static_cast<size_t>(a.levelBefore)] =
          Recipe{a.crystals, a.catalyst == kCatalyst, a.protectant == kProtectant};
    }
  }
  entries_.push_back(std::move(entry));
  ++total_;
  if (entries_.size() > kMaxEntries) entries_.pop_front();
}

void History::startClimb(int32_t level) {
  climb_ = Climb{};
  climb_.startLevel = climb_.level = level;
}

std::string History::csvHeader() { return "时间,操作,之前等级,之后等级,显示成功率,实际成功率,使用物品,花费(Q币),结果"; }

std::string History::csvLine(const HistoryEntry& e) {
  const AttemptRecord& a = e.attempt;
  const std::string fields[] = {e.time,        a.synthesis ? "合成" : "强化",
                                beforeText(a), levelText(a.levelAfter),
                                shownText(a),  e.exactChance < 0 ? "" : percentText(e.exactChance),
                                usedText(a),   qCoinText(e.cost),
                                a.outcome};
  std::string line;
  for (size_t i = 0; i < std::size(fields); ++i) line += (i ? "," : "") + csvField(fields[i]);
  return line;
}

std::string History::csv() const {
  std::string out = "\xEF\xBB\xBF" + csvHeader() + "\r\n";
  out.reserve(out.size() + entries_.size() * 96);
  for (const HistoryEntry& e : entries_) out += csvLine(e) + "\r\n";
  return out;
}

std::string History::listLine(const HistoryEntry& e) {
  const AttemptRecord& a = e.attempt;
  std::string line = e.time.size() > 11 ? e.time.substr(11) : e.time;
  line += a.synthesis ? "  合成 " : "  强化 ";
  line += beforeText(a) + "→" + levelText(a.levelAfter);
  line += "  显示" + shownText(a);
  if (e.exactChance >= 0) line += " 实际" + percentText(e.exactChance);
  line += "  " + qCoinText(e.cost) + "Q币  " + a.outcome;
  return line;
}

}  // namespace mox
