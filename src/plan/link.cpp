#include "plan/link.h"

#include <array>
#include <charconv>

namespace mox::plan {

std::string linkFragment(const LinkQuestion& q) {
  std::string out = "v=1&from=" + std::to_string(q.from) + "&to=" + std::to_string(q.to) +
                    "&goal=" + (q.budgetGoal ? "1" : "0") + "&budget=" + std::to_string(q.budget) +
                    "&bonus=" + (q.bonuses.expert ? "1" : "0") + (q.bonuses.lab ? "1" : "0") +
                    "&way=" + std::to_string(q.way);
  if (q.count > 1) out += "&count=" + std::to_string(q.count);
  if (q.stock) {
    out += "&stock=";
    for (size_t i = 0; i < q.stock->size(); ++i) out += (i ? "." : "") + std::to_string((*q.stock)[i]);
  }
  return out;
}

namespace {

// Plain decimal digits only, as this program writes them (no sign, no spaces, no leading zero, at most nine of
// them), within [lo, hi].
std::optional<int> number(std::string_view s, int lo, int hi) {
  if (s.empty() || s.size() > 9 || (s.size() > 1 && s[0] == '0')) return std::nullopt;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

std::optional<Stock> stockList(std::string_view s) {
  Stock stock{};
  size_t count = 0;
  while (true) {
    const size_t dot = s.find('.');
    if (count == stock.size()) return std::nullopt;
    const auto v = number(s.substr(0, dot), 0, kLinkMaxCount);
    if (!v) return std::nullopt;
    stock[count++] = *v;
    if (dot == std::string_view::npos) break;
    s.remove_prefix(dot + 1);
  }
  if (count != stock.size()) return std::nullopt;
  return stock;
}

}  // namespace

std::optional<LinkQuestion> readLinkFragment(std::string_view fragment) {
  if (!fragment.empty() && fragment.front() == '#') fragment.remove_prefix(1);
  if (fragment.empty() || fragment.size() > kLinkMaxLength) return std::nullopt;
  // The first seven are always written; `stock` and `count` only with a stock and above one chip.
  static constexpr std::array<std::string_view, 9> kKeys = {"v",     "from", "to",    "goal", "budget",
                                                            "bonus", "way",  "stock", "count"};
  constexpr size_t kAlways = 7;
  std::array<std::optional<std::string_view>, kKeys.size()> values;
  while (!fragment.empty()) {
    const size_t amp = fragment.find('&');
    const std::string_view pair = fragment.substr(0, amp);
    const size_t eq = pair.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = pair.substr(0, eq);
    size_t k = 0;
    while (k < kKeys.size() && kKeys[k] != key) ++k;
    if (k == kKeys.size() || values[k]) return std::nullopt;
    values[k] = pair.substr(eq + 1);
    if (amp == std::string_view::npos) break;
    fragment.remove_prefix(amp + 1);
    if (fragment.empty()) return std::nullopt;
  }
  for (size_t k = 0; k < kAlways; ++k) {
    if (!values[k]) return std::nullopt;
  }
  if (*values[0] != "1") return std::nullopt;
  const auto from = number(*values[1], 0, kTopLevel - 1), to = number(*values[2], 1, kTopLevel);
  const auto goal = number(*values[3], 0, 1), budget = number(*values[4], 1, kLinkMaxBudget);
  const auto way = number(*values[6], 0, kLinkWays - 1);
  const std::string_view bonus = *values[5];
  if (!from || !to || *to <= *from || !goal || !budget || !way || bonus.size() != 2) return std::nullopt;
  for (char c : bonus) {
    if (c != '0' && c != '1') return std::nullopt;
  }
  LinkQuestion q;
  q.from = *from;
  q.to = *to;
  q.budgetGoal = *goal == 1;
  q.budget = *budget;
  q.bonuses = {bonus[0] == '1', bonus[1] == '1'};
  q.way = *way;
  if (values[7]) {
    q.stock = stockList(*values[7]);
    if (!q.stock) return std::nullopt;
  }
  if (values[8]) {
    const auto count = number(*values[8], 2, kMaxChips);
    if (!count) return std::nullopt;
    q.count = *count;
  }
  return q;
}

}  // namespace mox::plan
