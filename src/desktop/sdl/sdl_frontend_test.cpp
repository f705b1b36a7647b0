// The desktop front end's parts that need no display: display lists of the real application executed onto
// memory surfaces, font resolution, sound conversion and the platform's small decisions.
#include <SDL.h>
#include <SDL_image.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "assets/assets.h"
#include "runtime/headless_platform.h"
#include "desktop/sdl/sdl_audio.h"
#include "desktop/sdl/sdl_draw.h"
#include "desktop/sdl/sdl_fonts.h"
#include "desktop/sdl/sdl_platform.h"
#include "desktop/sdl/sdl_scale.h"
#include "desktop/sdl/sdl_window.h"
#include "ui/app.h"
#include "ui/paint/view.h"

namespace mox::sdl {
namespace {

namespace fs = std::filesystem;

// fontconfig keeps its configuration for the life of the process; release it so the leak checker sees only ours.
struct ReleaseFontconfig : ::testing::Environment {
  void TearDown() override { FcFini(); }
};
const auto* const kReleaseFontconfig = ::testing::AddGlobalTestEnvironment(new ReleaseFontconfig);

fs::path freshDir(const char* name) {
  fs::path dir = fs::temp_directory_path() / ("moxsdl-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

struct Running {
  Running(const char* name, paint::TextMetrics& metrics)
      : platform(freshDir(name)), app(platform), view(app.mainForm(), metrics) {
    app.start();
  }
  Form& form() { return app.mainForm(); }
  int index(const char* name) { return form().indexOf(name); }
  void click(int x, int y) {
    view.handle(paint::PointerMove{x, y});
    view.handle(paint::PointerDown{x, y});
    view.handle(paint::PointerUp{x, y});
  }
  HeadlessPlatform platform;
  App app;
  paint::View view;
};

constexpr Rect kAll{0, 0, 906, 682};

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(TTF_Init(), 0); }
  void TearDown() override {
    painter.reset();
    fonts.reset();
    TTF_Quit();
  }
  static SDL_Surface* surface() { return SDL_CreateRGBSurfaceWithFormat(0, 906, 682, 32, SDL_PIXELFORMAT_RGB888); }
  static uint32_t pixel(SDL_Surface* s, int x, int y) {
    return static_cast<uint32_t*>(s->pixels)[y * s->pitch / 4 + x] & 0xFFFFFF;
  }
  static bool same(SDL_Surface* a, SDL_Surface* b) {
    return std::memcmp(a->pixels, b->pixels, static_cast<size_t>(a->pitch) * a->h) == 0;
  }
  Pictures pictures;
  std::unique_ptr<FontCache> fonts = std::make_unique<FontCache>();
  std::unique_ptr<Painter> painter = std::make_unique<Painter>(pictures, *fonts);
};

TEST_F(Drawing, PageColourShowsThroughTransparentPixelsOfButtons) {
  Running r("draw", *painter);
  SDL_Surface* s = surface();
  painter->execute(s, r.view.paintForm(kAll));
  EXPECT_EQ(pixel(s, 448, 560), 0x27150Au);  // bare page
  // The picture's own corner is near but not exactly the page colour (JPEG); keyed, the page shows.
  SDL_Surface* plain = pictures.get("small_save_normal");
  ASSERT_NE(plain, nullptr);
  EXPECT_NE(static_cast<uint32_t*>(plain->pixels)[0] & 0xFFFFFF, 0u);
  SDL_Surface* keyed = pictures.keyed("small_save_normal", rgb(0x27, 0x15, 0x0a));
  EXPECT_EQ(static_cast<uint32_t*>(keyed->pixels)[0] >> 24, 0u);
  EXPECT_EQ(static_cast<uint32_t*>(keyed->pixels)[keyed->pitch / 4 * 15 + 27] >> 24, 255u);
  EXPECT_EQ(pixel(s, 731, 586), 0x27150Au);
  SDL_FreeSurface(s);
}

TEST_F(Drawing, RedrawingOnlyTheChangedPartGivesTheWholePicture) {
  Running r("partial", *painter);
  SDL_Surface* kept = surface();
  SDL_Surface* fresh = surface();
  painter->execute(kept, r.view.paintForm(kAll));
  r.view.collect();
  r.view.takeFormDamage();
  r.click(578, 660);                            // top up: balance, money figures and the bag change
  r.view.handle(paint::PointerMove{175, 468});  // and the enhance button is hovered
  r.view.collect();
  const auto damage = r.view.takeFormDamage();
  ASSERT_FALSE(damage.empty());
  ASSERT_NE(damage[0], kAll);
  for (const Rect& d : damage) painter->execute(kept, r.view.paintForm(d));
  painter->execute(fresh, r.view.paintForm(kAll));
  EXPECT_TRUE(same(kept, fresh));
  // And the change is visible at all: the hovered button differs from a picture without the pointer.
  paint::DisplayList nobody;
  paint::paintForm(nobody, r.form(), {}, kAll, *painter);
  painter->execute(fresh, nobody);
  EXPECT_FALSE(same(kept, fresh));
  SDL_FreeSurface(kept);
  SDL_FreeSurface(fresh);
}

TEST_F(Drawing, HiddenParentHidesItsChildren) {
  Running r("hidden", *painter);
  SDL_Surface* a = surface();
  SDL_Surface* b = surface();
  const Rect bench = paint::visibleRect(r.form(), r.index("合成框"));
  r.click(873, 602);  // there and back once, so the rate reads as the refresh writes it
  r.click(816, 602);
  painter->execute(a, r.view.paintForm(bench));
  r.click(873, 602);  // synthesis view
  painter->execute(b, r.view.paintForm(bench));
  EXPECT_FALSE(same(a, b));
  r.click(816, 602);  // and back: the same picture as before
  painter->execute(b, r.view.paintForm(bench));
  EXPECT_TRUE(same(a, b));
  SDL_FreeSurface(a);
  SDL_FreeSurface(b);
}

TEST_F(Drawing, BannerIsComposedWithItsAlpha) {
  SDL_Surface* s = surface();
  SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 0x27, 0x15, 0x0a));
  SDL_Surface* banner = pictures.get("banner_enhance_success");
  ASSERT_NE(banner, nullptr);
  ASSERT_EQ(banner->w, 908);
  painter->execute(s, {paint::Picture{"banner_enhance_success", 0, 280, kAll}});
  int clear = 0, changed = 0;
  for (int x = 0; x < 906; ++x) {
    const uint32_t a = static_cast<uint32_t*>(banner->pixels)[60 * banner->pitch / 4 + x] >> 24;
    const bool same = pixel(s, x, 340) == 0x27150Au;
    if (a == 0) clear += same ? 1 : 1000;
    if (a == 255) changed += same ? 0 : 1;
  }
  EXPECT_LT(clear, 1000) << "a fully transparent banner pixel covered the page";
  EXPECT_GT(changed, 0);
  EXPECT_EQ(pixel(s, 10, 279), 0x27150Au);  // nothing above the banner
  SDL_FreeSurface(s);
}

