// The front-end shell on a host that stands in for a front end and writes down what it is asked: the planner
// window followed, Esc and the close box in both windows, timers passed on, and the desktops' start-up in its
// order.
#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "ui/planner_window.h"
#include "ui/shell.h"

using moxtest::Program;
using namespace mox;

namespace {

class NoMetrics : public paint::TextMetrics {
 public:
  int lineHeight(const Font& font) override { return font.height; }
  int width(const Font&, std::string_view text) override { return static_cast<int>(text.size()); }
};

class TestHost : public ShellHost {
 public:
  bool showPlanner() override { return log("show planner"), plannerShows; }
  void hidePlanner() override { log("hide planner"); }
  void timer(int slot, const paint::TimerChange& t) override {
    if (t.interval > 0) timers.push_back(std::to_string(slot) + " " + std::to_string(t.control));
  }
  void present() override { log("present"); }
  void quit() override { log("quit"); }

  // Start-up steps that say when they run.
  WindowStartUp steps() {
    const auto origin = [] { return std::pair{0, 0}; };
    return {.prepare = [this] { return log("prepare"), prepares; },
            .connect = [this] { return log("connect"), display; },
            .rescale = [this] { log("rescale"); },
            .create = [this] { return log("create"), true; },
            .ready = [this] { log("ready"); },
            .show = [this] { return log("show"), true; },
            .position = origin};
  }

  // What was asked since the last call.
  std::vector<std::string> take() { return std::exchange(asked_, {}); }

  bool plannerShows = true;
  bool prepares = true;
  WindowStartUp::Display display = WindowStartUp::Display::Up;
  std::vector<std::string> timers;

