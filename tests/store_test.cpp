// The save file: the cipher's known answers and round trips, saving and loading through the program, and files
// that must load nothing.
#include "app_fixture.h"
#include "runtime/files.h"
#include "store/cipher.h"
#include "run_program.h"

using moxtest::Program;

namespace {
std::string record(const std::array<int32_t, 15>& counts) {
  std::string r;
  for (int32_t c : counts) r += std::to_string(c) + "|";
  return r;
}

// An independent reader of the stored form: the bytes at odd positions, halves interleaved.
std::string unscrambleIndependently(const std::string& stored) {
  if (stored.size() < 4) return {stored.rbegin(), stored.rend()};
  std::string kept;
  for (size_t i = 0; i < stored.size(); i += 2) kept += stored[i];
  size_t half = kept.size() / 2;
  std::string out;
  for (size_t i = 0; i < half; ++i) {
    out += kept[i];
    out += kept[half + i];
  }
  if (kept.size() % 2) out += kept.back();
  return out;
}
}  // namespace

TEST(Cipher, KnownAnswerWithFixedTicks) {
  uint32_t ticks = 5000;
  mox::Random random([&] { return ticks; });
  const std::string out = mox::scrambleText("abcd", "", random);
  ASSERT_EQ(out.size(), 8u);
  EXPECT_EQ(out[0], 'a');
  EXPECT_EQ(out[2], 'c');
  EXPECT_EQ(out[4], 'b');
  EXPECT_EQ(out[6], 'd');
  // Each filler came from its own seeding: replay the same seedings by hand.
  mox::Random replay([&] { return ticks; });
  for (int i = 0; i < 4; ++i) {
    replay.seedRandom();
    EXPECT_EQ(out[static_cast<size_t>(2 * i + 1)],
              mox::fillerAlphabet()[static_cast<size_t>(replay.randomInt(1, 250) - 1)]);
  }
  EXPECT_EQ(mox::scrambleText("abc", "", random), "cba");
  const std::string odd = mox::scrambleText("abcde", "", random);
  EXPECT_EQ(odd.size(), 9u);
  EXPECT_EQ(odd.back(), 'e');
}

TEST(Cipher, FillerAlphabet) {
  const std::string_view a = mox::fillerAlphabet();
  ASSERT_EQ(a.size(), 250u);
  int high = 0;
  for (char c : a) {
    auto b = static_cast<unsigned char>(c);
    EXPECT_NE(b, 0);
    EXPECT_NE(b, 0x1A);
    EXPECT_NE(c, '*');
    EXPECT_NE(c, '|');
    high += b >= 0x80;
  }
  EXPECT_EQ(high, 160);
}

TEST(Cipher, RoundTripsAndPasswords) {
  uint32_t ticks = 1;
  mox::Random random([&] { return ticks; });
  mox::HeadlessPlatform platform;
  for (int len = 0; len < 60; ++len) {
    std::string text;
    for (int i = 0; i < len; ++i) text += static_cast<char>('0' + (i * 7 + len) % 10);
    ticks += 17;
    EXPECT_EQ(mox::unscrambleText(mox::scrambleText(text, "", random), "", platform), text) << len;
    EXPECT_EQ(mox::unscrambleText(mox::scrambleText(text, "pw", random), "pw", platform), text) << len;
    EXPECT_EQ(mox::unscrambleText(mox::scrambleText(text, "odd", random), "odd", platform), text) << len;
  }
  EXPECT_TRUE(platform.takeBoxes().empty());
  EXPECT_EQ(mox::unscrambleText(mox::scrambleText("0|0|", "secret", random), "", platform), "");
  EXPECT_EQ(platform.takeBoxes(), (std::vector<std::string>{"密码错误，请核对！"}));
}

TEST(SaveFile, AFreshStockSavesThirtyBytesScrambledToSixty) {
  Program p;
  p.start();
  p.click("保存数据");
  const std::string stored = moxtest::readFile(p.dir() / "MOXdata");
  ASSERT_EQ(stored.size(), 60u);
  EXPECT_EQ(unscrambleIndependently(stored), "0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|");
  for (size_t i = 1; i < stored.size(); i += 2) {
    EXPECT_NE(mox::fillerAlphabet().find(stored[i]), std::string_view::npos);
  }
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"保存成功"}));
  EXPECT_TRUE(p.sounds().empty());
  EXPECT_FALSE(std::filesystem::exists(p.dir() / "MOXdata.saving"));
}

