// Arbitrary bytes as the save file, through the real loader: read from disk, unscrambled, parsed and taken into
// the stock. Whatever loads must come back unchanged through a save and a second load. One started program
// serves every input (building one costs more than the load itself); its stock is emptied before each load, as
// at start-up.
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include "fuzz_dir.h"
#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"

namespace {

mox::HeadlessPlatform& platform() {
  static mox::HeadlessPlatform platform(moxfuzz::dataDir());
  return platform;
}

mox::App& program() {
  static mox::App app(platform());
  static const bool started = (app.start(), true);
  (void)started;
  return app;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mox::App& app = program();
  std::ofstream(moxfuzz::dataDir() / "MOXdata", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  mox::Simulator& sim = app.sim();
  sim.state().itemCount = {};
  sim.loadStock();
  const std::array<int32_t, 15> loaded = sim.state().itemCount;
  app.click("保存数据");
  if (app.takeBanners() != std::vector<std::string>{"保存成功"}) std::abort();
  sim.state().itemCount = {};
  sim.loadStock();
  if (sim.state().itemCount != loaded) std::abort();
  // What the program recorded for a screen or a speaker is dropped, so that nothing grows from input to input
  // (growth would make every input look like a leak).
  platform().takeSounds();
  platform().takeBoxes();
  app.mainForm().takeDirty();
  app.mainForm().takeFullRedraw();
  return 0;
}
