// moxsim in a web page: the program's two windows drawn on the page's canvases. The page (page.js) reads the
// stored save file and calls moxsim_start (the fonts follow, moxsim_fonts_changed); from then on every browser
// event the page catches arrives here through one of the exported functions below, and the page asks for a frame
// only after one of them, so nothing runs while nothing changes.
#include <emscripten.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "assets/assets.h"
#include "desktop/web/web_draw.h"
#include "desktop/web/web_platform.h"
#include "runtime/fatal.h"
#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"
#include "ui/banner.h"
#include "ui/paint/backlog.h"
#include "ui/paint/semantics.h"
#include "ui/paint/view.h"
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

// A window of the page: its view of the form, drawn into its own canvas and shown on its screen canvas.
class Window {
 public:
  Window(Form& form, Painter& painter, int slot) : painter_(painter), view_(form, painter), slot_(slot) {}

  paint::View& view() { return view_; }
  Form& form() { return view_.form(); }
  int slot() const { return slot_; }

  void announce() {
    const WindowInfo& w = form().window();
    moxWindowSize(slot_, w.clientWidth, w.clientHeight, w.title.c_str());
  }
  void syncTimers() {
    for (const paint::TimerChange& t : view_.takeTimerChanges()) {
      moxTimer(slot_, t.control, t.interval, static_cast<double>(t.generation));
    }
  }
  // Draws what changed, a band at a time until `deadline` (emscripten_get_now's clock) has passed (one band at
  // least when `atLeastOne`); what is left waits for the next frame. A `whole` frame is drawn in bands as large as
  // what waits (the first frame: the browser shows none of it before all of it, and each band costs a readback).
  // Returns whether anything was drawn. The window keeps no picture of its form: what shows it (its canvas, or its
  // parts' canvases) is drawn straight from the form and what lies over it. A canvas copied from another would be
  // copied whole by the browser at each frame that draws it again.
  bool update(const std::optional<paint::Overlay>& overlay, double deadline, bool atLeastOne, bool whole) {
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
    while (!waiting_ && !backlog_.empty() && ((atLeastOne && !drawn) || emscripten_get_now() < deadline)) {
      const Rect band = backlog_.take(whole ? std::numeric_limits<int>::max() : kBandPixels, shownParts(form()));
      painter_.target(slot_, band);
      painter_.execute(slot_, view_.paintForm(band));
      painter_.execute(slot_, view_.paintTop(band));
      painter_.flush(slot_);
      drawn = true;
    }
    // The layer follows what the window shows (not each band of it), in a task of its own after the frame: its
    // elements' changes and the layout they cause would lengthen the frame's task by as much again.
    if (!damage.empty() && semanticsWanted_) semanticsDue_ = true;
    return drawn;
  }
  bool semanticsDue() const { return semanticsDue_; }
  void tellSemanticsIfDue() {
    if (!semanticsDue_) return;
    semanticsDue_ = false;
    tellSemantics();
  }
  // Whether damage waits to be drawn in the next frame (rather than for the page's pictures).
  bool drawing() const { return !backlog_.empty() && !waiting_; }
  bool waiting() const { return waiting_; }

  // The parts the window is shown in on a narrow screen, told to the page when they change (a help panel opens).
  void tellParts() {
    std::string out;
    for (const Rect& r : shownParts(form())) {
      if (!out.empty()) out += ';';
      out += rectText(r);
    }
    if (out == parts_) return;
    parts_ = out;
    moxParts(slot_, out.c_str());
  }

  // The open list of a drop-down, as "x y width height" in layout pixels, or "".
  std::string openList() {
    const std::optional<paint::Popup>& p = view_.pointer().popup();
    return p ? rectText(p->rect) : "";
  }

  // From now on the page's layer follows the window, starting with all of it (the first frame does not wait for
  // it).
  void startSemantics() {
    semanticsWanted_ = true;
    tellSemantics();
  }

 private:
  // What changed for a screen reader, after a frame that had damage (nothing changes at rest), as
  // nodes joined by \x1e, their fields (a list's items last) by \x1f; a removed node is its control and "-". The
  // page is told how long finding it took, for the benchmark.
  void tellSemantics() {
    const double start = emscripten_get_now();
    const paint::SemanticChanges changes = semantics_.update(form());
    std::string out;
    for (const paint::Node& n : changes.changed) {
      if (!out.empty()) out += '\x1e';
      for (int v : {n.control, static_cast<int>(n.role), n.rect.x, n.rect.y, n.rect.w, n.rect.h, int(n.disabled),
                    int(n.checked), n.selection, n.grid, n.row, n.column}) {
        out += std::to_string(v) + '\x1f';
      }
      out += n.name;
      for (const std::string& item : n.items) out += '\x1f' + item;
    }
    for (int control : changes.removed) {
      if (!out.empty()) out += '\x1e';
      out += std::to_string(control) + "\x1f-";
    }
    moxSemantics(slot_, out.c_str(), emscripten_get_now() - start);
  }

