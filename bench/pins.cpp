// The planner's plans side by side as the desktop program draws them: the chart with four pinned curves under the
// plan's and its legend, and the table of four pins, painted into a display list and executed by the SDL front
// end's painter onto a window-sized surface with the real faces. A frame's budget is 16 ms.
#include <SDL.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "desktop/sdl/sdl_draw.h"
#include "desktop/sdl/sdl_fonts.h"
#include "runtime/headless_platform.h"
#include "ui/app.h"
#include "ui/paint/display_list.h"
#include "ui/paint/semantics.h"
#include "ui/paint/view.h"

namespace {

// A program with the planner open on four plans pinned (+0 to +4, +5, +6 and +7), showing a fifth.
struct Pinned {
  Pinned() : dir(std::filesystem::temp_directory_path() / "moxsim-pins-bench"), platform(dir), app(platform) {
    std::filesystem::create_directories(dir);
    std::filesystem::remove(dir / "MOXplans");
    app.start();
    app.click("规划按钮");
    for (int to : {4, 5, 6, 7, 8}) {
      app.select("目标等级", to);
      app.settle();
      if (to < 8) app.click("加入对比");
    }
  }
  ~Pinned() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;
  mox::HeadlessPlatform platform;
  mox::App app;
};

void BM_ChartAndTableWithFourPins(benchmark::State& state) {
  TTF_Init();
  {
    Pinned p;
    mox::sdl::Pictures pictures;
    mox::sdl::FontCache fonts;
    mox::sdl::Painter painter(pictures, fonts);
    mox::Form& form = p.app.plannerForm();
    mox::paint::View view(form, painter);
    const mox::Rect area = mox::paint::unite(mox::paint::absoluteRect(form, form.indexOf("花费分布图")),
                                             mox::paint::absoluteRect(form, form.indexOf("对比框")));
    SDL_Surface* target = SDL_CreateRGBSurfaceWithFormat(0, form.window().clientWidth, form.window().clientHeight, 32,
                                                         SDL_PIXELFORMAT_RGB888);
    const bool semantics = state.range(0) != 0;
    for (auto _ : state) {
      painter.execute(target, view.paintForm(area));
      if (semantics) benchmark::DoNotOptimize(mox::paint::semantics(form).size());
    }
    state.SetLabel(std::to_string(form.at(form.indexOf("花费分布图")).chart->curves.size()) + " pinned curves" +
                   (semantics ? ", and the screen reader's nodes" : ""));
    SDL_FreeSurface(target);
  }
  TTF_Quit();
}
BENCHMARK(BM_ChartAndTableWithFourPins)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
