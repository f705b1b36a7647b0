// The program's windows on the page (web_window.h): what they draw, what they tell the page, and what the page's
// events do to them. The page's side of each call below is in web_runtime.js (moxRuntime) and page.js (moxPage).
#include "desktop/web/web_window.h"

#include <emscripten.h>

#include <limits>
#include <string>
#include <utility>

#include "desktop/web/web_bridge.h"
#include "ui/banner.h"
#include "ui/plan_wire.h"
#include "ui/placement.h"
#include "ui/planner_window.h"

namespace mox::web {

namespace {

// clang-format off
EM_JS(void, moxTimer, (int window, int control, int interval, double generation), {
  Module.moxRuntime.timer(window, control, interval, generation);
});
EM_JS(void, moxCursor, (int window, int hand), { Module.moxRuntime.cursor(window, hand); });
EM_JS(void, moxPlannerShown, (int shown), { Module.moxPage.plannerShown(!!shown); });
EM_JS(void, moxWindowSize, (int window, int width, int height, const char* title), {
  Module.moxRuntime.windowSize(window, width, height, UTF8ToString(title));
});
EM_JS(void, moxRequestFrame, (), { Module.moxRuntime.requestFrame(); });
EM_JS(void, moxSemantics, (int window, const char* changes, double ms), {
  Module.moxPage.semantics(window, UTF8ToString(changes), ms);
});
EM_JS(void, moxAnnounce, (const char* text), { Module.moxPage.announce(UTF8ToString(text)); });
EM_JS(void, moxPrefetch, (const char* names), { Module.moxRuntime.prefetch(UTF8ToString(names)); });
EM_JS(void, moxCanvasSize, (int window, int width, int height, double factor), {
  Module.moxRuntime.canvasSize(window, width, height, factor);
});
// A planner question for the page's worker; 0 when there is no worker to take it.
EM_JS(int, moxFigure, (const char* bytes, int size), {
  return Module.moxPage.figure(HEAPU8.slice(bytes, bytes + size)) ? 1 : 0;
});
EM_JS(void, moxParts, (int window, const char* parts), { Module.moxPage.parts(window, UTF8ToString(parts)); });
// The banner drawn apart: its picture, how far it lies below its resting place and its width, in layout pixels.
EM_JS(void, moxBanner, (const char* picture, int fromRest, int width), {
  Module.moxRuntime.banner(UTF8ToString(picture), fromRest, width);
});
// clang-format on

// A rectangle for the page: "x y width height".
std::string rectText(const Rect& r) {
  return std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.w) + " " + std::to_string(r.h);
}

}  // namespace

void Window::announce() {
  const WindowInfo& w = form().window();
  moxWindowSize(slot_, w.clientWidth, w.clientHeight, w.title.c_str());
}

bool Window::update(const std::optional<paint::Overlay>& overlay, double deadline, bool atLeastOne, bool whole) {
  view_.collect(overlay);
  const std::vector<Rect> damage = view_.takeScreenDamage();
  backlog_.add(damage);
  // The pictures of what is to be drawn are made at their drawn sizes first (the page makes them in tasks of
  // their own and asks for a frame once they are all there); a frame then only copies them.
  if (!damage.empty() || waiting_) {
    waiting_ = false;
    for (const Rect& r : backlog_.waiting()) waiting_ = !painter_.prepare(slot_, view_.paintForm(r)) || waiting_;
  }
  bool drawn = false;
  while (!waiting_ && !backlog_.empty()) {
    const double start = emscripten_get_now();
    // A band is begun only where it would end by the deadline if it took as long as the last one: a band of text
    // takes up to 5 ms, and one begun just before the deadline held the frame for twice its budget.
    if (!(atLeastOne && !drawn) && start + (whole ? 0 : bandMs_) >= deadline) break;
    const Rect band = backlog_.take(whole ? std::numeric_limits<int>::max() : kBandPixels, shownParts(form()));
    painter_.target(slot_, band);
    painter_.execute(slot_, view_.paintForm(band));
    painter_.execute(slot_, view_.paintTop(band));
    painter_.flush(slot_);
    if (!whole) bandMs_ = emscripten_get_now() - start;
    drawn = true;
  }
  // The layer follows what the window shows (not each band of it), in a task of its own after the frame: its
  // elements' changes and the layout they cause would lengthen the frame's task by as much again.
  if (!damage.empty() && semanticsWanted_) semanticsDue_ = true;
  return drawn;
}

