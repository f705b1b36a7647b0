// The embedded pictures and sounds: every asset the layout and the logic ask for is there, under its name, in the
// format and at the exact size the front end relies on. Each file is parsed here from its own bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "assets/assets.h"

namespace {

using Bytes = std::span<const unsigned char>;

enum class Format { Jpeg, Png, Wav, Ico };

struct Expected {
  std::string name;
  Format kind;
  int width = 0, height = 0;    // pictures
  std::uint32_t dataBytes = 0;  // sounds
};

std::vector<Expected> expectedAssets() {
  std::vector<Expected> e;
  auto jpeg = [&](const std::string& n, int w, int h) { e.push_back({n, Format::Jpeg, w, h, 0}); };
  jpeg("header", 989, 80);
  jpeg("enhance_bench", 446, 417);
  jpeg("synth_bench", 443, 412);
  jpeg("bag", 443, 457);
  jpeg("help_enhance", 522, 483);
  jpeg("help_synth", 520, 481);
  jpeg("balance_label", 46, 21);
  jpeg("rate_texture", 138, 23);
  for (const char* s : {"normal", "hover", "pressed", "disabled"}) {
    jpeg(std::string("btn_enhance_") + s, 120, 51);
    jpeg(std::string("btn_synth_") + s, 125, 56);
    for (const char* b : {"save", "enhance", "synth", "topup", "buy", "plan"}) {
      jpeg(std::string("small_") + b + "_" + s, 55, 31);
    }
    for (const char* b : {"autorun", "stop", "export"}) jpeg(std::string("wide_") + b + "_" + s, 87, 31);
  }
  for (const char* s : {"normal", "hover", "pressed"}) {
    jpeg(std::string("link_enhance_help_") + s, 90, 28);
    jpeg(std::string("link_synth_help_") + s, 92, 27);
    jpeg(std::string("link_plan_") + s, 80, 22);
  }
  jpeg("cell_empty", 52, 52);
  for (int level = 0; level <= 9; ++level) {
    jpeg("bag_chip" + std::to_string(level), 52, 52);
    jpeg("slot_chip" + std::to_string(level), 69, 79);
  }
  for (const char* item : {"small_crystal", "big_crystal", "magic_crystal", "catalyst", "protectant"}) {
    jpeg(std::string("bag_") + item, 52, 52);
    bool shield = std::string(item) == "protectant";
    jpeg(std::string("slot_") + item, shield ? 63 : 61, shield ? 65 : 63);
    jpeg(std::string("icon_") + item, 24, 24);
  }
  e.push_back({"icon", Format::Ico});
  for (const char* b : {"enhance_success", "enhance_fail_down", "enhance_fail_same", "max_level", "need_chip",
                        "need_crystal", "low_balance", "need_two", "synth_success", "synth_fail", "saved"})
    e.push_back({std::string("banner_") + b, Format::Png, 908, 121});
  e.push_back({"sound_click", Format::Wav, 0, 0, 36864});
  e.push_back({"sound_refusal", Format::Wav, 0, 0, 55296});
  e.push_back({"sound_purchase", Format::Wav, 0, 0, 34816});
  e.push_back({"sound_success", Format::Wav, 0, 0, 127116});
  e.push_back({"sound_failure", Format::Wav, 0, 0, 112460});
  // Every picture is also drawn at twice its size for enlarged screens, in the same format (not the icon, which
  // carries its own sizes, nor the sounds).
  for (size_t i = 0, n = e.size(); i < n; ++i)
    if (e[i].kind == Format::Jpeg || e[i].kind == Format::Png)
      e.push_back({e[i].name + "@2x", e[i].kind, 2 * e[i].width, 2 * e[i].height});
  return e;
}

std::uint32_t be16(Bytes b, size_t at) { return b[at] << 8 | b[at + 1]; }
std::uint32_t be32(Bytes b, size_t at) { return be16(b, at) << 16 | be16(b, at + 2); }
std::uint32_t le16(Bytes b, size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t le32(Bytes b, size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

// Each check returns "" when the bytes are right, otherwise what is wrong.

std::string checkJpeg(Bytes b, int w, int h) {
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return "no JPEG start marker";
  size_t at = 2;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF) return "segment does not start with 0xFF";
    unsigned marker = b[at + 1];
    size_t len = be16(b, at + 2);
    if (marker == 0xC0) {  // baseline frame
      if (at + 4 + 6 > b.size()) return "truncated frame header";
      if (b[at + 4] != 8) return "sample precision is not 8 bits";
      if (static_cast<int>(be16(b, at + 5)) != h || static_cast<int>(be16(b, at + 7)) != w)
        return "size " + std::to_string(be16(b, at + 7)) + "x" + std::to_string(be16(b, at + 5));
      return b[b.size() - 2] == 0xFF && b[b.size() - 1] == 0xD9 ? "" : "no JPEG end marker";
    }
    if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
      return "not a baseline JPEG (frame marker " + std::to_string(marker) + ")";
    if (marker == 0xDA) return "scan before any frame header";
    at += 2 + len;
  }
  return "no frame header";
}

std::string checkPng(Bytes b, int w, int h) {
  static const unsigned char sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (b.size() < 33 || !std::equal(sig, sig + 8, b.begin())) return "no PNG signature";
  if (be32(b, 8) != 13 || std::string(b.begin() + 12, b.begin() + 16) != "IHDR") return "first chunk is not IHDR";
  if (static_cast<int>(be32(b, 16)) != w || static_cast<int>(be32(b, 20)) != h)
    return "size " + std::to_string(be32(b, 16)) + "x" + std::to_string(be32(b, 20));
  if (b[24] != 8 || b[25] != 6) return "not 8-bit RGBA";
  if (b[28] != 0) return "interlaced";
  size_t at = 8;  // walk the chunks to IEND so a cut-off file shows
  while (at + 12 <= b.size()) {
    size_t len = be32(b, at);
    std::string type(b.begin() + at + 4, b.begin() + at + 8);
    at += 12 + len;
    if (type == "IEND") return at == b.size() ? "" : "bytes after IEND";
  }
  return "no IEND chunk";
}

std::string checkWav(Bytes b, std::uint32_t dataBytes) {
  // The canonical 44-byte header: RIFF, WAVE, a 16-byte PCM fmt chunk, then the data chunk.
  if (b.size() < 44 || std::string(b.begin(), b.begin() + 4) != "RIFF" ||
      std::string(b.begin() + 8, b.begin() + 16) != "WAVEfmt ")
    return "not a RIFF/WAVE file with fmt first";
  if (le32(b, 4) != b.size() - 8) return "RIFF size does not match the file";
  if (le32(b, 16) != 16 || le16(b, 20) != 1) return "not PCM";
  if (le16(b, 22) != 2 || le32(b, 24) != 44100 || le32(b, 28) != 44100 * 4 || le16(b, 32) != 4 || le16(b, 34) != 16)
    return "not 16-bit stereo at 44100 Hz";
  if (std::string(b.begin() + 36, b.begin() + 40) != "data") return "no data chunk at offset 36";
  if (le32(b, 40) != dataBytes || b.size() != 44 + dataBytes)
    return "data length " + std::to_string(le32(b, 40)) + ", file " + std::to_string(b.size());
  return "";
}

std::string checkIco(Bytes b) {
  const unsigned sizes[] = {64, 48, 32, 24, 16};
  if (b.size() < 6 + 5 * 16 || le16(b, 0) != 0 || le16(b, 2) != 1) return "not an icon file";
  if (le16(b, 4) != 5) return "image count " + std::to_string(le16(b, 4));
  for (size_t i = 0; i < 5; ++i) {
    size_t e = 6 + 16 * i;
    if (b[e] != sizes[i] || b[e + 1] != sizes[i]) return "image " + std::to_string(i) + " has the wrong size";
    if (le16(b, e + 6) != 32) return "image " + std::to_string(i) + " is not 32-bit";
    size_t len = le32(b, e + 8), off = le32(b, e + 12);
    if (off + len > b.size() || len < 40) return "image " + std::to_string(i) + " lies outside the file";
    // The image itself: a bitmap header (height counts the AND mask too) with 32-bit pixels.
    if (le32(b, off) != 40 || le32(b, off + 4) != sizes[i] || le32(b, off + 8) != 2 * sizes[i] ||
        le16(b, off + 14) != 32)
      return "image " + std::to_string(i) + " bitmap header disagrees with the directory";
    size_t stride = (sizes[i] + 31) / 32 * 4;
    if (len != 40 + sizes[i] * sizes[i] * 4 + stride * sizes[i]) return "image " + std::to_string(i) + " length";
  }
  return "";
}

std::string check(const Expected& e, Bytes b) {
  switch (e.kind) {
    case Format::Jpeg: return checkJpeg(b, e.width, e.height);
    case Format::Png: return checkPng(b, e.width, e.height);
    case Format::Wav: return checkWav(b, e.dataBytes);
    case Format::Ico: return checkIco(b);
  }
  return "unknown kind";
}

Bytes bytesOf(const char* name) {
  const mox::assets::Asset* a = mox::assets::find(name);
  return a ? a->bytes : Bytes{};
}

TEST(Assets, EveryExpectedAssetIsEmbeddedAndNoOther) {
  std::set<std::string> expected, embedded;
  for (const Expected& e : expectedAssets()) expected.insert(e.name);
  for (const mox::assets::Asset& a : mox::assets::all()) embedded.insert(std::string(a.name));
  EXPECT_EQ(expected.size(), 114u + 108u);
  for (const std::string& n : expected) EXPECT_TRUE(embedded.count(n)) << "missing " << n;
  for (const std::string& n : embedded) EXPECT_TRUE(expected.count(n)) << "unexpected " << n;
}

TEST(Assets, EachHasItsFormatAndExactSize) {
  for (const Expected& e : expectedAssets()) {
    const mox::assets::Asset* a = mox::assets::find(e.name);
    ASSERT_NE(a, nullptr) << e.name;
    EXPECT_EQ(check(e, a->bytes), "") << e.name;
  }
}

TEST(Assets, LookupFindsEveryEntryAndNothingElse) {
  auto table = mox::assets::all();
  for (size_t i = 0; i < table.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(table[i - 1].name, table[i].name);
    }
    EXPECT_EQ(mox::assets::find(table[i].name), &table[i]);
  }
  EXPECT_EQ(mox::assets::find(""), nullptr);
  EXPECT_EQ(mox::assets::find("banner"), nullptr);
  EXPECT_EQ(mox::assets::find("zzz"), nullptr);
}