TEST_F(Drawing, LinesTilesAndHalfTransparentPicturesKeepToTheirClips) {
  SDL_Surface* s = surface();
  SDL_FillRect(s, nullptr, 0);
  const uint32_t white = rgb(255, 255, 255);
  painter->execute(s, {paint::Line{10, 10, 20, 15, white, {0, 0, 15, 100}}, paint::Line{30, 5, 30, 9, white, kAll},
                       paint::Picture{"rate_texture", 100, 100, {150, 150, 40, 40}, 255, true},
                       paint::Picture{"small_save_normal", 300, 300, kAll, 128}});
  EXPECT_EQ(pixel(s, 10, 10), 0xFFFFFFu);
  EXPECT_EQ(pixel(s, 14, 12), 0xFFFFFFu);
  EXPECT_EQ(pixel(s, 20, 15), 0u);  // past the clip
  EXPECT_EQ(pixel(s, 30, 9), 0xFFFFFFu);
  EXPECT_EQ(pixel(s, 30, 10), 0u);
  // The texture tiles the whole clip and nothing outside it.
  EXPECT_NE(pixel(s, 189, 189), 0u);
  EXPECT_EQ(pixel(s, 149, 150), 0u);
  EXPECT_EQ(pixel(s, 190, 150), 0u);
  // At half alpha over black, no channel reaches its picture's full value.
  SDL_Surface* p = pictures.get("small_save_normal");
  const uint32_t full = static_cast<uint32_t*>(p->pixels)[15 * p->pitch / 4 + 27] & 0xFFFFFF;
  const uint32_t half = pixel(s, 327, 315);
  EXPECT_NE(half, full);
  EXPECT_LE(half & 0xFF, (full & 0xFF) / 2 + 1);
  SDL_FreeSurface(s);
}

