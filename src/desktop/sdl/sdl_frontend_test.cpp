// The desktop front end's parts that need no display: hit testing and pointer input driving the real
// application, the drop-down list, drawing onto memory surfaces, font resolution, sound conversion and the
// platform's small decisions.
#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "runtime/headless_platform.h"
#include "desktop/sdl/sdl_audio.h"
#include "desktop/sdl/sdl_draw.h"
#include "desktop/sdl/sdl_fonts.h"
#include "desktop/sdl/sdl_input.h"
#include "desktop/sdl/sdl_platform.h"
#include "ui/app.h"

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
  explicit Running(const char* name) : platform(freshDir(name)), app(platform), pointer(app.mainForm()) {
    app.start();
  }
  Form& form() { return app.mainForm(); }
  int index(const char* name) { return form().indexOf(name); }
  void click(int x, int y) {
    pointer.move(x, y);
    pointer.leftDown(x, y);
    pointer.leftUp(x, y);
  }
  HeadlessPlatform platform;
  App app;
  Pointer pointer;
};

TEST(HitTest, FindsControlsAtTheirWindowPlaces) {
  Running r("hit");
  // The enhance button is a child of the bench picture at (0, 96).
  EXPECT_EQ(absoluteRect(r.form(), r.index("图形按钮1")), (Rect{115, 443, 120, 51}));
  EXPECT_EQ(hitTest(r.form(), 175, 468), r.index("图形按钮1"));
  EXPECT_EQ(hitTest(r.form(), 578, 660), r.index("图形按钮2"));
  // A count label lets the pointer through to its cell.
  EXPECT_TRUE(contains(absoluteRect(r.form(), r.index("n1")), 520, 165));
  EXPECT_EQ(hitTest(r.form(), 520, 165), r.index("a01"));
  // Bare page, and beyond the client area where the picture store lies.
  EXPECT_EQ(hitTest(r.form(), 448, 560), -1);
  EXPECT_EQ(hitTest(r.form(), 950, 20), -1);
}

TEST(HitTest, HelpPanelCoversWhatLiesBeneathAndHiddenPanelsDoNot) {
  Running r("cover");
  EXPECT_EQ(hitTest(r.form(), 60, 200), r.index("图片框1"));  // the synthesis bench above it is hidden
  r.click(60, 466);                                             // 强化说明 link
  ASSERT_TRUE(r.form().shown(r.index("强化说明")));
  EXPECT_EQ(hitTest(r.form(), 520, 165), r.index("强化说明"));
  // Its close cross is a transparent label with a press handler.
  EXPECT_EQ(hitTest(r.form(), 698, 100), r.index("关闭说明1"));
  r.pointer.move(698, 100);
  EXPECT_TRUE(r.pointer.handCursor());
  r.pointer.leftDown(698, 100);
  EXPECT_FALSE(r.form().shown(r.index("强化说明")));
}

TEST(Pointer, ClickNeedsPressAndReleaseOnTheSameControl) {
  Running r("click");
  const int balance = r.index("标签5");
  r.pointer.move(578, 660);
  r.pointer.leftDown(578, 660);
  EXPECT_EQ(r.pointer.pictureOf(r.index("图形按钮2")), "small_topup_pressed");
  r.pointer.move(300, 660);  // dragged off: the button no longer looks pressed
  EXPECT_EQ(r.pointer.pictureOf(r.index("图形按钮2")), "small_topup_normal");
  r.pointer.leftUp(300, 660);
  EXPECT_EQ(r.form().at(balance).caption, "0 Q币");
  r.click(578, 660);
  EXPECT_EQ(r.form().at(balance).caption, "10 Q币");
  EXPECT_EQ(r.platform.takeSounds().back(), "sound_purchase");
}

TEST(Pointer, HoverPictureFollowsThePointerAndReportsDamage) {
  Running r("hover");
  const int button = r.index("图形按钮1");
  r.pointer.takeDamage();
  r.pointer.move(175, 468);
  EXPECT_EQ(r.pointer.pictureOf(button), "btn_enhance_hover");
  EXPECT_TRUE(r.pointer.handCursor());
  auto damage = r.pointer.takeDamage();
  ASSERT_EQ(damage.size(), 1u);
  EXPECT_EQ(damage[0], visibleRect(r.form(), button));
  r.pointer.leave();
  EXPECT_EQ(r.pointer.pictureOf(button), "btn_enhance_normal");
  EXPECT_FALSE(r.pointer.handCursor());
}

TEST(Pointer, DisabledButtonShowsItsDisabledPictureAndIgnoresClicks) {
  Running r("disabled");
  const int view = r.index("强化显示按钮");
  EXPECT_EQ(r.pointer.pictureOf(view), "small_enhance_disabled");
  r.click(816, 602);
  EXPECT_TRUE(r.form().at(view).disabled);
  r.click(873, 602);  // to the synthesis view: now the enhancement button is the live one
  EXPECT_TRUE(r.form().shown(r.index("合成框")));
  EXPECT_EQ(r.pointer.pictureOf(view), "small_enhance_normal");
}

TEST(Pointer, CheckBoxIsTickedBeforeItsHandlerRuns) {
  Running r("check");
  r.click(100, 536);
  EXPECT_TRUE(r.form().at(r.index("选择框1")).checked);
  EXPECT_TRUE(r.form().shown(r.index("标签3")));
  r.click(100, 536);
  EXPECT_FALSE(r.form().at(r.index("选择框1")).checked);
  EXPECT_FALSE(r.form().shown(r.index("标签3")));
}

