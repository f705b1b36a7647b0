// Arbitrary arguments for moxsim-plan, one per line: read as the program reads them, every level, recipe and
// amount checked as its commands check them, the odds of a well-formed `odds` line figured, and the fragments of
// `compare` read (a question read reads again the same from the fragment it writes). A bad argument must end in
// PlanError (one line naming it, exit code 2); nothing else may escape or crash.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "plan-cli/arguments.h"
#include "plan/link.h"

namespace plan = mox::plan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> words{"moxsim-plan"};
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    words.emplace_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  try {
    const mox::plancli::Arguments a = mox::plancli::parseArguments(static_cast<int>(words.size()), argv.data());
    for (const std::string& p : a.positional) {
      try {
        mox::plancli::parseLevel(p, "LEVEL", 0, plan::kTopLevel);
      } catch (const plan::PlanError&) {
      }
      try {
        mox::plancli::parseMoney(p);
      } catch (const plan::PlanError&) {
      }
    }
    for (const std::string& given : a.recipes) {
      const size_t eq = given.find('=');
      if (eq == std::string::npos) continue;
      try {
        const int level = mox::plancli::parseLevel(given.substr(0, eq), "--recipe level", 0, plan::kTopLevel - 1);
        plan::checkRecipe(level, plan::parseRecipe(given.substr(eq + 1)));
      } catch (const plan::PlanError&) {
      }
    }
    if (a.budget) mox::plancli::parseMoney(*a.budget);
    mox::plancli::parseCount(a.count);
    // compare's fragments are links from anywhere: reading one accepts what writing it makes, or refuses it.
    if (a.command == "compare") {
      for (const std::string& p : a.positional) {
        if (const auto q = plan::readLinkFragment(p); q && plan::readLinkFragment(plan::linkFragment(*q)) != q) {
          std::abort();
        }
      }
    }
    if (a.command == "odds" && a.positional.size() == 2) {
      const int level = mox::plancli::parseLevel(a.positional[0], "LEVEL", 0, plan::kTopLevel);
      plan::odds(level, plan::parseRecipe(a.positional[1]), a.bonuses);
    }
  } catch (const plan::PlanError&) {
  }
  return 0;
}