TEST(SaveFile, SavingReturnsBenchedItemsFirst) {
  Program p;
  p.withStock({2, 3, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0});
  p.start();
  p.place(1);
  p.place(2);
  p.place(2);
  p.place(5);
  p.place(6);
  p.click("合成显示按钮");  // returns the enhancement bench
  p.place(11);
  p.place(12);
  p.click("强化显示按钮");
  p.click("合成显示按钮");
  p.place(11);
  p.place(12);
  p.click("保存数据");
  EXPECT_EQ(unscrambleIndependently(moxtest::readFile(p.dir() / "MOXdata")), "2|3|0|0|1|1|0|0|0|0|1|1|0|0|0|");
  EXPECT_EQ(p.tag("合成芯片位1"), "0");
  EXPECT_FALSE(p.shown("合成芯片位2"));
  EXPECT_EQ(p.count(11), 1);
}

TEST(SaveFile, OddLengthRecordEndsWithItsLastByte) {
  Program p;
  p.withStock({10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.click("保存数据");
  const std::string stored = moxtest::readFile(p.dir() / "MOXdata");
  ASSERT_EQ(stored.size(), 61u);
  EXPECT_EQ(stored.back(), '|');
}

TEST(SaveFile, SavedStockLoadsInTheNextRun) {
  const auto dir = moxtest::freshDir();
  {
    Program p(dir);
    p.keepDir();
    p.start();
    p.topUp(4);
    p.buy(0, 3);
    p.buy(1, 2);
    p.click("保存数据");
  }
  Program q(dir);
  q.start();
  EXPECT_EQ(q.count(1), 30);
  EXPECT_EQ(q.count(2), 10);
  EXPECT_EQ(q.caption("n1"), "30");
  EXPECT_EQ(q.caption("标签2"), "0.0%");   // the load ends with a refresh
  EXPECT_EQ(q.caption("标签5"), "0 Q币");  // money is not saved
}

TEST(SaveFile, FillersDoNotMatterToTheReader) {
  Program p;
  std::string stored = moxtest::scrambleWithFiller(record({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}), 'x');
  for (size_t i = 1; i < stored.size(); i += 2) stored[i] = static_cast<char>(0x80 + i % 100);
  moxtest::writeFile(p.dir() / "MOXdata", stored);
  p.start();
  for (int k = 1; k <= 15; ++k) EXPECT_EQ(p.count(k), k);
  // The loader says it read a stock (a page checks an imported file with it).
  EXPECT_TRUE(p.app().sim().loadStock());
}

TEST(SaveFile, FilesThatLoadNothing) {
  const std::string valid = record({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
  const std::vector<std::pair<std::string, std::string>> files = {
      {"fourteen fields", moxtest::scrambleWithFiller("1|1|1|1|1|1|1|1|1|1|1|1|1|1|")},
      {"three bytes", "|1|"},
      {"empty", ""},
      {"password bound", moxtest::scrambleWithFiller(valid + "*pw")},
      {"count beyond 32 bits", moxtest::scrambleWithFiller("4294967296|" + valid.substr(2))},
      {"binary", std::string("\x00\x01\x02\x1a\xff", 5)},
      {"huge", std::string(5 * 1024 * 1024, '1')},
  };
  for (const auto& [what, bytes] : files) {
    Program p;
    moxtest::writeFile(p.dir() / "MOXdata", bytes);
    p.start();
    for (int k = 1; k <= 15; ++k) EXPECT_EQ(p.count(k), 0) << what;
    EXPECT_EQ(p.caption("标签2"), "未知") << what;  // no refresh ran
    EXPECT_FALSE(p.app().sim().loadStock()) << what;
  }
}

TEST(SaveFile, PasswordFilesShowTheMessageOnce) {
  const std::string valid = record({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Program p;
  moxtest::writeFile(p.dir() / "MOXdata", moxtest::scrambleWithFiller(valid + "*pw"));
  p.start();
  EXPECT_EQ(p.platform().takeBoxes(), (std::vector<std::string>{"密码错误，请核对！"}));
  Program q;
  moxtest::writeFile(q.dir() / "MOXdata", moxtest::scrambleWithFiller(valid + "*   "));
  q.start();
  EXPECT_EQ(q.count(1), 1);
  EXPECT_TRUE(q.platform().takeBoxes().empty());
}

TEST(SaveFile, NegativeAndExtraFields) {
  Program p;
  moxtest::writeFile(p.dir() / "MOXdata",
                     moxtest::scrambleWithFiller("-3|2.9|x|0|0|0|0|0|0|0|0|0|0|0|2147483647|99|junk"));
  p.start();
  EXPECT_EQ(p.count(1), -3);
  EXPECT_EQ(p.count(2), 2);
  EXPECT_EQ(p.count(3), 0);
  EXPECT_EQ(p.count(15), 2147483647);
  // A count not above 0 has no cell.
  EXPECT_EQ(p.state().cellItem[0], 15);
  EXPECT_EQ(p.state().cellItem[1], 2);
  EXPECT_EQ(p.state().cellItem[2], 0);
}

TEST(SaveFile, CountsAtTheLimitNeverWrap) {
  Program p;
  p.withStock({2147483647, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.place(1);
  p.topUp(4);
  p.buy(0, 1);  // five more would pass the limit: refused, no money moves
  EXPECT_EQ(p.count(1), 2147483646);
  EXPECT_EQ(p.state().qCoinBalance, 10000);
  p.buy(0, 0);
  EXPECT_EQ(p.count(1), 2147483647);
  p.sounds();
  p.click("芯片位");  // the stock cannot take it back: it stays on the bench
  EXPECT_EQ(p.tag("芯片位"), "1");
  EXPECT_EQ(p.count(1), 2147483647);
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  p.click("合成显示按钮");  // nor can the bench be closed over it
  EXPECT_FALSE(p.shown("合成框"));
  EXPECT_EQ(p.tag("芯片位"), "1");
  EXPECT_EQ(p.count(1), 2147483647);
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  p.click("保存数据");
  EXPECT_EQ(unscrambleIndependently(moxtest::readFile(p.dir() / "MOXdata")).substr(0, 11), "2147483647|");
}

TEST(SaveFile, AFailedSaveSaysSoAndKeepsThePreviousFile) {
  Program p;
  p.start();
  p.click("保存数据");
  const std::string before = moxtest::readFile(p.dir() / "MOXdata");
  p.banners();
  p.topUp(0);
  p.buy(0, 0);
  // Something that is not a file stands where the new content is written first, on every system and for root too.
  std::filesystem::create_directory(p.dir() / "MOXdata.saving");
  p.click("保存数据");
  std::filesystem::remove(p.dir() / "MOXdata.saving");
  EXPECT_TRUE(p.banners().empty());
  const auto boxes = p.platform().takeBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("保存失败"), std::string::npos);
  EXPECT_EQ(moxtest::readFile(p.dir() / "MOXdata"), before);
}

namespace {
// A platform whose disk refuses every write, as a full or read-only disk would.
struct FullDisk : mox::HeadlessPlatform {
  using HeadlessPlatform::HeadlessPlatform;
  bool replaceFile(const std::string&, std::string_view) override { return false; }
};
}  // namespace

TEST(SaveFile, AWriteThatFailsIsNotReportedAsSuccess) {
  const auto dir = moxtest::freshDir();
  moxtest::writeFile(dir / "MOXdata", "previous");
  FullDisk platform(dir);
  mox::App app(platform);
  app.start();
  app.click("保存数据");
  EXPECT_TRUE(app.takeBanners().empty());
  EXPECT_EQ(platform.takeBoxes().size(), 1u);
  EXPECT_EQ(moxtest::readFile(dir / "MOXdata"), "previous");
  std::filesystem::remove_all(dir);
}

TEST(Files, ReadTextStopsAtNulAndEndOfFileMarks) {
  const auto dir = moxtest::freshDir();
  mox::HeadlessPlatform platform(dir);
  mox::Files files(platform);
  moxtest::writeFile(dir / "f", std::string("ab\x81\x1A"
                                            "cd\x1A"
                                            "ef",
                                            9));
  int32_t f = files.openFile("f", 1, 1);
  ASSERT_GT(f, 0);
  // 0x1A as the trail byte of a double-byte character does not end the text.
  EXPECT_EQ(files.readText(f), std::string("ab\x81\x1A"
                                           "cd",
                                           6));
  moxtest::writeFile(dir / "g", std::string("a\x81\0b", 4));
  int32_t g = files.openFile("g", 1, 1);
  EXPECT_EQ(files.readText(g), "a\x81");  // a NUL is never a trail byte
  EXPECT_EQ(files.openFile("missing", 1, 1), 0);
  EXPECT_EQ(files.openFile("f", 7, 1), 0);
  EXPECT_EQ(files.openFile("f", 1, 5), 0);
  EXPECT_EQ(files.openFile("", 4, 1), 0);
  EXPECT_EQ(files.readText(99), "");
  EXPECT_EQ(files.readText(f, 0), "");
  int32_t w = files.openFile("new", 4, 1);
  EXPECT_TRUE(files.writeText(w, "12"));
  EXPECT_TRUE(files.writeText(w, "34"));
  EXPECT_EQ(moxtest::readFile(dir / "new"), "1234");
  EXPECT_FALSE(files.writeText(f, "x"));  // opened for reading only
  EXPECT_TRUE(files.fileExists("ne*"));
  EXPECT_FALSE(files.fileExists("zz*"));
  std::filesystem::remove_all(dir);
}

// Several items going back to a stock near the count limit: all of them go, or none does and nothing moves.
TEST(SaveFile, ABenchGoesBackWholeOrNotAtAll) {
  Program p;
  p.withStock({0, 2147483643, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  p.start();
  p.place(2);
  p.place(2);
  p.topUp(1);
  p.buy(1, 1);
  ASSERT_EQ(p.count(2), 2147483646);
  p.sounds();
  p.click("合成显示按钮");  // room for one crystal, not two: refused
  EXPECT_FALSE(p.shown("合成框"));
  EXPECT_EQ(p.tag("晶体位0"), "2");
  EXPECT_EQ(p.tag("晶体位1"), "2");
  EXPECT_EQ(p.count(2), 2147483646);
  EXPECT_EQ(p.sounds(), (std::vector<std::string>{"sound_refusal"}));
  p.click("保存数据");  // the save keeps both on the bench and writes the stock as it is
  EXPECT_EQ(p.tag("晶体位1"), "2");
  EXPECT_EQ(unscrambleIndependently(moxtest::readFile(p.dir() / "MOXdata")).substr(0, 13), "0|2147483646|");
}

namespace {
// A disk that keeps the data file in memory, so that a thousand saves cost no thousand flushes.
struct MemoryDisk : mox::HeadlessPlatform {
  using HeadlessPlatform::HeadlessPlatform;
  std::optional<std::string> file;
  bool fileExists(const std::string&) override { return file.has_value(); }
  std::optional<std::string> readFile(const std::string&, size_t) override { return file; }
  bool replaceFile(const std::string&, std::string_view bytes) override {
    file = std::string(bytes);
    return true;
  }
};
}  // namespace

TEST(SaveFile, SavesAndLoadsLeaveNoFileOpen) {
  MemoryDisk platform(std::filesystem::temp_directory_path());
  platform.file = moxtest::scrambleWithFiller("3|0|0|0|0|0|0|0|0|0|0|0|0|0|0|");
  mox::App app(platform);
  app.start();
  EXPECT_EQ(app.sim().itemCount(1), 3);
  EXPECT_EQ(app.files().openCount(), 0u);
  for (int i = 0; i < 1000; ++i) app.click("保存数据");
  EXPECT_EQ(app.files().openCount(), 0u);
  EXPECT_EQ(app.takeBanners().size(), 1000u);
}

// A choice outside a list never reaches the shop: the balance, the totals and the stock stay as they were.
TEST(Shop, ChoicesOutsideTheListsAreRefused) {
  Program p;
  p.start();
  p.topUp(0);
  for (const char* list : {"组合框1", "组合框2", "组合框3"}) {
    for (int index : {-1, -2, 99}) {
      p.select(list, index);
      EXPECT_EQ(p.form().get(list).selection, 0) << list << " " << index;
    }
  }
  p.click("图形按钮3");
  p.click("图形按钮2");
  EXPECT_EQ(p.count(1), 1);
  EXPECT_EQ(p.state().qCoinBalance, 100);
  EXPECT_EQ(p.state().spendTotal, 100);

  const moxtest::Run run =
      moxtest::runProgram("moxsim-script", moxtest::quoted(p.dir()), "select 组合框3 -1\nselect 组合框1 7\n");
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out,
            "error: line 1: item index -1 is outside the list of 组合框3\n"
            "error: line 2: item index 7 is outside the list of 组合框1\n");
}