// At a factor of 2 every command lands on twice its layout pixels: fills meet, a one-pixel line is two pixels
// wide, text is rendered (not stretched) inside its doubled clip, a picture covers its doubled rectangle; and a
// click at the doubled place of a control reaches that control.
TEST_F(Drawing, AtTwiceTheLayoutEverythingLandsOnItsDoubledPixels) {
  painter->setScale(paint::Scale(2));
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 400, 300, 32, SDL_PIXELFORMAT_RGB888);
  SDL_FillRect(s, nullptr, 0);
  const uint32_t red = rgb(255, 0, 0), blue = rgb(0, 0, 255), white = rgb(255, 255, 255);
  painter->execute(
      s, {paint::Fill{{10, 10, 5, 5}, red}, paint::Fill{{15, 10, 5, 5}, blue}, paint::Line{0, 40, 9, 40, white, kAll},
          paint::Text{"强化", {12, false, false, "宋体"}, white, Align::Left, {100, 10, 60, 20}, {100, 10, 14, 20}},
          paint::Picture{"cell_empty", 20, 60, kAll}});
  EXPECT_EQ(pixel(s, 20, 20), 0xFF0000u);
  EXPECT_EQ(pixel(s, 29, 29), 0xFF0000u);
  EXPECT_EQ(pixel(s, 30, 20), 0x0000FFu);  // the neighbour starts where the first ends
  EXPECT_EQ(pixel(s, 39, 29), 0x0000FFu);
  EXPECT_EQ(pixel(s, 40, 20), 0u);
  EXPECT_EQ(pixel(s, 19, 20), 0u);
  EXPECT_EQ(pixel(s, 18, 80), 0xFFFFFFu);
  EXPECT_EQ(pixel(s, 18, 81), 0xFFFFFFu);
  EXPECT_EQ(pixel(s, 18, 82), 0u);
  EXPECT_EQ(pixel(s, 20, 80), 0u);
  // The text's ink lies inside its doubled clip (x 200..227), is dense as text at 24 pixels is, and stops there.
  int inside = 0, outside = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 190; x < 330; ++x) {
      if (pixel(s, x, y) == 0) continue;
      (x >= 200 && x < 228 && y >= 20 && y < 60 ? inside : outside) += 1;
    }
  }
  EXPECT_GT(inside, 60);
  EXPECT_EQ(outside, 0);
  // The 52 x 52 cell picture covers (40, 120) to (143, 223) and nothing beyond.
  SDL_Surface* cell = pictures.get("cell_empty");
  ASSERT_EQ(cell->w, 52);
  int drawn = 0;
  for (int y = 118; y < 226; ++y) {
    for (int x = 38; x < 146; ++x) {
      const bool in = x >= 40 && x < 144 && y >= 120 && y < 224;
      if (pixel(s, x, y) != 0) drawn += in ? 1 : 100000;
    }
  }
  EXPECT_GT(drawn, 104 * 104 / 2);
  EXPECT_LT(drawn, 100000);
  SDL_FreeSurface(s);

  Running r("doubled", *painter);
  Window window(r.app, r.view, *painter, 0);
  const Rect topUp = paint::absoluteRect(r.form(), r.index("图形按钮2"));
  const int x = topUp.x + topUp.w / 2, y = topUp.y + topUp.h / 2;
  for (Uint32 type : {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP}) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
      e.motion.x = 2 * x, e.motion.y = 2 * y;
    } else {
      e.button.button = SDL_BUTTON_LEFT, e.button.x = 2 * x + 1, e.button.y = 2 * y + 1;
    }
    const auto event = window.translate(e);
    ASSERT_TRUE(event);
    window.view().handle(*event);
  }
  EXPECT_EQ(r.form().get("标签5").caption, "10 Q币");
}

TEST_F(Drawing, BetweenTheSetsTheFirstFrameIsQuickAndTheRefinedOneEqualsTheCarefulPixelForPixel) {
  const paint::Scale s(1.5);
  painter->setScale(s);
  Running r("refined", *painter);
  const paint::DisplayList list = r.view.paintForm(kAll);
  const Rect screen = s.rect(kAll);
  auto canvas = [&] { return SDL_CreateRGBSurfaceWithFormat(0, screen.w, screen.h, 32, SDL_PIXELFORMAT_RGB888); };
  SDL_Surface* careful = canvas();
  painter->execute(careful, list);  // resampled carefully at once

  Pictures refining;
  FontCache fonts2;
  Painter quick(refining, fonts2);
  quick.setScale(s);
  std::atomic<int> woken = 0;
  refining.refineLater([&] { ++woken; });
  SDL_Surface* first = canvas();
  quick.execute(first, list);
  EXPECT_FALSE(same(first, careful));
  EXPECT_FALSE(refining.adoptRefined());  // nothing is made before the first frame is up
  refining.finishRefining();
  EXPECT_GE(woken, 1);
  EXPECT_TRUE(refining.adoptRefined());
  SDL_Surface* refined = canvas();
  quick.execute(refined, list);
  EXPECT_TRUE(same(refined, careful));
  EXPECT_FALSE(refining.adoptRefined());
  for (SDL_Surface* c : {careful, first, refined}) SDL_FreeSurface(c);
}

