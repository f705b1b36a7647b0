// A deterministic replay of seeded sessions through the form, as a user would click them, with the tick count
// scripted. It prints the time taken and a signature of the final state: the time is for comparing builds, the
// signature must stay the same unless a change means to alter behaviour (say so in the commit when it does).
//
//   moxsim-replay [EVENTS]     default 200000
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <unistd.h>

#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"
#include "ui/layout.h"

namespace {

uint64_t fnv(uint64_t h, const std::string& s) {
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  const long events = argc > 1 ? std::atol(argv[1]) : 200000;
  const auto dir = std::filesystem::temp_directory_path() / ("moxsim-replay-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  mox::HeadlessPlatform platform(dir);
  mox::App app(platform);
  app.start();

  std::vector<std::string> clickable;
  for (const mox::HandlerBinding& b : mox::handlerBindings(mox::mainWindowLayout())) {
    // Saving touches the disk; the replay measures the logic alone. The planner window has benchmarks of its own.
    if (b.event == mox::Event::Tick || b.control == "保存数据" || b.control == "规划按钮") continue;
    clickable.push_back(b.control);
  }
  std::mt19937 rng(1);
  const auto start = std::chrono::steady_clock::now();
  for (long e = 0; e < events; ++e) {
    platform.setTicks(static_cast<uint32_t>(e * 37));
    const unsigned roll = rng() % 100;
    if (roll < 6) {
      app.select("组合框1", static_cast<int>(rng() % 5));
      app.click("图形按钮2");
    } else if (roll < 18) {
      app.select("组合框2", static_cast<int>(rng() % 6));
      app.select("组合框3", static_cast<int>(rng() % 4));
      app.click("图形按钮3");
    } else if (roll < 22) {
      app.tickTimers(static_cast<int>(rng() % 40));
    } else {
      const std::string& name = clickable[rng() % clickable.size()];
      app.click(name);
      app.press(name);
    }
    platform.takeSounds();
    app.takeBanners();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const mox::SimState& s = app.sim().state();
  uint64_t h = 1469598103934665603ull;
  for (int32_t c : s.itemCount) h = fnv(h, std::to_string(c) + ",");
  for (int32_t c : s.usedCount) h = fnv(h, std::to_string(c) + ",");
  h = fnv(h, std::to_string(s.qCoinBalance) + "," + std::to_string(s.spendTotal));
  for (const mox::Control& c : app.mainForm().controls()) h = fnv(h, c.tag + c.caption + c.picture);
  std::printf("events %ld  seconds %.3f  events/s %.0f  signature %016llx\n", events, seconds, events / seconds,
              static_cast<unsigned long long>(h));
  std::filesystem::remove_all(dir);
  return 0;
}
