#include "plan-cli/arguments.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace mox::plancli {

using plan::PlanError;

Arguments parseArguments(int argc, char** argv) {
  Arguments a;
  if (argc < 2) throw PlanError("missing command (odds, climb, budget, route or compare)");
  a.command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<std::string> value;
    if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
      value = arg.substr(arg.find('=') + 1);
      arg = arg.substr(0, arg.find('='));
    }
    auto takeValue = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= argc) throw PlanError("option " + arg + " needs a value");
      return argv[++i];
    };
    auto flag = [&](bool& target) {
      if (value) throw PlanError("option " + arg + " takes no value");
      target = true;
    };
    // compare reads the bonuses, the budget and the stock from each fragment.
    const bool compare = a.command == "compare";
    if (arg == "--expert" && !compare) {
      flag(a.bonuses.expert);
    } else if (arg == "--lab" && !compare) {
      flag(a.bonuses.lab);
    } else if (arg == "--json") {
      flag(a.json);
    } else if (arg == "--best" && a.command == "climb") {
      flag(a.best);
    } else if (arg == "--recipe" && a.command == "climb") {
      a.recipes.push_back(takeValue());
    } else if (arg == "--budget" && (a.command == "climb" || a.command == "route")) {
      a.budget = takeValue();
    } else if (arg == "--count" && a.command != "odds" && !compare) {
      a.count = takeValue();
    } else if ((arg == "--stock" || arg == "--save") && a.command != "odds" && !compare) {
      (arg == "--stock" ? a.stock : a.save) = takeValue();
      if (a.stock && a.save) throw PlanError("give --stock or --save, not both");
    } else if (arg.size() > 1 && arg[0] == '-' && !std::isdigit(static_cast<unsigned char>(arg[1]))) {
      throw PlanError("unknown option " + arg + " for " + a.command);
    } else {
      a.positional.push_back(arg);
    }
  }
  return a;
}

int parseLevel(const std::string& text, std::string_view what, int low, int high) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) {
    throw PlanError(std::string(what) + " '" + text + "' is not a level from " + std::to_string(low) + " to " +
                    std::to_string(high));
  }
  return v;
}

int parseCount(const std::optional<std::string>& text) {
  if (!text) return 1;
  int v = 0;
  const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), v);
  if (ec != std::errc() || end != text->data() + text->size() || v < 1 || v > plan::kMaxChips) {
    throw PlanError("--count '" + *text + "' is not a number of chips from 1 to " + std::to_string(plan::kMaxChips));
  }
  return v;
}

double parseMoney(const std::string& text) {
  char* end = nullptr;
  const double v = text.empty() ? NAN : std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v) || v < 0) {
    throw PlanError("budget '" + text + "' is not an amount of Q币 of 0 or more");
  }
  return v;
}

plan::Stock parseStock(const std::string& text) {
  plan::Stock stock{};
  size_t count = 0, at = 0;
  auto refuse = [&](const std::string& why) { throw PlanError("--stock '" + text + "': " + why); };
  while (true) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (at == text.size()) break;
    size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    const std::string word = text.substr(at, end - at);
    int32_t v = 0;
    const auto [stop, ec] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (ec != std::errc() || stop != word.data() + word.size()) refuse("'" + word + "' is not a count");
    if (v < 0) refuse("count " + word + " is below 0");
    if (count == stock.size()) refuse("more than 15 counts");
    stock[count++] = v;
    at = end;
  }
  if (count != stock.size()) refuse(std::to_string(count) + " counts, not 15 (one per item code 1 to 15)");
  return stock;
}

}  // namespace mox::plancli
