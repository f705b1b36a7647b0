// Values, texts, numbers and random draws as the logic relies on them.
#include <gtest/gtest.h>

#include "runtime/fatal.h"
#include "runtime/headless_platform.h"
#include "runtime/random.h"
#include "runtime/value.h"

using namespace mox;

namespace {
// GBK bytes of a few characters used below.
const std::string kFullWidth1 = "\xA3\xB1", kFullWidth2 = "\xA3\xB2", kFullWidthPoint = "\xA3\xAE";
const std::string kIdeographicSpace = "\xA1\xA1";
const std::string kChip = "\xD0\xBE";  // 芯
}  // namespace

TEST(Numbers, TextsReadAsTheirDecimalPrefix) {
  EXPECT_EQ(toNumber("12abc"), 12);
  EXPECT_EQ(toNumber("abc"), 0);
  EXPECT_EQ(toNumber(""), 0);
  EXPECT_EQ(toNumber("  -3.5e2x"), -350);
  EXPECT_EQ(toNumber("1e"), 1);
  EXPECT_EQ(toNumber(".5"), 0.5);
  EXPECT_EQ(toNumber("-"), 0);
  // Hexadecimal, infinity and NaN are not decimal numbers.
  EXPECT_EQ(toNumber("0x10"), 0);
  EXPECT_EQ(toNumber("inf"), 0);
  EXPECT_EQ(toNumber("nan"), 0);
  EXPECT_EQ(toNumber(kFullWidth1 + kFullWidth2), 12);
  EXPECT_EQ(toNumber(kIdeographicSpace + kFullWidth1 + kFullWidthPoint + kFullWidth2), 1.2);
  EXPECT_EQ(toNumber(kChip + "12"), 0);
  EXPECT_EQ(toNumber(std::string("7\0"
                                 "9",
                                 3)),
            7);
  EXPECT_EQ(toNumber(true), 1);
}

TEST(Numbers, TextOfRealsHasThirteenSignificantDigits) {
  EXPECT_EQ(toText(12.3), "12.3");
  EXPECT_EQ(toText(100.0), "100");
  EXPECT_EQ(toText(0.1 + 0.2), "0.3");
  EXPECT_EQ(toText(25 / 10.0), "2.5");
  EXPECT_EQ(toText(1234 / 10.0), "123.4");
  EXPECT_EQ(toText(1e13), "1e+13");
  EXPECT_EQ(toText(0.00001), "1e-05");
  EXPECT_EQ(toText(int32_t{-7}), "-7");
  EXPECT_EQ(toText(uint8_t{200}), "200");
  EXPECT_EQ(toText(true), "\xD5\xE6");
  EXPECT_EQ(toText(false), "\xBC\xD9");
  EXPECT_EQ(toText(Bytes{'a', 'b', 0, 'c'}), "ab");
}

TEST(Numbers, FormatNumberRoundsHalfAwayFromZeroAndPads) {
  EXPECT_EQ(formatNumber(2.345, 2), "2.35");
  EXPECT_EQ(formatNumber(-2.5, 0), "-3");
  EXPECT_EQ(formatNumber(1234, -2), "1200");
  EXPECT_EQ(formatNumber(0.05, 1), "0.1");
  EXPECT_EQ(formatNumber(12, 1), "12.0");
  EXPECT_EQ(formatNumber(12, 2), "12.00");
  EXPECT_EQ(formatNumber(12.5, 2), "12.50");
  EXPECT_EQ(formatNumber(2.25, 1), "2.3");
  EXPECT_EQ(formatNumber(63.6, 0), "64");
  EXPECT_EQ(formatNumber(0, 1), "0.0");
  EXPECT_EQ(formatNumber(1234567.5, std::nullopt, true), "1,234,567.5");
  EXPECT_EQ(formatNumber(-123456, std::nullopt, true), "-123,456");
  EXPECT_EQ(formatNumber(123, std::nullopt, true), "123");
  EXPECT_EQ(formatNumber(1e20, std::nullopt, true), "1e+20");
}

TEST(Numbers, RemainderIntegerPartAndTruncation) {
  EXPECT_EQ(remainder(7.5, 2), 1.5);
  EXPECT_EQ(remainder(-7.5, 2), -1.5);
  EXPECT_EQ(remainder(25000, 1000), 0);
  EXPECT_EQ(remainder(100, 9, 2), 1);
  EXPECT_EQ(integerPart(-0.5), -1);
  EXPECT_EQ(integerPart(7.9999999999999), 8);
  EXPECT_EQ(integerPart(-2.9999999999999), -3);
  EXPECT_EQ(integerPart(2.5), 2);
  EXPECT_EQ(integerPart(1e300), 2147483647);
  EXPECT_EQ(truncToInt(-3.9), -3);
  EXPECT_EQ(truncToInt(3e10), 2147483647);
  EXPECT_EQ(absValue(-2), 2);
}