  // A band's size, in layout pixels (a sixth of a phone's screen): a frame's budget is checked between bands.
  static constexpr int kBandPixels = 906 * 20;

  Painter& painter_;
  paint::View view_;
  paint::Backlog backlog_;
  bool waiting_ = false;  // for pictures the page is making
  paint::SemanticTracker semantics_;
  bool semanticsWanted_ = false;
  bool semanticsDue_ = false;  // the window changed since the layer was told
  int slot_;
  std::string parts_ = "-";  // the parts last told to the page
};

// The program in the page: both windows, and what the page's events do to them.
class Page {
 public:
  explicit Page(WebPlatform& platform)
      : app_(platform), main_(app_.mainForm(), painter_, 0), planner_(app_.plannerForm(), painter_, 1) {}

  // The browser decodes the first frame's pictures side by side, on its own threads: those the layout shows as
  // soon as the program is there (while the page still reads the stored stock), any the stock adds at start.
  void prefetch() {
    std::string shown;
    for (const std::string& name : paint::picturesShown(app_.mainForm())) shown += name + '\n';
    moxPrefetch(shown.c_str());
  }

  void start() {
    app_.start();
    prefetch();
    // Fast auto-runs fill each tick for 35 ms at most (the desktop takes 80): with the window brought up to date
    // after a slice, the page's only thread is never held for more than 50 ms.
    app_.planner().setClock(steadyMicros(), kSliceUs);
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
    main_.view().redrawAll();
    planner_.view().redrawAll();
    afterEvents();
  }

  Window* window(int slot) { return slot == 0 ? &main_ : slot == 1 ? &planner_ : nullptr; }
  // Whether a frame left damage for the next.
  bool drawing() const { return main_.drawing() || (plannerShown_ && planner_.drawing()); }
  bool waiting() const { return main_.waiting() || (plannerShown_ && planner_.waiting()); }
  bool semanticsDue() const { return main_.semanticsDue() || planner_.semanticsDue(); }
  // The layer over one window told what changed there (each window's in a task of its own); returns whether the
  // other's waits.
  bool tellSemantics() {
    Window& w = main_.semanticsDue() ? main_ : planner_;
    w.tellSemanticsIfDue();
    return semanticsDue();
  }

  // One event for a window; returns what it did.
  paint::InputResult handle(int slot, const paint::InputEvent& event) {
    Window* w = window(slot);
    if (!w) return {};
    const paint::InputResult result = w->view().handle(event);
    if (result.close) {
      // Esc first stops an auto-run; in the planner window it then hides the window. The main window has nowhere
      // to close to in a page: its Esc only stops an auto-run.
      app_.escape(w->form());
    }
    moxCursor(slot, result.cursor == paint::Cursor::Hand);
    afterEvents();
    return result;
  }

  // What a control says: its caption, or a drop-down's chosen item.
  static std::string shownText(const Control& c) {
    const bool chosen = c.kind == Kind::DropDown && c.selection >= 0 && c.selection < static_cast<int>(c.items.size());
    return chosen ? c.items[static_cast<size_t>(c.selection)].text : c.caption;
  }

  std::string describe(const std::string& name) {
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

  // The controls a keyboard can reach in a window, in creation order, as "control x y width height" in layout pixels
  // joined by ';': shown and enabled, with something to do on a click (a handler, a drop-down, a check box), and
  // on top at their middle, where the page clicks them for the keyboard.
  std::string keyboardControls(int slot) {
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
      out += std::to_string(i) + " " + std::to_string(r.x) + " " + std::to_string(r.y) + " " + std::to_string(r.w) + " " + std::to_string(r.h);
    }
    return out;
  }

  void startSemantics(int slot) {
    if (Window* w = window(slot)) w->startSemantics();
  }

  void choose(int slot, int control, int item) {
    Window* w = window(slot);
    if (!w) return;
    w->view().choose(control, item);
    afterEvents();
  }

  // An answer from the worker, as bytes.
  void figured(const std::string& bytes) {
    if (auto p = wire::readPlanOutcome(bytes)) app_.planner().planFigured(*p);
    else if (auto l = wire::readLuckOutcome(bytes)) app_.planner().luckFigured(*l);
    afterEvents();
  }
  void figureHere() {
    app_.planner().figureHere();
    afterEvents();
  }