void Window::tellParts() {
  std::string out;
  for (const Rect& r : shownParts(form())) {
    if (!out.empty()) out += ';';
    out += rectText(r);
  }
  if (out == parts_) return;
  parts_ = out;
  moxParts(slot_, out.c_str());
}

std::string Window::openList() {
  const std::optional<paint::Popup>& p = view_.pointer().popup();
  return p ? rectText(p->rect) : "";
}

void Window::tellSemantics() {
  const double start = emscripten_get_now();
  const std::string out = semanticsText(semantics_.update(form()));
  moxSemantics(slot_, out.c_str(), emscripten_get_now() - start);
}

void Page::prefetch() {
  std::string shown;
  for (const std::string& name : paint::picturesShown(app_.mainForm())) shown += name + '\n';
  moxPrefetch(shown.c_str());
}

void Page::start() {
  // Fast auto-runs fill each tick for 35 ms at most (the desktop takes 80): with the window brought up to date
  // after a slice, the page's only thread is never held for more than 50 ms.
  shell_.start(steadyMicros(), kSliceUs);
  prefetch();
  // The planner's figuring goes to a second instance of the program in a Web Worker, which the page starts
  // when the first question comes; where none can start, it is figured here.
  const auto ask = [](const std::string& question) {
    return moxFigure(question.data(), static_cast<int>(question.size())) != 0;
  };
  app_.planner().figureElsewhere({.plan = [ask](const PlanInputs& in) { return ask(wire::write(in)); },
                                  .luck = [ask](const LuckInputs& in) { return ask(wire::write(in)); }});
  main_.announce();
  planner_.announce();
  main_.tellParts();
  planner_.tellParts();
  shell_.redrawAll();
  afterEvents();
}

paint::InputResult Page::handle(int slot, const paint::InputEvent& event) {
  if (!window(slot)) return {};
  const paint::InputResult result = shell_.handle(slot, event);
  moxCursor(slot, result.cursor == paint::Cursor::Hand);
  afterEvents();
  return result;
}

std::string Page::shownText(const Control& c) {
  return c.kind == Kind::DropDown && !c.selectedText().empty() ? c.selectedText() : c.caption;
}

std::string Page::describe(const std::string& name) {
  for (Window* w : {&main_, &planner_}) {
    const int i = w->form().indexOf(name);
    if (i < 0) continue;
    const Rect r = paint::absoluteRect(w->form(), i);
    const bool reachable = w->form().reachable(i);
    return std::to_string(w->slot()) + " " + std::to_string(r.x) + " " + std::to_string(r.y) + " " +
           std::to_string(r.w) + " " + std::to_string(r.h) + " " + (reachable ? "1 " : "0 ") +
           shownText(w->form().at(i));
  }
  return "-1 0 0 0 0 0 ";
}

std::string Page::keyboardControls(int slot) {
  Window* w = window(slot);
  if (!w) return "";
  const Form& f = w->form();
  std::string out;
  for (int i = 0; i < f.size(); ++i) {
    const Control& c = f.at(i);
    if (!paint::actsOnClick(c) || !f.reachable(i) || !paint::catchesPointer(c)) continue;
    const Rect r = paint::visibleRect(f, i);
    if (paint::empty(r) || paint::hitTest(f, r.x + r.w / 2, r.y + r.h / 2) != i) continue;
    if (!out.empty()) out += ';';
    out += std::to_string(i) + " " + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.w) + " " +
           std::to_string(r.h);
  }
  return out;
}

void Page::choose(int slot, int control, int item) {
  Window* w = window(slot);
  if (!w) return;
  w->view().choose(control, item);
  afterEvents();
}

