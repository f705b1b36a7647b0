// Fast auto-run through the headless program, ticked as the desktop's timer would tick it: a chip climbing with
// one small crystal a time towards +9, first from a full stock, then buying every crystal as it goes (自动补给);
// then the cheapest route to +9 from money alone (按路线: buying chips and everything laid, enhancing and fusing),
// run again and again. Prints attempts a second for each; the goal is at least 10,000.
//
//   moxsim-autorun-bench [ATTEMPTS]     default 100000
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"
#include "ui/history.h"
#include "ui/planner_window.h"

namespace {

enum class Way { FromStock, WithSupply, Route };

double run(long attempts, Way way) {
  const bool supply = way != Way::FromStock;
  const auto dir = std::filesystem::temp_directory_path() / ("moxsim-autorun-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  mox::HeadlessPlatform platform(dir);
  double perSecond = 0;
  {
    mox::App app(platform);
    app.start();
    auto buy = [&](int goods, int quantity) {
      app.select("组合框2", goods);
      app.select("组合框3", quantity);
      app.click("图形按钮3");
    };
    app.select("组合框1", 4);  // 1000元
    app.click("图形按钮2");
    buy(0, 0);
    buy(1, 0);
    const long stock = supply ? 0 : attempts;
    for (long bought = 0; bought < stock; bought += 30) {
      if (app.sim().state().qCoinBalance < 750) app.click("图形按钮2");
      buy(1, 3);
    }
    app.click("a01");  // the chip
    app.click("a01");  // a small crystal
    app.click("规划按钮");
    app.click("快速");
    if (supply) app.click("自动补给");
    app.select("目标等级", 9);
    if (way == Way::Route) {
      app.click("选择框1");  // the expert bonus: the route goes through synthesis
      app.select("自动方式", 2);
    }
    app.click("自动强化按钮");
    const auto start = std::chrono::steady_clock::now();
    while (app.history().total() < static_cast<uint64_t>(attempts)) {
      if (!app.planner().autoRunning()) {
        if (way != Way::Route) break;
        // The route made its chip: make another. A +9 held would end the next route at once, so the one made
        // leaves the bag first.
        for (const char* slot : {"芯片位", "合成芯片位"}) {
          if (app.mainForm().get(slot).tag == std::to_string(mox::kChip9)) app.click(slot);
        }
        app.sim().state().itemCount[mox::kChip9 - 1] = 0;
        app.sim().refreshAll();
        app.click("自动强化按钮");
        if (!app.planner().autoRunning()) break;
      }
      app.tickTimers(1);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    perSecond = static_cast<double>(app.history().total()) / seconds;
    std::printf("%-14s %8llu attempts in %6.3f s: %9.0f attempts/s (goal 10000) %s\n",
                way == Way::Route ? "route to +9"
                : supply          ? "with supply"
                                  : "from stock",
                static_cast<unsigned long long>(app.history().total()), seconds, perSecond,
                perSecond >= 10000 ? "ok" : "UNDER");
  }
  std::filesystem::remove_all(dir);
  return perSecond;
}

}  // namespace

int main(int argc, char** argv) {
  const long attempts = argc > 1 ? std::atol(argv[1]) : 100000;
  if (attempts <= 0) {
    std::fprintf(stderr, "error: attempts must be a positive number: %s\n", argv[1]);
    return 2;
  }
  bool ok = true;
  for (Way way : {Way::FromStock, Way::WithSupply, Way::Route}) ok = run(attempts, way) >= 10000 && ok;
  return ok ? 0 : 1;
}
