// moxsim in a web page: the program's two windows drawn on the page's canvases. The page (page.js) reads the
// stored save file and calls moxsim_start (the fonts follow, moxsim_fonts_changed); from then on every browser
// event the page catches arrives here through one of the exported functions below, and the page asks for a frame
// only after one of them, so nothing runs while nothing changes.
#include <emscripten.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "assets/assets.h"
#include "desktop/web/web_bridge.h"
#include "desktop/web/web_platform.h"
#include "desktop/web/web_window.h"
#include "runtime/fatal.h"
#include "runtime/headless_platform.h"
#include "sim/simulator.h"
#include "ui/app.h"
#include "ui/plan_wire.h"

namespace mox::web {

namespace {

WebPlatform gPlatform;
std::unique_ptr<Page> gPage;      // the started program
std::unique_ptr<Page> gPrepared;  // made, not yet started

// A button as the page numbers it (paint::Button, in MoxBridge); any other is the left one.
paint::Button button(int b) {
  return b == static_cast<int>(paint::Button::Right) || b == static_cast<int>(paint::Button::Middle)
             ? static_cast<paint::Button>(b)
             : paint::Button::Left;
}

}  // namespace

}  // namespace mox::web

using mox::web::gPage;
using mox::web::gPlatform;
using mox::web::gPrepared;

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

// Pointer events at (x, y) in the window canvas's own pixels; kind is a PointerKind (web_bridge.h). Returns 1 when
// the event meant something.
EMSCRIPTEN_KEEPALIVE int moxsim_pointer(int window, int kind, int x, int y, int b) {
  if (!gPage) return 0;
  using mox::web::PointerKind;
  const auto [lx, ly] = gPage->toLayout(window, x, y);
  mox::paint::InputEvent e = mox::paint::PointerLeave{};
  if (kind == static_cast<int>(PointerKind::Move)) e = mox::paint::PointerMove{lx, ly};
  if (kind == static_cast<int>(PointerKind::Down)) e = mox::paint::PointerDown{lx, ly, mox::web::button(b)};
  if (kind == static_cast<int>(PointerKind::Up)) e = mox::paint::PointerUp{lx, ly, mox::web::button(b)};
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

// key: a paint::Key. Returns 1 when the key was used.
EMSCRIPTEN_KEEPALIVE int moxsim_key(int window, int key) {
  if (!gPage || key < 0 || key > static_cast<int>(mox::paint::Key::Escape)) return 0;
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
EMSCRIPTEN_KEEPALIVE int moxsim_open_link(const char* fragment) { return gPage && gPage->openLink(fragment) ? 1 : 0; }

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
// waits): what it did, as the sum of FrameResult's values (web_bridge.h).
EMSCRIPTEN_KEEPALIVE int moxsim_frame(double budget, int whole) {
  if (!gPage) return 0;
  using mox::web::FrameResult;
  int result = 0;
  if (gPage->frame(emscripten_get_now() + budget, whole != 0)) result = result | FrameResult::Drawn;
  if (gPage->drawing()) result = result | FrameResult::Drawing;
  if (gPage->waiting()) result = result | FrameResult::Waiting;
  if (gPage->semanticsDue()) result = result | FrameResult::SemanticsDue;
  return result;
}

// The page's layer of elements over a window told what the window's frames changed; 1 when the other window's
// waits for the next call.
EMSCRIPTEN_KEEPALIVE int moxsim_semantics() { return gPage && gPage->tellSemantics() ? 1 : 0; }

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