TEST(DropDown, OpensUpwardsAtTheBottomAndSelectsWithTheMouse) {
  Running r("list");
  const int list = r.index("组合框1");
  Popup p = placePopup(r.form(), list);
  EXPECT_EQ(p.rect, (Rect{460, 649 - (5 * 16 + 2), 80, 5 * 16 + 2}));
  r.pointer.move(500, 659);
  r.pointer.leftDown(500, 659);
  r.pointer.leftUp(500, 659);
  ASSERT_TRUE(r.pointer.popup());
  EXPECT_EQ(r.pointer.popup()->rect, p.rect);
  // A press elsewhere while the list is open only closes it.
  r.click(578, 660);
  EXPECT_FALSE(r.pointer.popup());
  EXPECT_EQ(r.form().at(r.index("标签5")).caption, "0 Q币");
  r.click(500, 659);
  r.click(500, p.rowRect(2).y + 8);
  EXPECT_FALSE(r.pointer.popup());
  EXPECT_EQ(r.form().at(list).selection, 2);
  r.click(578, 660);
  EXPECT_EQ(r.form().at(r.index("标签5")).caption, "100 Q币");
}

TEST(DropDown, KeyboardAndWheel) {
  Running r("keys");
  const int list = r.index("组合框3");
  r.click(810, 659);
  ASSERT_TRUE(r.pointer.popup());
  EXPECT_TRUE(r.pointer.key(Key::Down));
  EXPECT_TRUE(r.pointer.key(Key::Down));
  EXPECT_TRUE(r.pointer.key(Key::Enter));
  EXPECT_EQ(r.form().at(list).selection, 2);
  // Escape closes an open list and leaves the window alone; with no list open it is the window's.
  r.click(810, 659);
  EXPECT_TRUE(r.pointer.key(Key::Escape));
  EXPECT_FALSE(r.pointer.popup());
  EXPECT_EQ(r.form().at(list).selection, 2);
  // The arrows move the selection of the list last clicked; the wheel that of the list under the pointer.
  EXPECT_TRUE(r.pointer.key(Key::Up));
  EXPECT_EQ(r.form().at(list).selection, 1);
  r.pointer.wheel(810, 659, -5);
  EXPECT_EQ(r.form().at(list).selection, 3);
  r.pointer.wheel(700, 659, 1);
  EXPECT_EQ(r.form().at(r.index("组合框2")).selection, 0);
  r.click(448, 560);
  EXPECT_FALSE(r.pointer.key(Key::Escape));
}

TEST(Geometry, ChildrenAreCutToTheirParents) {
  Running r("geometry");
  // The header picture box is 900 wide although its picture is wider; the synthesis bench starts left of 0.
  EXPECT_EQ(visibleRect(r.form(), r.index("合成框")), (Rect{0, 97, 441, 412}));
  EXPECT_TRUE(empty(visibleRect(r.form(), r.index("x0图片"))));
  EXPECT_EQ(unite({0, 0, 2, 2}, {4, 4, 1, 1}), (Rect{0, 0, 5, 5}));
  EXPECT_TRUE(empty(intersect({0, 0, 2, 2}, {2, 2, 1, 1})));
}

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(TTF_Init(), 0); }
  void TearDown() override {
    painter.reset();
    fonts.reset();
    TTF_Quit();
  }
  static SDL_Surface* surface() {
    return SDL_CreateRGBSurfaceWithFormat(0, 906, 682, 32, SDL_PIXELFORMAT_RGB888);
  }
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
  Running r("draw");
  SDL_Surface* s = surface();
  painter->paint(s, r.form(), &r.pointer, {0, 0, 906, 682});
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
  Running r("partial");
  SDL_Surface* kept = surface();
  SDL_Surface* fresh = surface();
  painter->paint(kept, r.form(), &r.pointer, {0, 0, 906, 682});
  r.form().takeFullRedraw();
  r.form().takeDirty();
  r.click(578, 660);  // top up: balance, money figures and the bag change
  r.pointer.move(175, 468);  // and the enhance button is hovered
  ASSERT_FALSE(r.form().takeFullRedraw());
  for (int i : r.form().takeDirty()) painter->paint(kept, r.form(), &r.pointer, visibleRect(r.form(), i));
  for (const Rect& d : r.pointer.takeDamage()) painter->paint(kept, r.form(), &r.pointer, d);
  painter->paint(fresh, r.form(), &r.pointer, {0, 0, 906, 682});
  EXPECT_TRUE(same(kept, fresh));
  // And the change is visible at all: the hovered button differs from a picture without the pointer.
  painter->paint(fresh, r.form(), nullptr, {0, 0, 906, 682});
  EXPECT_FALSE(same(kept, fresh));
  SDL_FreeSurface(kept);
  SDL_FreeSurface(fresh);
}

TEST_F(Drawing, HiddenParentHidesItsChildren) {
  Running r("hidden");
  SDL_Surface* a = surface();
  SDL_Surface* b = surface();
  const Rect bench = visibleRect(r.form(), r.index("合成框"));
  r.click(873, 602);  // there and back once, so the rate reads as the refresh writes it
  r.click(816, 602);
  painter->paint(a, r.form(), &r.pointer, bench);
  r.click(873, 602);  // synthesis view
  painter->paint(b, r.form(), &r.pointer, bench);
  EXPECT_FALSE(same(a, b));
  r.click(816, 602);  // and back: the same picture as before
  painter->paint(b, r.form(), &r.pointer, bench);
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
  painter->paintLayer(s, "banner_enhance_success", 0, 280, {0, 0, 906, 682});
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
  fs::remove_all(dir);
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
    platform.replaceFileLater("MOXdata", "second", [&](bool ok) { results.push_back(ok ? "second" : "second failed"); });
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
