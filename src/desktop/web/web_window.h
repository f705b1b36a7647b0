#pragma once
// The program's two windows on the page's canvases: a Window is one window's view of its form, drawn into its
// canvas (or its parts' canvases) a band at a time; the Page holds both, the program, and what the page's events
// do to them. The page reaches them through the exported functions (web_exports.cpp).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "desktop/web/web_draw.h"
#include "desktop/web/web_platform.h"
#include "ui/app.h"
#include "ui/paint/backlog.h"
#include "ui/paint/semantics.h"
#include "ui/paint/view.h"
#include "ui/shell.h"

namespace mox::web {

// A window of the page: its view of the form, drawn into its own canvas and shown on its screen canvas.
class Window {
 public:
  Window(paint::View& view, Painter& painter, int slot) : painter_(painter), view_(view), slot_(slot) {}

  paint::View& view() { return view_; }
  Form& form() { return view_.form(); }
  int slot() const { return slot_; }

  void announce();
  // Draws what changed, a band at a time until `deadline` (emscripten_get_now's clock) has passed (one band at
  // least when `atLeastOne`); what is left waits for the next frame. A `whole` frame is drawn in bands as large as
  // what waits (the first frame: the browser shows none of it before all of it, and each band costs a readback).
  // Returns whether anything was drawn. The window keeps no picture of its form: what shows it (its canvas, or its
  // parts' canvases) is drawn straight from the form and what lies over it. A canvas copied from another would be
  // copied whole by the browser at each frame that draws it again.
  bool update(const std::optional<paint::Overlay>& overlay, double deadline, bool atLeastOne, bool whole);
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
  void tellParts();

  // The open list of a drop-down, as "x y width height" in layout pixels, or "".
  std::string openList();

  // From now on the page's layer follows the window, starting with all of it (the first frame does not wait for
  // it).
  void startSemantics() {
    semanticsWanted_ = true;
    tellSemantics();
  }

 private:
  // What changed for a screen reader, after a frame that had damage (nothing changes at rest), as semanticsText
  // puts it (web_bridge.h). The page is told how long finding it took, for the benchmark.
  void tellSemantics();

  // A band's size, in layout pixels (a sixth of a phone's screen): a frame's budget is checked between bands.
  static constexpr int kBandPixels = 906 * 20;

  Painter& painter_;
  paint::View& view_;
  paint::Backlog backlog_;
  double bandMs_ = 0;     // what the last band took to draw (not one of a first frame's whole bands)
  bool waiting_ = false;  // for pictures the page is making
  paint::SemanticTracker semantics_;
  bool semanticsWanted_ = false;
  bool semanticsDue_ = false;  // the window changed since the layer was told
  int slot_;
  std::string parts_ = "-";  // the parts last told to the page
};

// The program in the page: both windows, and what the page's events do to them; the shell's host in a page.
class Page : public ShellHost {
 public:
  explicit Page(WebPlatform& platform)
      : app_(platform),
        shell_(app_, painter_, *this, Shell::MainWindow::Stays),
        main_(shell_.main(), painter_, kMainSlot),
        planner_(shell_.planner(), painter_, kPlannerSlot) {}

  // The browser decodes the first frame's pictures side by side, on its own threads: those the layout shows as
  // soon as the program is there (while the page still reads the stored stock), any the stock adds at start.
  void prefetch();

  void start();

  Window* window(int slot) { return slot == 0 ? &main_ : slot == 1 ? &planner_ : nullptr; }
  // Whether a frame left damage for the next.
  bool drawing() const { return main_.drawing() || (shell_.plannerShown() && planner_.drawing()); }
  bool waiting() const { return main_.waiting() || (shell_.plannerShown() && planner_.waiting()); }
  bool semanticsDue() const { return main_.semanticsDue() || planner_.semanticsDue(); }
  // The layer over one window told what changed there (each window's in a task of its own); returns whether the
  // other's waits.
  bool tellSemantics() {
    Window& w = main_.semanticsDue() ? main_ : planner_;
    w.tellSemanticsIfDue();
    return semanticsDue();
  }

  // One event for a window; returns what it did.
  paint::InputResult handle(int slot, const paint::InputEvent& event);

  // What a control says: its caption, or a drop-down's chosen item.
  static std::string shownText(const Control& c);

  std::string describe(const std::string& name);

  // The controls a keyboard can reach in a window, in creation order, as "control x y width height" in layout pixels
  // joined by ';': shown and enabled, with something to do on a click (a handler, a drop-down, a check box), and
  // on top at their middle, where the page clicks them for the keyboard.
  std::string keyboardControls(int slot);

  void startSemantics(int slot) {
    if (Window* w = window(slot)) w->startSemantics();
  }

  void choose(int slot, int control, int item);

  // An answer from the worker, as bytes.
  void figured(const std::string& bytes);
  void figureHere();

  void closePlanner();

  bool openLink(const std::string& fragment);

  // Something ran outside input (a save finished): the pointer looks again, and a frame follows.
  void refresh();

  // Every window drawn again from scratch (pictures arrived, the device pixel ratio changed).
  void redrawAll();

  // The window drawn at the scale factor nearest `wanted` (device pixels per layout pixel); returns the factor.
  double setScale(int slot, double wanted);
  // A point on a window's canvas, in the canvas's pixels, as the layout's pixel drawn there.
  std::pair<int, int> toLayout(int slot, int x, int y) const {
    const paint::Scale& scale = painter_.scale(slot == 1 ? 1 : 0);
    return {scale.toLayout(x), scale.toLayout(y)};
  }

  // The window drawn again where it shows (it is shown another way).
  void expose(int slot);

  // Whether the banner is drawn apart from the main window (shown in parts) or composed over it.
  void setBannerApart(bool apart);

  void fontsChanged() {
    painter_.forgetMetrics();
    redrawAll();
  }

  // The frame the page asked for, drawing until `deadline` (emscripten_get_now's clock) at most: returns whether
  // anything was drawn.
  bool frame(double deadline, bool whole);

  // The page shows the planner's canvas or hides it; the windows are drawn at the frame the page asks for next.
  bool showPlanner() override;
  void hidePlanner() override;
  void timer(int slot, const paint::TimerChange& change) override;
  void present() override;
  void quit() override {}  // never asked: the main window stays

 private:
  static constexpr int kSliceUs = 35000;

  static std::function<uint64_t()> steadyMicros();

  void afterEvents() { shell_.update(); }

  Painter painter_;
  App app_;
  Shell shell_;
  Window main_;
  Window planner_;
  bool plannerFirst_ = false;  // the planner's turn to draw first this frame
  std::string banner_;         // the banner's picture in the last frame
  bool bannerApart_ = false;
  std::string apartPicture_;  // the banner drawn apart: its picture as drawn ("" none) and its top
  int apartY_ = 0;
};

}  // namespace mox::web
