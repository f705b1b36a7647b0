#include "ui/app.h"

#include <charconv>

#include "runtime/fatal.h"
#include "sim/simulator.h"
#include "ui/banner.h"
#include "ui/layout.h"

namespace mox {

namespace {

// Binds a layout handler name ("placeFromCell 3") to the simulation. Unknown names are a broken layout.
Handler bindHandler(const std::string& id, Simulator& sim, BannerAnimation& banner, const std::string& control) {
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
  if (name == "showSynthesisView") return [s] { s->showSynthesisView(); };
  if (name == "showEnhanceView") return [s] { s->showEnhanceView(); };
  if (name == "showEnhanceHelp") return [s] { s->showEnhanceHelp(); };
  if (name == "hideEnhanceHelp") return [s] { s->hideEnhanceHelp(); };
  if (name == "showSynthesisHelp") return [s] { s->showSynthesisHelp(); };
  if (name == "hideSynthesisHelp") return [s] { s->hideSynthesisHelp(); };
  if (name == "clearUsage") return [s] { s->clearUsage(); };
  if (name == "bannerTick") return [b = &banner] { b->tick(); };
  return {};
}

}  // namespace

App::App(Platform& platform)
    : platform_(platform), random_([&platform] { return platform.tickCount(); }), files_(platform) {
  setFatalHandler([&platform](const std::string& message) { platform.fatal(message); });
  buildForm(mainWindowLayout(), main_);
  buildForm(bannerWindowLayout(), banner_);
  bannerAnimation_ = std::make_unique<BannerAnimation>(main_, banner_);
  SimHooks hooks;
  hooks.showBanner = [this](const std::string& picture) { bannerAnimation_->showBanner(picture); };
  hooks.hideBanner = [this] { bannerAnimation_->hide(); };
  hooks.resultShown = [this](const std::string& word) { banners_.push_back(word); };
  sim_ = std::make_unique<Simulator>(main_, platform_, random_, files_, std::move(hooks));
  for (const HandlerBinding& b : handlerBindings(mainWindowLayout())) {
    Handler h = bindHandler(b.handler, *sim_, *bannerAnimation_, b.control);
    if (!h) fatalError("未知的事件处理：" + b.handler);
    main_.setHandler(b.control, b.event, std::move(h));
  }
}

App::~App() = default;

void App::start() {
  sim_->createWindow([this] { bannerAnimation_->prepare(bannerPictureFor("强化成功")); });
  // The moved and resized handlers run before the first showing too.
  bannerAnimation_->followMainWindow();
  bannerAnimation_->followMainWindow();
}

bool App::fire(std::string_view name, Event event) {
  int i = main_.indexOf(name);
  if (i < 0) return false;
  if (main_.reachable(i)) main_.dispatch(i, event);
  return true;
}

bool App::click(std::string_view name) { return fire(name, Event::Click); }
bool App::press(std::string_view name) { return fire(name, Event::LeftDown); }
bool App::move(std::string_view name) { return fire(name, Event::MouseMove); }

bool App::select(std::string_view name, int index) {
  int i = main_.indexOf(name);
  if (i < 0) return false;
  const Control& c = main_.at(i);
  // Only an item of the list can be chosen; anything else never reaches the handlers.
  if (index < 0 || index >= static_cast<int>(c.items.size())) return true;
  if (main_.reachable(i) && c.kind == Kind::DropDown) main_.setSelection(i, index);
  return true;
}

void App::tickTimers(int count) {
  for (int n = 0; n < count; ++n) {
    for (int i = 0; i < main_.size(); ++i) {
      if (main_.at(i).kind == Kind::Timer && main_.at(i).interval > 0) main_.dispatch(i, Event::Tick);
    }
  }
}

void App::mainWindowMoved(int left, int top) {
  main_.window().left = left;
  main_.window().top = top;
  bannerAnimation_->followMainWindow();
}

std::vector<std::string> App::takeBanners() { return std::exchange(banners_, {}); }

}  // namespace mox
