#include "ui/app.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "runtime/fatal.h"
#include "sim/simulator.h"
#include "ui/banner.h"
#include "ui/history.h"
#include "ui/layout.h"
#include "ui/planner_window.h"

namespace mox {

namespace {

// Binds a layout handler name ("placeFromCell 3") to the simulation. Unknown names are a broken layout.
Handler bindHandler(const std::string& id, Simulator& sim, BannerAnimation& banner, PlannerWindow& planner,
                    const std::string& control) {
  std::string name = id;
  int arg = 0;
  if (size_t space = id.find(' '); space != std::string::npos) {
    name = id.substr(0, space);
    std::from_chars(id.data() + space + 1, id.data() + id.size(), arg);
  }
  Simulator* s = &sim;
  if (name == "placeFromCell") return [s, arg] { s->placeFromCell(arg); };
  if (name == "redrawCellLabel") return [s, arg] { s->redrawCellLabel(arg); };
  if (name == "takeBack") return [s, control] { s->takeBack(control); };
  if (name == "enhanceAttempt") return [s] { s->enhanceAttempt(); };
  if (name == "synthesize") return [s] { s->synthesize(); };
  if (name == "topUp") return [s] { s->topUp(); };
  if (name == "buyGoods") return [s] { s->buyGoods(); };
  if (name == "toggleExpertBonus") return [s] { s->toggleExpertBonus(); };
  if (name == "toggleLabBonus") return [s] { s->toggleLabBonus(); };
  if (name == "saveStock") return [s] { s->saveStock(); };
  // Switching benches shows the other bench after its refresh: the planner looks again.
  PlannerWindow* p = &planner;
  if (name == "showSynthesisView")
    return [s, p] {
      s->showSynthesisView();
      p->benchChanged();
    };
  if (name == "showEnhanceView")
    return [s, p] {
      s->showEnhanceView();
      p->benchChanged();
    };
  if (name == "showEnhanceHelp") return [s] { s->showEnhanceHelp(); };
  if (name == "hideEnhanceHelp") return [s] { s->hideEnhanceHelp(); };
  if (name == "showSynthesisHelp") return [s] { s->showSynthesisHelp(); };
  if (name == "hideSynthesisHelp") return [s] { s->hideSynthesisHelp(); };
  if (name == "clearUsage") return [s] { s->clearUsage(); };
  if (name == "bannerTick") return [b = &banner] { b->tick(); };
  if (name == "openPlanner") return [p] { p->open(); };
  if (name == "planInputsChanged") return [p] { p->inputsChanged(); };
  if (name == "autoWayChanged") return [p] { p->autoWayChanged(); };
  if (name == "toggleAutoRun") return [p] { p->toggleAutoRun(); };
  if (name == "autoRunTick") return [p] { p->autoRunTick(); };
  if (name == "exportHistory") return [p] { p->exportHistory(); };
  if (name == "copyPlanLink") return [p] { p->copyLink(); };
  if (name == "planTick") return [p] { p->resultTick(); };
  if (name == "pinPlan") return [p] { p->pinPlan(); };
  if (name == "clearPins") return [p] { p->clearPins(); };
  if (name == "removePin") return [p, arg] { p->removePin(arg); };
  return {};
}

}  // namespace

App::App(Platform& platform)
    : platform_(platform), random_([&platform] { return platform.tickCount(); }), files_(platform) {
  setFatalHandler([&platform](const std::string& message) { platform.fatal(message); });
  buildForm(mainWindowLayout(), main_);
  buildForm(bannerWindowLayout(), banner_);
  buildForm(plannerWindowLayout(), planner_);
  bannerAnimation_ = std::make_unique<BannerAnimation>(main_, banner_);
  SimHooks hooks;
  hooks.showBanner = [this](const std::string& picture) { bannerAnimation_->showBanner(picture); };
  hooks.hideBanner = [this] { bannerAnimation_->hide(); };
  hooks.resultShown = [this](const std::string& word) {
    // Only the latest results are kept: a long fast auto-run must not grow this without end.
    if (banners_.size() >= kMaxBanners) banners_.erase(banners_.begin(), banners_.begin() + kMaxBanners / 2);
    banners_.push_back(word);
  };
  hooks.attempted = [this](const AttemptRecord& r) { plannerWindow_->attempted(r); };
  hooks.refreshed = [this] {
    if (plannerWindow_) plannerWindow_->benchChanged();
  };
  hooks.quiet = [this] { return plannerWindow_ && plannerWindow_->quiet(); };
  sim_ = std::make_unique<Simulator>(main_, platform_, random_, files_, std::move(hooks));
  history_ = std::make_unique<History>();
  PlannerInput input{.click = [this](std::string_view n) { return click(n); },
                     .select = [this](std::string_view n, int i) { return select(n, i); }};
  plannerWindow_ = std::make_unique<PlannerWindow>(main_, planner_, *sim_, platform_, *history_, std::move(input));
  for (auto [layout, form] : {std::pair{&mainWindowLayout(), &main_}, std::pair{&plannerWindowLayout(), &planner_}}) {
    for (const HandlerBinding& b : handlerBindings(*layout)) {
      Handler h = bindHandler(b.handler, *sim_, *bannerAnimation_, *plannerWindow_, b.control);
      if (!h) fatalError("未知的事件处理：" + b.handler);
      form->setHandler(b.control, b.event, std::move(h));
    }
  }
}

App::~App() = default;

void App::start() {
  sim_->createWindow([this] { bannerAnimation_->prepare(bannerPictureFor("强化成功")); });
  // The plans pinned side by side are read as the stock is: at start, once the page has handed over its files.
  plannerWindow_->loadPins();
  // The moved and resized handlers run before the first showing too.
  bannerAnimation_->followMainWindow();
  bannerAnimation_->followMainWindow();
}

Form* App::formOf(std::string_view name) {
  for (Form* f : {&main_, &planner_}) {
    if (f->indexOf(name) >= 0) return f;
  }
  return nullptr;
}

bool App::fire(std::string_view name, Event event) {
  Form* f = formOf(name);
  if (!f) return false;
  const int i = f->indexOf(name);
  if (f->reachable(i)) f->dispatch(i, event);
  return true;
}

bool App::click(std::string_view name) { return fire(name, Event::Click); }
bool App::press(std::string_view name) { return fire(name, Event::LeftDown); }
bool App::move(std::string_view name) { return fire(name, Event::MouseMove); }

bool App::select(std::string_view name, int index) {
  Form* f = formOf(name);
  if (!f) return false;
  const int i = f->indexOf(name);
  const Control& c = f->at(i);
  // Only an item of the list can be chosen; anything else never reaches the handlers.
  if (index < 0 || index >= static_cast<int>(c.items.size())) return true;
  if (f->reachable(i) && c.kind == Kind::DropDown && index != c.selection) {
    f->setSelection(i, index);
    f->dispatch(i, Event::Change);
  }
  return true;
}

bool App::scroll(std::string_view name, int rows) {
  Form* f = formOf(name);
  if (!f) return false;
  const int i = f->indexOf(name);
  if (!f->reachable(i) || f->at(i).kind != Kind::List) return true;
  // Any number of rows: the sum is taken wide and clamped to the list's range before it becomes a row again.
  const auto last = static_cast<int64_t>(f->at(i).items.size());
  const int64_t row = std::clamp<int64_t>(int64_t{f->at(i).topRow} + rows, 0, last);
  f->setTopRow(i, static_cast<int>(row));
  return true;
}

bool App::escape(Form& window) {
  if (plannerWindow_->stopOnEscape()) return false;
  if (&window == &planner_) {
    plannerWindow_->close();
    return false;
  }
  return window.window().escCloses;
}

void App::tickTimers(int count) {
  for (int n = 0; n < count; ++n) {
    for (Form* f : {&main_, &planner_}) {
      for (int i = 0; i < f->size(); ++i) {
        if (f->at(i).kind == Kind::Timer && f->at(i).interval > 0) f->dispatch(i, Event::Tick);
      }
    }
  }
}

void App::settle() { plannerWindow_->settle(); }

void App::mainWindowMoved(int left, int top) {
  main_.window().left = left;
  main_.window().top = top;
  bannerAnimation_->followMainWindow();
}

std::vector<std::string> App::takeBanners() { return std::exchange(banners_, {}); }

}  // namespace mox