TEST(Pictures, ThoseCarriedDecodedDrawAsTheDecoderWouldGiveThem) {
  int carried = 0;
  for (const assets::Asset& a : assets::all()) {
    if (a.pixels.empty()) continue;
    ++carried;
    // Read through the format the surface declares, as a blit reads it.
    SDL_Surface* carriedSurface = decodePicture(std::string(a.name));
    SDL_Surface* used =
        carriedSurface ? SDL_ConvertSurfaceFormat(carriedSurface, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    SDL_FreeSurface(carriedSurface);
    SDL_RWops* rw = SDL_RWFromConstMem(a.bytes.data(), static_cast<int>(a.bytes.size()));
    SDL_Surface* loaded = IMG_Load_RW(rw, 1);
    SDL_Surface* decoded = loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0) : nullptr;
    SDL_FreeSurface(loaded);
    ASSERT_TRUE(used && decoded) << a.name;
    ASSERT_EQ(used->w, decoded->w);
    ASSERT_EQ(used->h, decoded->h);
    int worst = 0;
    for (int y = 0; y < used->h; ++y) {
      for (int x = 0; x < used->w; ++x) {
        const auto at = [&](SDL_Surface* s) { return static_cast<uint32_t*>(s->pixels)[y * s->pitch / 4 + x]; };
        for (int shift = 0; shift < 32; shift += 8) {
          worst = std::max(worst, std::abs(static_cast<int>((at(used) >> shift) & 0xFF) -
                                           static_cast<int>((at(decoded) >> shift) & 0xFF)));
        }
      }
    }
    EXPECT_LE(worst, 2) << a.name;  // decoders may round a JPEG's last bit differently
    SDL_FreeSurface(used);
    SDL_FreeSurface(decoded);
  }
  EXPECT_GT(carried, 10);
}

TEST(Fonts, ChineseFacesResolveToSimplifiedChineseFonts) {
  ASSERT_EQ(TTF_Init(), 0);
  {
    FontCache fonts;
    TTF_Font* song = fonts.get({14, true, false, "宋体"});
    ASSERT_NE(song, nullptr);
    EXPECT_STREQ(TTF_FontFaceFamilyName(song), "Noto Serif CJK SC");
    TTF_Font* hei = fonts.get({16, true, false, "黑体"});
    ASSERT_NE(hei, nullptr);
    EXPECT_STREQ(TTF_FontFaceFamilyName(hei), "Noto Sans CJK SC");
    TTF_Font* ui = fonts.get({12, false, true, ""});
    ASSERT_NE(ui, nullptr);
    EXPECT_TRUE(TTF_GetFontStyle(ui) & TTF_STYLE_UNDERLINE);
    EXPECT_TRUE(TTF_GlyphIsProvided32(ui, U'币'));
    EXPECT_EQ(fonts.get({12, false, true, ""}), ui);
  }
  TTF_Quit();
  EXPECT_EQ(familyFor("宋体"), "SimSun");
  EXPECT_EQ(familyFor("Segoe UI Symbol"), "Segoe UI Symbol");
  auto bold = resolveFont("黑体", true);
  ASSERT_TRUE(bold);
  EXPECT_TRUE(bold->bold);
}