TEST(Assets, SoundsStartAndEndSilentAndStayBelowFullScale) {
  for (const Expected& e : expectedAssets()) {
    if (e.kind != Format::Wav) continue;
    Bytes b = bytesOf(e.name.c_str());
    ASSERT_EQ(check(e, b), "") << e.name;
    int peak = 0;
    for (size_t at = 44; at + 1 < b.size(); at += 2)
      peak = std::max(peak, std::abs(static_cast<int>(static_cast<std::int16_t>(le16(b, at)))));
    EXPECT_LT(peak, 0.8 * 32767) << e.name << " clips";
    EXPECT_GT(peak, 0.3 * 32767) << e.name << " is nearly silent";
    EXPECT_EQ(le32(b, 44), 0u) << e.name << " starts with a click";
    EXPECT_EQ(le32(b, b.size() - 4), 0u) << e.name << " ends with a click";
  }
}

// The checks must reject the faults they are there for, or the tests above prove nothing.
TEST(Assets, ChecksRejectDamagedFiles) {
  std::vector<unsigned char> jpeg(bytesOf("header").begin(), bytesOf("header").end());
  ASSERT_EQ(checkJpeg(jpeg, 989, 80), "");
  EXPECT_NE(checkJpeg(jpeg, 900, 80), "");
  for (size_t i = 2; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 1] = 0xC2;  // progressive
      break;
    }
  EXPECT_NE(checkJpeg(jpeg, 989, 80), "");

  std::vector<unsigned char> png(bytesOf("banner_saved").begin(), bytesOf("banner_saved").end());
  ASSERT_EQ(checkPng(png, 908, 121), "");
  EXPECT_NE(checkPng(Bytes(png).first(png.size() - 20), 908, 121), "");
  png[25] = 2;  // RGB without alpha
  EXPECT_NE(checkPng(png, 908, 121), "");

  std::vector<unsigned char> wav(bytesOf("sound_click").begin(), bytesOf("sound_click").end());
  ASSERT_EQ(checkWav(wav, 36864), "");
  EXPECT_NE(checkWav(Bytes(wav).first(wav.size() - 4), 36864), "");
  wav[22] = 1;  // mono
  EXPECT_NE(checkWav(wav, 36864), "");

  std::vector<unsigned char> ico(bytesOf("icon").begin(), bytesOf("icon").end());
  ASSERT_EQ(checkIco(ico), "");
  ico[6 + 16 * 2 + 6] = 24;  // third image claims 24-bit
  EXPECT_NE(checkIco(ico), "");
}