TEST(Texts, LengthMidRightFind) {
  EXPECT_EQ(textLength(kChip + "ab"), 4);
  EXPECT_EQ(midText("abc", 3, 5), "c");
  EXPECT_EQ(midText("abc", 4, 1), "");
  EXPECT_EQ(midText("abc", 0, 1), "");
  EXPECT_EQ(midText("abc", 1, 0), "");
  EXPECT_EQ(rightText("abc", 2), "bc");
  EXPECT_EQ(rightText("abc", 9), "abc");
  EXPECT_EQ(rightText("abc", 0), "");
  EXPECT_EQ(findText("a*b*", "*"), 2);
  EXPECT_EQ(findText("a*b*", "*", 3), 4);
  EXPECT_EQ(findText("abc", "*"), -1);
  EXPECT_EQ(findText("abc", "", 1), 1);
  EXPECT_EQ(findText("", ""), -1);
  EXPECT_EQ(findText("abc", "c", 9), -1);
  EXPECT_EQ(findText("ABC", "bc", 1, true), 2);
  EXPECT_EQ(findText("ABC", "bc"), -1);
  // 0xB0 0xAA then 'x': the sought bytes 0xAA 'x' straddle a character and must not match.
  EXPECT_EQ(findText("\xB0\xAAx", "\xAAx"), -1);
  EXPECT_EQ(findText("a\xB0\xAAx", "x"), 4);
}

TEST(Texts, SplitKeepsEmptyPiecesButNotAnEmptyTail) {
  EXPECT_TRUE(splitText("", "|").empty());
  EXPECT_EQ(splitText("1|2|3|", "|"), (TextArray{"1", "2", "3"}));
  EXPECT_EQ(splitText("|a", "|"), (TextArray{"", "a"}));
  EXPECT_EQ(splitText("a||b", "|"), (TextArray{"a", "", "b"}));
  EXPECT_EQ(splitText("a|b", ""), (TextArray{"a|b"}));
  EXPECT_TRUE(splitText("a|b", "|", 0).empty());
  EXPECT_EQ(splitText("a|b|c", "|", 2), (TextArray{"a", "b"}));
  EXPECT_EQ(splitText("a,b"), (TextArray{"a", "b"}));
  // A '|' byte that is the trail byte of a double-byte character is not a delimiter.
  EXPECT_EQ(splitText("\x81|x|y", "|"), (TextArray{"\x81|x", "y"}));
}

TEST(Texts, TrimTrailingSpacesAndCompare) {
  EXPECT_EQ(trimTrailingSpaces("ab  "), "ab");
  EXPECT_EQ(trimTrailingSpaces("ab " + kIdeographicSpace + " "), "ab");
  EXPECT_EQ(trimTrailingSpaces("   "), "");
  EXPECT_LT(compareTexts("ab", "abc"), 0);
  EXPECT_GT(compareTexts("\xB0", "a"), 0);
  EXPECT_EQ(compareTexts("14", "14"), 0);
  EXPECT_EQ(gbkToUtf8(kChip), "芯");
  EXPECT_EQ(utf8ToGbk("芯"), kChip);
}

TEST(RandomDraws, ReproducesTheClassicGeneratorSequence) {
  Random r([] { return 0u; });
  r.seedRandom(1);
  std::vector<int> outputs;
  for (int i = 0; i < 5; ++i) outputs.push_back(r.draw());
  EXPECT_EQ(outputs, (std::vector<int>{41, 18467, 6334, 26500, 19169}));
  Random unseeded([] { return 0u; });
  EXPECT_EQ(unseeded.draw(), 41);
}

TEST(RandomDraws, UnseededSeedingReadsTicksPlusCounter) {
  uint32_t ticks = 1000;
  Random r([&] { return ticks; });
  r.seedRandom();
  EXPECT_EQ(r.state(), 1000u);
  EXPECT_EQ(r.seedCounter(), 332u);
  Random reference([] { return 0u; });
  reference.seedRandom(1000);
  EXPECT_EQ(r.randomInt(1, 1000), 1 + reference.draw() % 1000);
  // A second seeding in the same millisecond differs through the counter.
  r.seedRandom();
  EXPECT_EQ(r.state(), 1332u);
  EXPECT_EQ(r.seedCounter(), 332u + (1332u & 0xFF) + 100);
}

TEST(RandomDraws, RangeRules) {
  Random r([] { return 0u; });
  r.seedRandom(5);
  uint32_t before = r.state();
  EXPECT_EQ(r.randomInt(5, 5), 5);
  EXPECT_EQ(r.state(), before);
  for (int i = 0; i < 200; ++i) {
    int v = r.randomInt(10, 3);
    EXPECT_GE(v, 3);
    EXPECT_LE(v, 10);
    EXPECT_GE(r.randomInt(-5, 2), 0);
  }
  // A range wider than the generator only ever yields its first 32768 values.
  for (int i = 0; i < 200; ++i) EXPECT_LE(r.randomInt(), 32767);
}

TEST(Fatal, MessageAndExitThroughThePlatform) {
  EXPECT_EQ(fatalMessage("不能求余数于零"), "运行时出错!\n\n错误信息：不能求余数于零\n");
  EXPECT_EQ(fatalMessage("x", 5), "运行时出错!\n\n错误代码：5\n\n错误信息：x\n");
  HeadlessPlatform platform;
  setFatalHandler([&](const std::string& m) { platform.fatal(m); });
  EXPECT_THROW(remainder(1, 0), FatalExit);
  int array[3] = {1, 2, 3};
  EXPECT_EQ(at1(array, 3), 3);
  EXPECT_THROW(at1(array, 4), FatalExit);
  EXPECT_THROW(at1(array, 0), FatalExit);
  ASSERT_EQ(platform.boxes().size(), 3u);
  EXPECT_NE(platform.boxes()[0].find("不能求余数于零"), std::string::npos);
  setFatalHandler(nullptr);
}
