// The Windows front end's parts that need no window: where the data file goes, timer ticks by elapsed time,
// picture decoding, the display list executed into a DIB section, the Chinese faces, and sound without a device.
#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <climits>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "assets/assets.h"
#include "desktop/win32/win32_audio.h"
#include "desktop/win32/win32_dpi.h"
#include "desktop/win32/win32_draw.h"
#include "desktop/win32/win32_platform.h"
#include "desktop/win32/win32_window.h"
#include "app_fixture.h"
#include "runtime/headless_platform.h"
#include "ui/app.h"
#include "ui/paint/view.h"

namespace mox::win32 {
namespace {

class ComScope : public ::testing::Environment {
 public:
  void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  void TearDown() override { CoUninitialize(); }
};
const auto* const kCom = ::testing::AddGlobalTestEnvironment(new ComScope);

std::filesystem::path freshDir(const char* name) {
  auto dir = std::filesystem::temp_directory_path() /
             (std::string("moxwin32-") + name + "-" + std::to_string(GetCurrentProcessId()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

uint32_t rgbOf(const Canvas& c, int x, int y) { return c.pixel(x, y) & 0xFFFFFF; }  // 0xRRGGBB

TEST(DataDir, BesideTheProgramWhenWritableElseUnderAppData) {
  const auto dir = freshDir("data");
  const auto appData = dir / "AppData";
  // The roaming folder is not even looked up when the program's own folder will do.
  int asked = 0;
  EXPECT_EQ(chooseDataDir(dir,
                          [&] {
                            ++asked;
                            return appData;
                          }),
            dir);
  EXPECT_EQ(asked, 0);
  // The probe leaves nothing behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 0);
  // A folder that cannot be written (here: one that does not exist) sends the file to %APPDATA%\moxsim.
  const auto locked = dir / "missing";
  EXPECT_FALSE(directoryWritable(locked));
  EXPECT_EQ(chooseDataDir(locked, [&] { return appData; }), appData / "moxsim");
  EXPECT_TRUE(std::filesystem::is_directory(appData / "moxsim"));
  EXPECT_EQ(chooseDataDir(locked, [] { return std::filesystem::path(); }), locked);
  EXPECT_FALSE(appDataDirectory().empty());
  std::filesystem::remove_all(dir);
}

TEST(DataDir, ASaveWithoutAWindowIsWrittenAtOnceAndReadBack) {
  const auto dir = freshDir("save");
  WaveOut audio;
  Win32Platform platform(dir, audio);
  bool result = false;
  platform.replaceFileLater("MOXdata", "abc", [&](bool ok) { result = ok; });
  EXPECT_TRUE(result);
  EXPECT_EQ(platform.readFile("MOXdata", 100), "abc");
  EXPECT_TRUE(platform.fileExists("MOX*"));
  EXPECT_FALSE(std::filesystem::exists(dir / "MOXdata.saving"));
  EXPECT_FALSE(platform.readFile("MOXdata", 2));  // larger than the limit
  std::filesystem::remove_all(dir);
}

TEST(Timers, TicksFollowElapsedTimeNotTheTimerRate) {
  EXPECT_EQ(ticksOwed(95, 10, 0), 9u);
  EXPECT_EQ(ticksOwed(100, 10, 7), 3u);  // a slow timer's message catches up
  EXPECT_EQ(ticksOwed(100, 10, 10), 0u);
  EXPECT_EQ(ticksOwed(60'000, 10, 0), kMaxCatchUp);  // a stall jumps ahead
  EXPECT_EQ(ticksOwed(100, 0, 0), 0u);
}

TEST(Boxes, TheLogicsFlagsAreTheSystemsAndItsCodesStartAtZero) {
  EXPECT_EQ(boxStyle(MB_YESNO | MB_ICONQUESTION) & ~static_cast<UINT>(MB_SETFOREGROUND),
            static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_EQ(boxResult(IDOK, MB_OK), kBoxOk);
  EXPECT_EQ(boxResult(IDNO, MB_YESNO), kBoxNo);
  EXPECT_EQ(boxResult(IDCANCEL, MB_OKCANCEL), kBoxCancel);
  EXPECT_EQ(boxResult(0, MB_YESNO), kBoxYes);  // the box could not be shown
}

TEST(Pictures, EveryEmbeddedPictureDecodesAndKeyingMakesThePageShow) {
  Pictures pictures;
  int decoded = 0;
  for (const assets::Asset& a : assets::all()) {
    if (a.name.starts_with("sound")) continue;
    const Image* image = pictures.get(std::string(a.name));
    ASSERT_NE(image, nullptr) << a.name;
    EXPECT_GT(image->width, 0);
    ++decoded;
  }
  EXPECT_GT(decoded, 50);
  EXPECT_FALSE(pictures.get("banner_saved")->opaque);  // the banners carry their own alpha
  EXPECT_TRUE(pictures.get("header")->opaque);
  EXPECT_EQ(pictures.get("no such picture"), nullptr);
  const Image* plain = pictures.get("small_save_normal");
  const Image* keyed = pictures.keyed("small_save_normal", rgb(0x27, 0x15, 0x0a));
  ASSERT_TRUE(plain && keyed);
  EXPECT_NE(plain->pixels[0] & 0xFFFFFF, 0u);  // near the page colour, not exactly it (JPEG)
  EXPECT_EQ(keyed->pixels[0], 0u);
  EXPECT_EQ(keyed->pixels[static_cast<size_t>(15 * keyed->width + 27)] >> 24, 255u);
}

TEST(Pictures, ThoseCarriedDecodedAreWhatTheSystemsDecoderGives) {
  int carried = 0;
  for (const assets::Asset& a : assets::all()) {
    if (a.pixels.empty()) continue;
    ++carried;
    const std::optional<Image> system = decodeImage(a.bytes);
    ASSERT_TRUE(system) << a.name;
    ASSERT_EQ(system->width, a.width) << a.name;
    ASSERT_EQ(system->height, a.height) << a.name;
    // Decoders may round a JPEG's last bit differently; nothing a player could see.
    int worst = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
      for (int shift = 0; shift < 32; shift += 8) {
        worst = std::max(worst, std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) -
                                         static_cast<int>((system->pixels[i] >> shift) & 0xFF)));
      }
    }
    EXPECT_LE(worst, 2) << a.name;
  }
  EXPECT_GT(carried, 10);
}

TEST(Pictures, TheFirstFrameNeedsNoDecoderWithAnEmptyOrAFullBag) {
  for (const bool stocked : {false, true}) {
    moxtest::Program program;
    if (stocked) program.withStock({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    program.start();
    Pictures pictures;
    Fonts fonts;
    Painter painter(pictures, fonts);
    paint::View view(program.form(), painter);
    int shown = 0;
    for (const paint::Command& c : view.paintForm(view.client())) {
      const auto* p = std::get_if<paint::Picture>(&c);
      if (!p) continue;
      ++shown;
      // Drawn from at 1 and at every larger factor.
      for (const std::string& name : {p->asset, paint::pictureSource(p->asset, paint::Scale(2)).asset}) {
        const assets::Asset* a = assets::find(name);
        ASSERT_NE(a, nullptr) << name;
        EXPECT_FALSE(a->pixels.empty()) << name << (stocked ? " with a full bag" : "");
      }
    }
    EXPECT_GT(shown, stocked ? 25 : 10);
  }
}

TEST(Pictures, DecodedAheadOnAnotherThreadAsWhenAskedForDirectly) {
  Pictures ahead, direct;
  std::thread decoder([&] {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ahead.decodeAnnounced();
    if (com) CoUninitialize();
  });
  paint::DisplayList list;
  for (const char* name : {"header", "bag", "header", "no such picture", "cell_empty"}) {
    list.push_back(paint::Picture{name, 0, 0, {0, 0, 10, 10}});
  }
  list.push_back(paint::Fill{{0, 0, 5, 5}, 0});
  ahead.announce(list);
  ahead.announce({});  // only the first announcement counts
  // Asked for while the other thread may still be at it: the same picture, decoded once.
  const Image* bag = ahead.get("bag");
  decoder.join();
  ASSERT_NE(bag, nullptr);
  EXPECT_EQ(bag, ahead.get("bag"));
  EXPECT_EQ(bag->pixels, direct.get("bag")->pixels);
  EXPECT_EQ(ahead.get("cell_empty")->pixels, direct.get("cell_empty")->pixels);
  EXPECT_EQ(ahead.get("no such picture"), nullptr);
  // Pictures nobody announced are decoded when asked for.
  EXPECT_NE(ahead.get("small_save_normal"), nullptr);
}

TEST(Pictures, ThoseDrawnBetweenTheSetsAreResampledAheadOnceAndAlike) {
  Pictures ahead, direct;
  const paint::Scale s(1.5);
  const Rect all{0, 0, 906, 682};
  paint::DisplayList list{paint::Picture{"bag", 3, 5, all},
                          paint::Picture{"small_save_normal", 0, 0, all, 255, false, rgb(0x27, 0x15, 0x0a)}};
  ahead.announce(list, s);
  std::thread decoder([&] {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ahead.decodeAnnounced();
    if (com) CoUninitialize();
  });
  // Asked for while the other thread may be making them: the same pictures, made once, as made alone.
  std::vector<std::pair<const Image*, std::function<const Image*()>>> made;
  for (const paint::Command& c : list) {
    const auto& p = std::get<paint::Picture>(c);
    const paint::PictureSource source = paint::pictureSource(p.asset, s);
    const Image* full = ahead.get(source.asset);
    ASSERT_NE(full, nullptr) << source.asset;
    const Rect r = screenPlace(p, *full, source.density, s);
    auto ask = [&, asset = source.asset, key = p.key, r] { return ahead.sized(asset, key, r.w, r.h); };
    const Image* mine = ask();
    const Image* alone = direct.sized(source.asset, p.key, r.w, r.h);
    ASSERT_TRUE(mine && alone);
    EXPECT_EQ(mine->width, r.w);
    EXPECT_EQ(mine->pixels, alone->pixels) << p.asset;
    made.emplace_back(mine, ask);
  }
  decoder.join();
  for (const auto& [mine, ask] : made) EXPECT_EQ(mine, ask());
}

TEST(Pictures, BetweenTheSetsTheFirstFrameIsQuickAndTheRefinedOneEqualsTheCarefulPixelForPixel) {
  const paint::Scale s(1.5);
  const Rect all{0, 0, 906, 682};
  const paint::DisplayList list{paint::Picture{"header", 0, 0, all}, paint::Picture{"bag", 3, 5, all},
                                paint::Picture{"small_save_normal", 0, 0, all, 255, false, rgb(0x27, 0x15, 0x0a)}};
  Fonts fonts;
  Pictures carefully, refining;
  Painter careful(carefully, fonts), quick(refining, fonts);
  std::atomic<int> woken = 0;
  refining.refineLater([&] { ++woken; });
  const Rect screen = s.rect(all);
  Canvas reference(screen.w, screen.h), first(screen.w, screen.h), refined(screen.w, screen.h);
  careful.execute(reference, list, s);
  quick.execute(first, list, s);
  const auto same = [&](const Canvas& a) {
    for (int y = 0; y < screen.h; ++y)
      for (int x = 0; x < screen.w; ++x)
        if (a.pixel(x, y) != reference.pixel(x, y)) return false;
    return true;
  };
  EXPECT_FALSE(same(first));
  EXPECT_FALSE(refining.adoptRefined());  // nothing is made before the first frame is up
  refining.finishRefining();
  EXPECT_GE(woken, 1);
  EXPECT_TRUE(refining.adoptRefined());
  quick.execute(refined, list, s);
  EXPECT_TRUE(same(refined));
}

class Drawing : public ::testing::Test {
 protected:
  Pictures pictures;
  Fonts fonts;
  Painter painter{pictures, fonts};
  Canvas canvas{906, 682};
};

TEST_F(Drawing, CommandsStayInsideTheirClips) {
  ASSERT_TRUE(canvas.ok());
  paint::DisplayList list;
  list.push_back(paint::Fill{{0, 0, 906, 682}, rgb(1, 2, 3)});
  list.push_back(paint::Fill{{10, 10, 5, 5}, rgb(255, 0, 0)});
  list.push_back(paint::Picture{"header", 100, 100, {120, 110, 10, 10}});
  list.push_back(paint::Text{
      "芯片强化", Font{16, true, false, "宋体"}, rgb(0, 255, 0), Align::Left, {300, 300, 200, 30}, {300, 300, 30, 30}});
  list.push_back(paint::Line{400, 400, 410, 405, rgb(0, 0, 255), {400, 400, 5, 10}});
  painter.execute(canvas, list);
  EXPECT_EQ(rgbOf(canvas, 12, 12), 0xFF0000u);
  EXPECT_EQ(rgbOf(canvas, 15, 15), 0x010203u);
  EXPECT_NE(rgbOf(canvas, 125, 115), 0x010203u);  // picture inside its clip
  EXPECT_EQ(rgbOf(canvas, 119, 115), 0x010203u);
  EXPECT_EQ(rgbOf(canvas, 125, 120), 0x010203u);
  int inside = 0, outside = 0;
  for (int y = 290; y < 340; ++y) {
    for (int x = 290; x < 500; ++x) {
      if (rgbOf(canvas, x, y) == 0x010203u) continue;
      (x >= 300 && x < 330 && y >= 300 && y < 330 ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 20);
  EXPECT_EQ(outside, 0);
  EXPECT_EQ(rgbOf(canvas, 400, 400), 0x0000FFu);
  EXPECT_EQ(rgbOf(canvas, 404, 402), 0x0000FFu);
  EXPECT_EQ(rgbOf(canvas, 406, 403), 0x010203u);  // past the clip
}

TEST_F(Drawing, HalfAlphaBlendsHalfway) {
  Image white{2, 1, true, {0xFFFFFFFFu, 0xFFFFFFFFu}};
  fillRect(canvas, {0, 0, 2, 1}, rgb(0, 0, 0));
  blend(canvas, white, 0, 0, {0, 0, 1, 1}, 128);
  EXPECT_EQ(rgbOf(canvas, 0, 0), 0x808080u);
  EXPECT_EQ(rgbOf(canvas, 1, 0), 0u);
}

TEST_F(Drawing, TheWholeFormThroughTheViewShowsPageAndPictures) {
  HeadlessPlatform platform(freshDir("form"));
  App app(platform);
  app.start();
  paint::View view(app.mainForm(), painter);
  painter.execute(canvas, view.paintForm(view.client()));
  EXPECT_EQ(rgbOf(canvas, 448, 560), 0x27150Au);  // bare page
  EXPECT_EQ(rgbOf(canvas, 731, 586), 0x27150Au);  // a keyed button's corner shows the page
  std::filesystem::remove_all(platform.dataDir());
}

// The bounding box of the pixels in `area` that differ from `background`, or an empty one.
Rect inkBox(const Canvas& c, Rect area, uint32_t background) {
  int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
  for (int y = area.y; y < area.y + area.h; ++y) {
    for (int x = area.x; x < area.x + area.w; ++x) {
      if (rgbOf(c, x, y) == background) continue;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  return x0 > x1 ? Rect{} : Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

TEST_F(Drawing, AtTwiceTheSizeEachCommandLandsOnItsScreenPixelsAndStaysInItsClip) {
  const paint::Scale two(2);
  const uint32_t bg = 0x010203u;
  paint::DisplayList list;
  list.push_back(paint::Fill{{0, 0, 453, 341}, rgb(1, 2, 3)});
  list.push_back(paint::Fill{{10, 10, 5, 5}, rgb(255, 0, 0)});
  list.push_back(paint::Fill{{15, 10, 5, 5}, rgb(0, 255, 0)});
  list.push_back(paint::Line{40, 40, 50, 40, rgb(0, 0, 255), {40, 40, 5, 5}});
  list.push_back(paint::Line{60, 60, 70, 65, rgb(0, 0, 255), {0, 0, 453, 341}});
  list.push_back(paint::Picture{"header", 100, 100, {120, 110, 10, 10}});
  const Font font{16, false, false, "宋体"};
  list.push_back(paint::Text{"芯片强化", font, 0, Align::Left, {200, 200, 100, 30}, {200, 200, 40, 30}});
  painter.execute(canvas, list, two);
  // Fills: doubled, and neighbours meet.
  EXPECT_EQ(rgbOf(canvas, 20, 20), 0xFF0000u);
  EXPECT_EQ(rgbOf(canvas, 29, 29), 0xFF0000u);
  EXPECT_EQ(rgbOf(canvas, 30, 20), 0x00FF00u);
  EXPECT_EQ(rgbOf(canvas, 39, 29), 0x00FF00u);
  EXPECT_EQ(rgbOf(canvas, 40, 20), bg);
  EXPECT_EQ(rgbOf(canvas, 19, 20), bg);
  // A straight line two screen pixels thick, cut at its clip; a slanted one as thick.
  EXPECT_EQ(inkBox(canvas, {70, 70, 50, 20}, bg), (Rect{80, 80, 10, 2}));
  const Rect slanted = inkBox(canvas, {110, 110, 50, 30}, bg);
  EXPECT_EQ(slanted, (Rect{120, 120, 22, 12}));
  for (int x = 121; x < 141; ++x) {
    int thick = 0;
    for (int y = 110; y < 140; ++y) thick += rgbOf(canvas, x, y) == 0x0000FFu;
    EXPECT_GE(thick, 2) << x;
  }
  // The picture fills its clip's place on the screen and nothing beside it.
  EXPECT_EQ(inkBox(canvas, {200, 180, 100, 80}, bg), (Rect{240, 220, 20, 20}));
  // Text in a face twice as high, cut at the clip.
  const Rect text = inkBox(canvas, {380, 380, 300, 100}, bg);
  EXPECT_GE(text.x, 400);
  EXPECT_LE(text.x + text.w, 480);
  EXPECT_GE(text.y, 400);
  EXPECT_LE(text.y + text.h, 460);
  EXPECT_GE(text.h, 24);  // a 16-pixel face's characters are about 14 pixels high
  EXPECT_GE(text.w, 70);
  // Measured in layout pixels all the same.
  EXPECT_LT(painter.width(font, "芯片"), 40);
}

TEST_F(Drawing, NeighbouringRectanglesMeetAtEveryFactor) {
  for (const double f : {1.25, 1.5, 1.75, 2.25, 3.0}) {
    const paint::Scale s(f);
    paint::DisplayList list{paint::Fill{{0, 0, 200, 20}, rgb(1, 2, 3)}};
    for (int x = 0; x < 60; ++x) {
      list.push_back(paint::Fill{{x, 1 + x % 3, 1, 5 - x % 3}, x % 2 ? rgb(255, 0, 0) : rgb(0, 255, 0)});
    }
    painter.execute(canvas, list, s);
    for (int x = 0; x < s.edge(60); ++x) EXPECT_NE(rgbOf(canvas, x, s.edge(3)), 0x010203u) << f << " at " << x;
    EXPECT_EQ(rgbOf(canvas, s.edge(60), s.edge(3)), 0x010203u) << f;
  }
}

TEST(Scaling, APointerAtTwiceTheLayoutsPlaceReachesTheControlThere) {
  moxtest::Program program;
  program.start();
  Pictures pictures;
  Fonts fonts;
  Painter painter(pictures, fonts);
  paint::View view(program.form(), painter);
  const int button = program.form().indexOf("图形按钮1");
  const Rect r = paint::absoluteRect(program.form(), button);
  auto move = [&](int x, int y, double factor) {
    view.handle(*pointerEvent(WM_MOUSEMOVE, MAKELPARAM(x, y), paint::Scale(factor)));
    return view.pointer().hover();
  };
  EXPECT_EQ(move(2 * r.x, 2 * r.y, 2), button);
  EXPECT_NE(move(2 * r.x - 1, 2 * r.y - 1, 2), button);
  EXPECT_EQ(move(2 * (r.x + r.w) - 1, 2 * (r.y + r.h) - 1, 2), button);
  EXPECT_NE(move(2 * (r.x + r.w), 2 * (r.y + r.h) - 1, 2), button);
  // Where a factor of 1.5 drew the button's first and last pixels.
  const paint::Scale s(1.5);
  EXPECT_EQ(move(s.edge(r.x), s.edge(r.y), 1.5), button);
  EXPECT_NE(move(s.edge(r.x) - 1, s.edge(r.y), 1.5), button);
  EXPECT_EQ(move(s.edge(r.x + r.w) - 1, s.edge(r.y), 1.5), button);
  const auto up = pointerEvent(WM_LBUTTONUP, MAKELPARAM(2 * r.x + 1, 2 * r.y + 3), paint::Scale(2));
  ASSERT_TRUE(up && std::holds_alternative<paint::PointerUp>(*up));
  EXPECT_EQ(std::get<paint::PointerUp>(*up).x, r.x);
  EXPECT_EQ(std::get<paint::PointerUp>(*up).y, r.y + 1);
  EXPECT_FALSE(pointerEvent(WM_KEYDOWN, 0, paint::Scale(2)));
}

TEST(Scaling, MoxsimScaleForcesAFactorAndOneThatCannotBeReadIsSaidAndIgnored) {
  std::string complaint;
  EXPECT_FALSE(parseForcedScale("big", &complaint));
  EXPECT_NE(complaint.find("MOXSIM_SCALE=big"), std::string::npos);
  EXPECT_FALSE(parseForcedScale("", &complaint));
  EXPECT_EQ(parseForcedScale("1,5", nullptr), paint::Scale(1.5));
  EXPECT_EQ(parseForcedScale("7", nullptr), paint::Scale(3));
}

TEST(Scaling, AWindowTooLargeForItsWorkAreaTakesTheLargestFactorThatFitsAndStaysOnIt) {
  const SIZE client{906, 682};
  const SIZE frame = frameSize(144);
  // A 1600 x 900 screen at 150 %: 1.5 would be 1023 pixels high, 1.25 is 853 and the frame.
  const RECT work{0, 0, 1600, 900};
  EXPECT_EQ(windowScale(std::nullopt, 144, client, work), paint::Scale(1.25));
  EXPECT_EQ(windowScale(std::nullopt, 144, client, {0, 0, 2600, 1760}), paint::Scale(1.5));
  EXPECT_EQ(windowScale(paint::Scale(2), 144, client, work), paint::Scale(2));  // forced
  EXPECT_EQ(windowScale(std::nullopt, 96, client, {0, 0, 800, 600}), paint::Scale(1));
  EXPECT_GT(frame.cy, frame.cx) << frame.cx << " " << frame.cy;  // the caption
  const POINT at = keepInside({1500, -20}, {600, 400}, {100, 0, 1700, 860});
  EXPECT_EQ(at.x, 1100);
  EXPECT_EQ(at.y, 0);
  EXPECT_EQ(centred({600, 400}, {100, 0, 1700, 860}).x, 600);
  EXPECT_EQ(centred({2000, 400}, {100, 0, 1700, 860}).x, 100);
}

TEST(Fonts, EveryLayoutFaceGetsAnInstalledChineseFace) {
  Fonts fonts;
  ASSERT_FALSE(fonts.chineseFaces().empty()) << "no face with the Chinese character set is installed";
  for (const char* face : {"宋体", "黑体", "", "Arial", "No Such Face"}) {
    const std::wstring chosen = fonts.faceFor(face);
    EXPECT_NE(std::find(fonts.chineseFaces().begin(), fonts.chineseFaces().end(), chosen), fonts.chineseFaces().end())
        << face;
    EXPECT_NE(chosen[0], L'@');
  }
}

TEST(Fonts, ChineseCharactersDrawAsDifferentGlyphsNotBoxes) {
  Pictures pictures;
  Fonts fonts;
  Painter painter(pictures, fonts);
  // Missing glyphs all draw as the same box: two different characters drawing alike means boxes.
  auto draw = [&](const char* text) {
    Canvas c(40, 40);
    fillRect(c, {0, 0, 40, 40}, rgb(255, 255, 255));
    painter.execute(
        c, {paint::Text{text, Font{24, false, false, "宋体"}, 0, Align::Left, {0, 0, 40, 40}, {0, 0, 40, 40}}});
    std::vector<uint32_t> pixels;
    int ink = 0;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 40; ++x) {
        pixels.push_back(rgbOf(c, x, y));
        ink += rgbOf(c, x, y) != 0xFFFFFFu;
      }
    }
    EXPECT_GT(ink, 30) << text;
    return pixels;
  };
  const auto chip = draw("芯"), piece = draw("片"), strong = draw("强");
  EXPECT_NE(chip, piece);
  EXPECT_NE(piece, strong);
  EXPECT_GT(painter.width(Font{12, false, false, "宋体"}, "强化"), 16);
  EXPECT_GE(painter.lineHeight(Font{12, false, false, "宋体"}), 12);
}

TEST(Sound, AFormatTheDeviceRefusesIsSilentAndNothingIsLeftOpen) {
  WaveOut audio;
  const unsigned char samples[64] = {};
  WaveFormat bogus{0x1234, 2, 44100, 44100 * 4, 4, 16};
  EXPECT_FALSE(audio.play(bogus, samples));
  EXPECT_EQ(audio.playing(), 0u);
  const assets::Asset* click = assets::find("sound_click");
  ASSERT_NE(click, nullptr);
  // With a device the sound starts (and overlaps a second one); without one it is silently not heard.
  HeadlessPlatform recorder;
  EXPECT_TRUE(playSound(recorder, "sound_click", click->bytes));
  const bool device = waveOutGetNumDevs() > 0;
  WaveFormat pcm{1, 2, 44100, 44100 * 4, 4, 16};
  const auto data = click->bytes.subspan(44);
  EXPECT_EQ(audio.play(pcm, data), device);
  EXPECT_EQ(audio.play(pcm, data), device);
  EXPECT_EQ(audio.playing(), device ? 2u : 0u);
}

}  // namespace
}  // namespace mox::win32