// A pack as moxembed writes it gives the assets named without bytes theirs, and only those; a cut or foreign
// pack gives what comes before the damage, or nothing, and never reads past its end.
TEST(AssetPack, GivesTheWaitingAssetsTheirBytesAndNothingFromADamagedPack) {
  auto entry = [](std::string_view name, std::string_view data) {
    std::string e;
    for (std::string_view part : {name, data}) {
      for (int k = 0; k < 4; ++k) e += static_cast<char>((part.size() >> (8 * k)) & 0xFF);
      e += part;
    }
    return e;
  };
  static const unsigned char kHeld[] = {1, 2, 3};
  const std::string packed = "MOXPACK1" + entry("held", "xx") + entry("sound", "RIFF....") + entry("banner", "") +
                             entry("unknown", "zz") + entry("late", "abc");
  const auto bytes = [](const std::string& s) {
    return Bytes(reinterpret_cast<const unsigned char*>(s.data()), s.size());
  };
  auto fresh = [] {
    return std::vector<mox::assets::Asset>{{"banner", {}}, {"held", {kHeld, 3}}, {"late", {}}, {"sound", {}}};
  };

  std::vector<mox::assets::Asset> table = fresh();
  EXPECT_EQ(mox::assets::detail::adoptPack(bytes(packed), table), 3u);
  EXPECT_EQ(table[1].bytes.data(), kHeld);  // an asset with bytes keeps its own
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(table[3].bytes.data()), table[3].bytes.size()), "RIFF....");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(table[2].bytes.data()), table[2].bytes.size()), "abc");

  // Cut inside the last entry's data: the entries before it, not that one.
  table = fresh();
  EXPECT_EQ(mox::assets::detail::adoptPack(bytes(packed.substr(0, packed.size() - 1)), table), 2u);
  EXPECT_TRUE(table[2].bytes.empty());
  // Cut inside a length, a foreign file, nothing at all.
  for (const std::string& damaged :
       {packed.substr(0, 10), std::string("MOXPACK2") + packed.substr(8), std::string("not a pack"), std::string()}) {
    table = fresh();
    EXPECT_EQ(mox::assets::detail::adoptPack(bytes(damaged), table), 0u) << damaged.size();
  }
  // A length past the end of the pack.
  std::string huge = "MOXPACK1" + entry("sound", "");
  huge[8 + 4 + 5] = '\x7f';
  table = fresh();
  EXPECT_EQ(mox::assets::detail::adoptPack(bytes(huge + "RIFF"), table), 0u);
}

}  // namespace