  void closePlanner() {
    app_.planner().close();
    afterEvents();
  }

  bool openLink(const std::string& fragment) {
    const bool read = app_.planner().openLink(fragment);
    afterEvents();
    return read;
  }

  // Something ran outside input (a save finished): the pointer looks again, and a frame follows.
  void refresh() {
    main_.view().handle(paint::Refresh{});
    planner_.view().handle(paint::Refresh{});
    afterEvents();
  }

  // Every window drawn again from scratch (pictures arrived, the device pixel ratio changed).
  void redrawAll() {
    main_.view().redrawAll();
    planner_.view().redrawAll();
    moxRequestFrame();
  }

  // The window drawn at the scale factor nearest `wanted` (device pixels per layout pixel); returns the factor.
  double setScale(int slot, double wanted) {
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
  // A point on a window's canvas, in the canvas's pixels, as the layout's pixel drawn there.
  std::pair<int, int> toLayout(int slot, int x, int y) const {
    const paint::Scale& scale = painter_.scale(slot == 1 ? 1 : 0);
    return {scale.toLayout(x), scale.toLayout(y)};
  }

  // The window drawn again where it shows (it is shown another way).
  void expose(int slot) {
    Window* w = window(slot);
    if (!w) return;
    w->view().exposeAll();
    moxRequestFrame();
  }

  // Whether the banner is drawn apart from the main window (shown in parts) or composed over it.
  void setBannerApart(bool apart) {
    if (apart == bannerApart_) return;
    bannerApart_ = apart;
    apartPicture_ = "-";
    main_.view().redrawAll();
    moxRequestFrame();
  }

  void fontsChanged() {
    painter_.forgetMetrics();
    redrawAll();
  }

  // The frame the page asked for, drawing until `deadline` (emscripten_get_now's clock) at most: returns whether
  // anything was drawn.
  bool frame(double deadline, bool whole) {
    followPlanner();
    Form& banner = app_.bannerForm();
    banner.takeFullRedraw();
    banner.takeDirty();
    const std::optional<paint::Overlay> overlay = paint::overlayOf(banner, main_.form());
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
      return plannerShown_ && planner_.update(std::nullopt, deadline, atLeastOne, whole);
    };
    plannerFirst_ = !plannerFirst_;
    bool drawn = plannerFirst_ ? drawPlanner(true) : drawMain(true);
    drawn = (plannerFirst_ ? drawMain(!drawn) : drawPlanner(!drawn)) || drawn;
    main_.tellParts();
    planner_.tellParts();
    return drawn;
  }

 private:
  static constexpr int kSliceUs = 35000;

  static std::function<uint64_t()> steadyMicros() {
    return [] { return static_cast<uint64_t>(emscripten_get_now() * 1000.0); };
  }

  void afterEvents() {
    followPlanner();
    main_.syncTimers();
    planner_.syncTimers();
    moxRequestFrame();
  }

  void followPlanner() {
    const bool wanted = planner_.form().window().visible;
    if (wanted == plannerShown_) return;
    plannerShown_ = wanted;
    moxPlannerShown(wanted);
    if (wanted) {
      planner_.view().redrawAll();
      planner_.view().exposeAll();
    } else {
      planner_.view().handle(paint::PointerLeave{});
    }
  }

  Painter painter_;
  App app_;
  Window main_;
  Window planner_;
  bool plannerShown_ = false;
  bool plannerFirst_ = false;  // the planner's turn to draw first this frame
  std::string banner_;  // the banner's picture in the last frame
  bool bannerApart_ = false;
  std::string apartPicture_;  // the banner drawn apart: its picture as drawn ("" none) and its top
  int apartY_ = 0;
};

WebPlatform gPlatform;
std::unique_ptr<Page> gPage;      // the started program
std::unique_ptr<Page> gPrepared;  // made, not yet started

paint::Button button(int b) {
  return b == 2 ? paint::Button::Right : b == 1 ? paint::Button::Middle : paint::Button::Left;
}

}  // namespace

}  // namespace mox::web

using mox::web::gPage;
using mox::web::gPrepared;
using mox::web::gPlatform;