void Page::figured(const std::string& bytes) {
  if (auto p = wire::readPlanOutcome(bytes))
    app_.planner().planFigured(*p);
  else if (auto l = wire::readLuckOutcome(bytes))
    app_.planner().luckFigured(*l);
  afterEvents();
}

void Page::figureHere() {
  app_.planner().figureHere();
  afterEvents();
}

void Page::closePlanner() {
  app_.planner().close();
  afterEvents();
}

bool Page::openLink(const std::string& fragment) {
  const bool read = app_.planner().openLink(fragment);
  afterEvents();
  return read;
}

void Page::refresh() {
  shell_.refresh();
  afterEvents();
}

void Page::redrawAll() {
  shell_.redrawAll();
  moxRequestFrame();
}

double Page::setScale(int slot, double wanted) {
  Window* w = window(slot);
  if (!w) return 1;
  const paint::Scale scale(wanted);
  painter_.setScale(slot, scale);
  const WindowInfo& info = w->form().window();
  moxCanvasSize(slot, scale.edge(info.clientWidth), scale.edge(info.clientHeight), scale.factor());
  w->view().redrawAll();
  moxRequestFrame();
  return scale.factor();
}

void Page::expose(int slot) {
  Window* w = window(slot);
  if (!w) return;
  w->view().exposeAll();
  moxRequestFrame();
}

void Page::setBannerApart(bool apart) {
  if (apart == bannerApart_) return;
  bannerApart_ = apart;
  apartPicture_ = "-";
  main_.view().redrawAll();
  moxRequestFrame();
}

bool Page::frame(double deadline, bool whole) {
  shell_.followPlanner();
  const std::optional<paint::Overlay> overlay = shell_.banner();
  // A banner that comes is said as well as shown.
  const std::string shown = overlay ? overlay->picture : std::string();
  if (shown != banner_ && !shown.empty()) moxAnnounce(std::string(paint::pictureText(shown)).c_str());
  banner_ = shown;
  // A main window shown in parts has the banner drawn apart, whole, over the part the player looks at.
  if (bannerApart_) {
    const std::string picture = overlay ? paint::pictureSource(overlay->picture, painter_.scale(0)).asset : "";
    const int y = overlay ? overlay->rect.y : 0;
    if (picture != apartPicture_ || y != apartY_) {
      moxBanner(picture.c_str(), y - BannerAnimation::kRestOffset, overlay ? overlay->rect.w : 0);
    }
    apartPicture_ = picture;
    apartY_ = y;
  }
  // A band at least a frame, of the window whose turn it is (each has a turn a frame); the other draws only while
  // the budget lasts. One band of each could hold the page's thread for twice a band's time (a band of text
  // takes up to 5 ms, and the browser then shows the canvases).
  const auto drawMain = [&](bool atLeastOne) {
    return main_.update(bannerApart_ ? std::nullopt : overlay, deadline, atLeastOne, whole);
  };
  const auto drawPlanner = [&](bool atLeastOne) {
    return shell_.plannerShown() && planner_.update(std::nullopt, deadline, atLeastOne, whole);
  };
  plannerFirst_ = !plannerFirst_;
  bool drawn = plannerFirst_ ? drawPlanner(true) : drawMain(true);
  drawn = (plannerFirst_ ? drawMain(!drawn) : drawPlanner(!drawn)) || drawn;
  main_.tellParts();
  planner_.tellParts();
  return drawn;
}

std::function<uint64_t()> Page::steadyMicros() {
  return [] { return static_cast<uint64_t>(emscripten_get_now() * 1000.0); };
}

bool Page::showPlanner() {
  moxPlannerShown(true);
  planner_.view().redrawAll();
  planner_.view().exposeAll();
  return true;
}

void Page::hidePlanner() { moxPlannerShown(false); }

void Page::timer(int slot, const paint::TimerChange& t) {
  moxTimer(slot, t.control, t.interval, static_cast<double>(t.generation));
}

void Page::present() { moxRequestFrame(); }

}  // namespace mox::web
