#pragma once
// A started program on the headless platform, driven by control name as a user drives it, with a private
// directory for its data file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"
#include "ui/planner_window.h"

namespace moxtest {

inline std::filesystem::path freshDir() {
  static int serial = 0;
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() /
             ("moxtest-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  return dir;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stored form of a record written with fixed filler bytes, as any writer of the format would produce it.
inline std::string scrambleWithFiller(const std::string& s, char filler = 'x') {
  if (s.size() < 4) return {s.rbegin(), s.rend()};
  const size_t even = s.size() - s.size() % 2;
  std::string out;
  for (size_t i = 0; i < even; i += 2) {
    out += s[i];
    out += filler;
  }
  for (size_t i = 1; i < even; i += 2) {
    out += s[i];
    out += filler;
  }
  if (s.size() % 2) out += s.back();
  return out;
}

class Program {
 public:
  explicit Program(std::filesystem::path dir = freshDir()) : dir_(dir), platform_(dir) {}
  ~Program() {
    std::error_code ec;
    if (owned_) std::filesystem::remove_all(dir_, ec);
  }

  // Writes a save file holding these counts before start-up loads it.
  void withStock(const std::array<int32_t, 15>& counts) {
    std::string record;
    for (int32_t c : counts) record += std::to_string(c) + "|";
    writeFile(dir_ / "MOXdata", scrambleWithFiller(record));
  }

  Program& start() {
    app_ = std::make_unique<mox::App>(platform_);
    app_->start();
    return *this;
  }

  // Ends the program and starts it again on the same directory.
  Program& restart() {
    app_.reset();
    return start();
  }

  mox::App& app() { return *app_; }
  mox::Form& form() { return app_->mainForm(); }
  mox::HeadlessPlatform& platform() { return platform_; }
  const mox::SimState& state() { return app_->sim().state(); }
  const std::filesystem::path& dir() const { return dir_; }
  void keepDir() { owned_ = false; }

  void click(const std::string& name) { ASSERT_TRUE(app_->click(name)) << name; }
  void press(const std::string& name) { ASSERT_TRUE(app_->press(name)) << name; }
  void select(const std::string& name, int index) { ASSERT_TRUE(app_->select(name, index)) << name; }
  // Any window's control, by its name.
  const mox::Control& control(const std::string& name) {
    mox::Form* f = app_->formOf(name);
    if (!f) throw std::runtime_error("no control named " + name);
    return f->get(name);
  }
  std::string caption(const std::string& name) { return control(name).caption; }
  std::string tag(const std::string& name) { return control(name).tag; }
  bool shown(const std::string& name) {
    mox::Form* f = app_->formOf(name);
    return f && f->shown(f->indexOf(name));
  }
  bool enabled(const std::string& name) { return !control(name).disabled; }
  uint32_t colour(const std::string& name) { return control(name).textColour; }
  int32_t count(int code) { return state().itemCount[static_cast<size_t>(code - 1)]; }
  std::vector<std::string> sounds() { return platform_.takeSounds(); }
  std::vector<std::string> banners() { return app_->takeBanners(); }

  // Tops up and buys `quantity` (an index of the quantity list) of shop entry `goods`.
  void buy(int goods, int quantityIndex) {
    select("组合框2", goods);
    select("组合框3", quantityIndex);
    click("图形按钮3");
  }
  void topUp(int amountIndex) {
    select("组合框1", amountIndex);
    click("图形按钮2");
  }

  // Clicks the bag cell that shows item `code`.
  void place(int code) {
    for (int n = 1; n <= 15; ++n) {
      if (state().cellItem[static_cast<size_t>(n - 1)] == code) {
        char name[8];
        std::snprintf(name, sizeof name, "a%02d", n);
        click(name);
        return;
      }
    }
    ADD_FAILURE() << "no bag cell shows item " << code;
  }

  // Sets the tick count so that the next attempt's draws satisfy `wanted` (first draw 1..1000, and for a
  // chip +8 the second draw 0..400, or -1 when no second draw happens). The search runs the program's own
  // generator on a copy, so the draws are scripted without reaching into the attempt.
  void scriptDraws(const std::function<bool(int first, int second)>& wanted, bool chipPlus8 = false,
                   int threshold = 0) {
    for (uint32_t t = 1000; t < 200000; ++t) {
      mox::Random sim = app_->random();
      sim.setTickSource([t] { return t; });
      sim.seedRandom();
      int first = sim.randomInt(1, 1000);
      int second = -1;
      if (chipPlus8 && first <= threshold) {
        sim.seedRandom();
        second = sim.randomInt(0, 400);
      }
      if (wanted(first, second)) {
        platform_.setTicks(t);
        return;
      }
    }
    FAIL() << "no tick count gives the wanted draws";
  }

 private:
  std::filesystem::path dir_;
  bool owned_ = true;
  mox::HeadlessPlatform platform_;
  std::unique_ptr<mox::App> app_;
};

// Stock counts by item code (1-based).
inline std::array<int32_t, 15> stock(std::initializer_list<std::pair<int, int32_t>> counts) {
  std::array<int32_t, 15> a{};
  for (auto [code, n] : counts) a[static_cast<size_t>(code - 1)] = n;
  return a;
}

// Items on the enhancement bench plus the stock.
inline int64_t itemsHeld(Program& p) {
  int64_t n = 0;
  for (int k = 1; k <= 15; ++k) n += p.count(k);
  for (const char* slot : {"芯片位", "晶体位0", "晶体位1", "晶体位2", "晶体位3", "催化位", "防护位"})
    n += p.tag(slot) != "0";
  return n;
}

// Fast auto-runs with auto-supply from the same bag, each on a fresh start at its own clock: `setUp` lays the
// benches and chooses the planner's settings, `ended` looks at each run as it stopped. The money each spent, in Q币.
inline std::vector<double> fastRunsFrom(const std::array<int32_t, 15>& bag, int runs,
                                        const std::function<void(Program&)>& setUp,
                                        const std::function<void(Program&)>& ended = nullptr) {
  Program p;
  std::vector<double> spent;
  for (int run = 0; run < runs; ++run) {
    p.withStock(bag);
    if (run == 0)
      p.start();
    else
      p.restart();
    p.platform().setTicks(static_cast<uint32_t>(run) * 7919u + 1u);
    setUp(p);
    p.click("快速");
    p.click("自动补给");
    p.click("自动强化按钮");
    for (int i = 0; i < 100000 && p.app().planner().autoRunning(); ++i) p.app().tickTimers(1);
    if (ended) ended(p);
    spent.push_back(p.state().spendTotal / 10.0);
  }
  return spent;
}

}  // namespace moxtest