extern "C" {

// A file the page found in the browser's storage, before start-up.
EMSCRIPTEN_KEEPALIVE void moxsim_put_file(const char* name, const char* bytes, int size) {
  gPlatform.putFile(name, std::string(bytes, static_cast<size_t>(size)));
}

// The windows made and their pictures on the way while the page still reads the stored files. Nothing else
// reaches the program until it starts.
EMSCRIPTEN_KEEPALIVE void moxsim_prepare() {
  if (gPage || gPrepared) return;
  gPrepared = std::make_unique<mox::web::Page>(gPlatform);
  gPrepared->prefetch();
}

EMSCRIPTEN_KEEPALIVE int moxsim_start() {
  if (gPage) return 1;
  moxsim_prepare();
  gPage = std::move(gPrepared);
  gPage->start();
  return 1;
}

// The embedded asset of that name, for the page to decode: its bytes' address (0 when missing) and size.
EMSCRIPTEN_KEEPALIVE const unsigned char* moxsim_asset(const char* name) {
  const mox::assets::Asset* a = mox::assets::find(name);
  return a ? a->bytes.data() : nullptr;
}
EMSCRIPTEN_KEEPALIVE int moxsim_asset_size(const char* name) {
  const mox::assets::Asset* a = mox::assets::find(name);
  return a ? static_cast<int>(a->bytes.size()) : 0;
}

// moxsim-assets.bin's bytes, in memory the page keeps for as long as it runs. Returns how many assets it gave.
EMSCRIPTEN_KEEPALIVE int moxsim_adopt_pack(const unsigned char* bytes, int size) {
  return static_cast<int>(mox::assets::adoptPack({bytes, static_cast<size_t>(std::max(size, 0))}));
}

// Pointer events at (x, y) in the window canvas's own pixels. kind: 0 move, 1 button down, 2 button up, 3 the
// pointer left. Returns 1 when the event meant something.
EMSCRIPTEN_KEEPALIVE int moxsim_pointer(int window, int kind, int x, int y, int b) {
  if (!gPage) return 0;
  const auto [lx, ly] = gPage->toLayout(window, x, y);
  mox::paint::InputEvent e = mox::paint::PointerLeave{};
  if (kind == 0) e = mox::paint::PointerMove{lx, ly};
  if (kind == 1) e = mox::paint::PointerDown{lx, ly, mox::web::button(b)};
  if (kind == 2) e = mox::paint::PointerUp{lx, ly, mox::web::button(b)};
  return gPage->handle(window, e).used ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int moxsim_wheel(int window, int x, int y, int steps) {
  if (!gPage) return 0;
  const auto [lx, ly] = gPage->toLayout(window, x, y);
  return gPage->handle(window, mox::paint::Wheel{lx, ly, steps}).used ? 1 : 0;
}

// The scale factor nearest `wanted` device pixels per layout pixel for a window; returns the one taken.
EMSCRIPTEN_KEEPALIVE double moxsim_scale(int window, double wanted) {
  return gPage ? gPage->setScale(window, wanted) : 1;
}

// key: 0 up, 1 down, 2 enter, 3 escape (as paint::Key). Returns 1 when the key was used.
EMSCRIPTEN_KEEPALIVE int moxsim_key(int window, int key) {
  if (!gPage || key < 0 || key > 3) return 0;
  const mox::paint::InputResult r = gPage->handle(window, mox::paint::KeyDown{static_cast<mox::paint::Key>(key)});
  return r.used || r.close ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void moxsim_focus_lost(int window) {
  if (gPage) gPage->handle(window, mox::paint::FocusLost{});
}

EMSCRIPTEN_KEEPALIVE void moxsim_timer(int window, int control, double generation) {
  if (gPage) gPage->handle(window, mox::paint::TimerTick{control, static_cast<uint64_t>(generation)});
}

EMSCRIPTEN_KEEPALIVE void moxsim_write_done(int id, int ok) {
  gPlatform.writeDone(id, ok != 0);
  if (gPage) gPage->refresh();
}

// The page's layer of elements for screen readers over a window is made now and follows it from then on.
EMSCRIPTEN_KEEPALIVE void moxsim_start_layer(int window) {
  if (gPage) gPage->startSemantics(window);
}

// An item of a window's drop-down chosen from the page's layer of elements (its select).
EMSCRIPTEN_KEEPALIVE void moxsim_choose(int window, int control, int item) {
  if (gPage) gPage->choose(window, control, item);
}

// The worker's answer to a planner question (wire::write's bytes).
EMSCRIPTEN_KEEPALIVE void moxsim_figured(const char* bytes, int size) {
  if (gPage) gPage->figured(std::string(bytes, static_cast<size_t>(std::max(size, 0))));
}

// The worker is gone: what it was asked and did not answer is figured on the page's thread from now on.
EMSCRIPTEN_KEEPALIVE void moxsim_figure_here() {
  if (gPage) gPage->figureHere();
}

// In the worker's instance: a planner question answered (the luck's walks kept here between questions). The
// answer's bytes stay until the next question; moxsim_answer_size gives their count.
namespace {
std::string gAnswer;
}
EMSCRIPTEN_KEEPALIVE const char* moxsim_answer(const char* bytes, int size) {
  static const auto walks = std::make_shared<mox::LuckWalks>();
  gAnswer = mox::wire::answer(std::string(bytes, static_cast<size_t>(std::max(size, 0))), walks);
  return gAnswer.data();
}
EMSCRIPTEN_KEEPALIVE int moxsim_answer_size() { return static_cast<int>(gAnswer.size()); }

// The banner drawn apart from the main window (1), for a page that shows the window in parts, or over it (0).
EMSCRIPTEN_KEEPALIVE void moxsim_banner_apart(int apart) {
  if (gPage) gPage->setBannerApart(apart != 0);
}

// The open list of a window's drop-down as "x y width height" in layout pixels, or "" when none is open.
EMSCRIPTEN_KEEPALIVE const char* moxsim_open_list(int window) {
  static std::string out;
  mox::web::Window* w = gPage ? gPage->window(window) : nullptr;
  out = w ? w->openList() : "";
  return out.c_str();
}

EMSCRIPTEN_KEEPALIVE void moxsim_close_planner() {
  if (gPage) gPage->closePlanner();
}

// The planner opened on the question of a link's fragment; 0 when the fragment is not one.
EMSCRIPTEN_KEEPALIVE int moxsim_open_link(const char* fragment) {
  return gPage && gPage->openLink(fragment) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void moxsim_fonts_changed() {
  if (gPage) gPage->fontsChanged();
}

EMSCRIPTEN_KEEPALIVE void moxsim_expose(int window) {
  if (gPage) gPage->expose(window);
}

EMSCRIPTEN_KEEPALIVE void moxsim_redraw_all() {
  if (gPage) gPage->redrawAll();
}

// For tests and scripts that drive the page as a user does: where a control of that name is and what it shows,
// as "window x y width height reachable caption" (reachable: shown and enabled; window -1: no such control).
EMSCRIPTEN_KEEPALIVE const char* moxsim_describe(const char* name) {
  static std::string out;
  out = gPage ? gPage->describe(name) : "-1 0 0 0 0 0 ";
  return out.c_str();
}

// What the keyboard can reach in a window (Page::keyboardControls).
EMSCRIPTEN_KEEPALIVE const char* moxsim_keyboard_controls(int window) {
  static std::string out;
  out = gPage ? gPage->keyboardControls(window) : "";
  return out.c_str();
}

// A frame drawn within `budget` ms (at least one band of a window with damage; `whole`: in bands as large as what
// waits): 1 when anything was drawn, plus 2 when damage is left for the next frame, plus 4 when a window waits for
// pictures the page is making, plus 8 when the layer of elements is to be told what changed (moxsim_semantics, in
// a task after the frame's).
EMSCRIPTEN_KEEPALIVE int moxsim_frame(double budget, int whole) {
  if (!gPage) return 0;
  const bool drawn = gPage->frame(emscripten_get_now() + budget, whole != 0);
  return (drawn ? 1 : 0) + (gPage->drawing() ? 2 : 0) + (gPage->waiting() ? 4 : 0) + (gPage->semanticsDue() ? 8 : 0);
}

// The page's layer of elements over a window told what the window's frames changed; 1 when the other window's
// waits for the next call.
EMSCRIPTEN_KEEPALIVE int moxsim_semantics() {
  return gPage && gPage->tellSemantics() ? 1 : 0;
}

// Whether the bytes are a save file the program loads, read by the very loader it starts with (on a scratch
// program of its own, so the stock on screen is untouched). Returns 1 when a stock was read.
EMSCRIPTEN_KEEPALIVE int moxsim_check_save(const char* bytes, int size) {
  const std::filesystem::path dir = "/tmp/moxsim-import";
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir, ec);
  std::ofstream(dir / mox::web::WebPlatform::kSaveFile, std::ios::binary)
      .write(bytes, static_cast<std::streamsize>(size));
  bool loaded = false;
  {
    mox::HeadlessPlatform scratch(dir);
    mox::App app(scratch);
    app.start();
    loaded = app.sim().loadStock();
  }
  // The scratch program took over the fatal-error path: it belongs to the page's program again.
  mox::setFatalHandler([](const std::string& message) { gPlatform.fatal(message); });
  std::filesystem::remove_all(dir, ec);
  return loaded ? 1 : 0;
}

}  // extern "C"

int main() {
  // Everything starts when the page calls moxsim_start, once it has read the storage and loaded the fonts.
  return 0;
}