TEST(Audio, ConvertsWholeFramesToTheDeviceFormat) {
  WaveFormat mono8{1, 1, 22050, 22050, 1, 8};
  std::vector<unsigned char> samples(1000, 128);
  auto out = convertSamples(mono8, samples, 44100, AUDIO_S16LSB, 2);
  ASSERT_TRUE(out);
  // Twice the rate, two channels, two bytes: eight times as many bytes, give or take the resampler's edge.
  EXPECT_NEAR(static_cast<double>(out->size()), 8000.0, 64.0);
  EXPECT_EQ(out->size() % 4, 0u);
  WaveFormat stereo16{1, 2, 44100, 176400, 4, 16};
  std::vector<unsigned char> odd(4 * 100 + 3, 0);  // a trailing partial frame is dropped
  auto same = convertSamples(stereo16, odd, 44100, AUDIO_S16LSB, 2);
  ASSERT_TRUE(same);
  EXPECT_EQ(same->size(), 400u);
  WaveFormat adpcm{2, 1, 22050, 11025, 256, 4};
  EXPECT_FALSE(convertSamples(adpcm, samples, 44100, AUDIO_S16LSB, 2));
  EXPECT_EQ(sdlAudioFormat({3, 2, 44100, 352800, 8, 32}), AUDIO_F32LSB);
  EXPECT_FALSE(convertSamples(stereo16, std::vector<unsigned char>(3, 0), 44100, AUDIO_S16LSB, 2));
}

TEST(Platform, DataDirectoryBesideTheProgramOrTheUsersDataDirectory) {
  fs::path dir = freshDir("data");
  EXPECT_EQ(chooseDataDir(dir, nullptr, nullptr), dir);
  const fs::path unwritable = dir / "missing" / "bin";
  const fs::path xdg = dir / "xdg";
  EXPECT_EQ(chooseDataDir(unwritable, xdg.c_str(), "/nonexistent"), xdg / "moxsim");
  EXPECT_TRUE(fs::is_directory(xdg / "moxsim"));
  // A relative XDG_DATA_HOME is not used; the home directory's default is.
  const fs::path home = dir / "home";
  EXPECT_EQ(chooseDataDir(unwritable, "relative/path", home.c_str()), home / ".local" / "share" / "moxsim");
  EXPECT_TRUE(fs::is_directory(home / ".local" / "share" / "moxsim"));
  EXPECT_EQ(chooseDataDir(unwritable, "", ""), unwritable);
  // Installed by the system: the user's data directory, even where the program's directory can be written.
  EXPECT_EQ(chooseDataDir("/usr/bin", xdg.c_str(), nullptr), xdg / "moxsim");
  fs::remove_all(dir);
}

TEST(Platform, DesktopScaleFromTheXResources) {
  EXPECT_EQ(xftDpi("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 192.0);
  EXPECT_EQ(xftDpi("Xft.dpi : 144"), 144.0);
  EXPECT_FALSE(xftDpi("Xft.dpix:\t192\n*dpi:\t192\n"));
  EXPECT_FALSE(xftDpi(""));
}

TEST(Platform, MessageBoxButtonsAnswerWithTheLogicsCodes) {
  ASSERT_EQ(boxButtons(0).size(), 1u);
  EXPECT_EQ(boxButtons(0)[0].code, kBoxOk);
  EXPECT_EQ(boxButtons(0x40)[0].code, kBoxOk);  // an icon does not change the buttons
  auto yesNo = boxButtons(4);
  ASSERT_EQ(yesNo.size(), 2u);
  EXPECT_EQ(yesNo[0].code, kBoxYes);
  EXPECT_EQ(yesNo[1].code, kBoxNo);
  auto ari = boxButtons(2);
  ASSERT_EQ(ari.size(), 3u);
  EXPECT_EQ(ari[2].code, kBoxIgnore);
  EXPECT_EQ(boxButtons(5)[1].code, kBoxCancel);
}

// Saves are written off the interface thread; their results come back as events, in the order asked, and a
// failed write is reported as one.
TEST(Platform, WritesFinishOnTheInterfaceThreadInOrder) {
  ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0) << SDL_GetError();
  fs::path dir = freshDir("writer");
  std::vector<std::string> results;
  {
    SdlAudio audio;
    SdlPlatform platform(dir, audio);
    platform.replaceFileLater("MOXdata", "first", [&](bool ok) { results.push_back(ok ? "first" : "first failed"); });
    platform.replaceFileLater("MOXdata", "second",
                              [&](bool ok) { results.push_back(ok ? "second" : "second failed"); });
    platform.replaceFileLater("no/such/dir", "x", [&](bool ok) { results.push_back(ok ? "odd" : "refused"); });
    EXPECT_TRUE(results.empty());  // nothing runs on the writer's thread
    SDL_Event e;
    while (results.size() < 3 && SDL_WaitEventTimeout(&e, 5000)) {
      if (e.type == diskEventType()) runDiskCompletion(e.user.data1);
    }
  }
  EXPECT_EQ(results, (std::vector<std::string>{"first", "second", "refused"}));
  std::ifstream in(dir / "MOXdata");
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, "second");
  fs::remove_all(dir);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

}  // namespace
}  // namespace mox::sdl