 private:
  void log(const std::string& what) {
    std::lock_guard lock(mutex_);  // prepare() runs on a thread of its own
    asked_.push_back(what);
  }
  std::mutex mutex_;
  std::vector<std::string> asked_;
};

using Asked = std::vector<std::string>;

// A started program with its shell on the test host.
struct Shelled {
  explicit Shelled(Shell::MainWindow main = Shell::MainWindow::Closes)
      : shell((p.withStock({1, 0, 40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), p.start(), p.app()), metrics, host, main) {}

  // A chip and four large crystals on the bench, the planner window open and a slow auto-run going.
  void startAutoRun() {
    p.place(kChip0);
    for (int i = 0; i < 4; ++i) p.place(kBigCrystal);
    p.click("规划按钮");
    p.select("目标等级", 9);
    p.click("自动强化按钮");
  }

  Program p;
  NoMetrics metrics;
  TestHost host;
  Shell shell;
};

}  // namespace

TEST(Shell, ThePlannerWindowFollowsItsFormAndTheCloseBoxHidesIt) {
  Shelled s;
  s.shell.update();
  EXPECT_EQ(s.host.take(), (Asked{"present"}));
  s.p.click("规划按钮");
  s.shell.update();
  s.shell.update();
  EXPECT_EQ(s.host.take(), (Asked{"show planner", "present", "present"}));
  EXPECT_TRUE(s.shell.plannerShown());

  s.shell.handle(kPlannerSlot, paint::CloseRequest{});
  s.shell.update();
  EXPECT_EQ(s.host.take(), (Asked{"hide planner", "present"}));
  EXPECT_FALSE(s.p.shown("目标等级"));

  // A window the host cannot show yet is asked for again.
  s.host.plannerShows = false;
  s.p.click("规划按钮");
  s.shell.update();
  s.host.plannerShows = true;
  s.shell.update();
  EXPECT_EQ(s.host.take(), (Asked{"show planner", "present", "show planner", "present"}));
  EXPECT_TRUE(s.shell.plannerShown());
}

TEST(Shell, EscStopsAnAutoRunFirstThenClosesTheWindowItIsIn) {
  for (const auto main : {Shell::MainWindow::Closes, Shell::MainWindow::Stays}) {
    Shelled s(main);
    s.startAutoRun();
    ASSERT_TRUE(s.p.app().planner().autoRunning());
    const paint::KeyDown esc{paint::Key::Escape};
    EXPECT_TRUE(s.shell.handle(kMainSlot, esc).close);
    EXPECT_FALSE(s.p.app().planner().autoRunning());
    EXPECT_TRUE(s.host.take().empty());  // the run stopped, nothing closed
    s.p.click("自动强化按钮");
    s.shell.handle(kPlannerSlot, esc);
    EXPECT_FALSE(s.p.app().planner().autoRunning());
    EXPECT_TRUE(s.p.shown("目标等级"));
    s.shell.handle(kPlannerSlot, esc);
    EXPECT_FALSE(s.p.shown("目标等级"));

    // At the main window Esc with nothing running ends the program, unless the window stays (a page's).
    s.shell.handle(kMainSlot, esc);
    const bool closes = main == Shell::MainWindow::Closes;
    EXPECT_EQ(s.shell.quitting(), closes);
    EXPECT_EQ(s.host.take(), closes ? Asked{"quit"} : Asked{});
    // Nothing is handled or presented after the end.
    s.shell.update();
    EXPECT_EQ(s.host.take(), closes ? Asked{} : Asked{"present"});
  }
}

TEST(Shell, TheMainWindowsCloseBoxEndsTheProgramEvenDuringAnAutoRun) {
  Shelled s;
  s.startAutoRun();
  s.shell.handle(kMainSlot, paint::CloseRequest{});
  EXPECT_TRUE(s.shell.quitting());
  EXPECT_EQ(s.host.take(), (Asked{"quit"}));
  EXPECT_FALSE(s.shell.handle(kMainSlot, paint::KeyDown{paint::Key::Escape}).close);
}

TEST(Shell, TimersReachTheHostByWindowAndRedrawsMarkBothWindows) {
  Shelled s;
  s.startAutoRun();
  s.shell.update();
  const int autoRun = s.p.app().plannerForm().indexOf("自动强化时钟");
  EXPECT_NE(std::find(s.host.timers.begin(), s.host.timers.end(), "1 " + std::to_string(autoRun)), s.host.timers.end());
  for (paint::View* v : {&s.shell.main(), &s.shell.planner()}) v->takeFormDamage(), v->takeScreenDamage();
  s.shell.redrawAll();
  s.shell.main().collect();
  s.shell.planner().collect();
  EXPECT_FALSE(s.shell.main().takeFormDamage().empty());
  EXPECT_FALSE(s.shell.planner().takeFormDamage().empty());
}

TEST(Shell, StartUpDrawsWhileTheWindowIsMadeAndChecksBoth) {
  {
    Shelled s;
    EXPECT_EQ(s.shell.open(s.host.steps()), Shell::Opened::Shown);
    Asked asked = s.host.take();
    // prepare() runs beside connect() and create(): its place among them is the threads' affair.
    asked.erase(std::find(asked.begin(), asked.end(), "prepare"));
    EXPECT_EQ(asked, (Asked{"connect", "create", "ready", "show", "present"}));
  }
  {
    Shelled s;
    s.host.display = WindowStartUp::Display::Rescaled;
    EXPECT_EQ(s.shell.open(s.host.steps()), Shell::Opened::Shown);
    // The first drawing is done before the new factor is taken, and the canvas drawn again.
    const Asked asked = s.host.take();
    const auto at = [&](const char* what) { return std::find(asked.begin(), asked.end(), what) - asked.begin(); };
    EXPECT_LT(at("prepare"), at("rescale"));
    EXPECT_LT(at("connect"), at("rescale"));
    EXPECT_LT(at("rescale"), at("create"));
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "prepare"), 2);
  }
  {
    Shelled s;
    s.host.display = WindowStartUp::Display::None;
    EXPECT_EQ(s.shell.open(s.host.steps()), Shell::Opened::NoDisplay);
    const Asked asked = s.host.take();
    EXPECT_EQ(std::count(asked.begin(), asked.end(), "create") + std::count(asked.begin(), asked.end(), "show"), 0);
    EXPECT_TRUE(s.p.platform().boxes().empty());
  }
  {
    Shelled s;  // the optional steps left out
    const auto yes = [] { return true; };
    const auto origin = [] { return std::pair{0, 0}; };
    EXPECT_EQ(s.shell.open({.prepare = yes, .create = yes, .show = yes, .position = origin}), Shell::Opened::Shown);
  }
  {
    Shelled s;
    s.host.prepares = false;
    EXPECT_THROW(s.shell.open(s.host.steps()), FatalExit);
    EXPECT_EQ(s.p.platform().boxes(), (std::vector<std::string>{"载入启动窗口失败"}));
  }
}
