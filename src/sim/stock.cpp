// Saving the stock to "MOXdata" beside the program and loading it at start-up.
#include <cmath>
#include <limits>

#include "runtime/fatal.h"
#include "runtime/value.h"
#include "sim/simulator.h"
#include "sim/slot_tests.h"
#include "store/cipher.h"
#include "store/saved_stock.h"

namespace mox {

namespace {
constexpr const char* kDataFile = "MOXdata";
}  // namespace

void Simulator::saveStock() {
  // Items still on either bench go back to the stock first, so the saved counts include them. At the count limit
  // they cannot all go back: they then stay on the bench, all of them, and the stock is saved as it is.
  using enum SlotTestKind;
  static constexpr SlotTest kOrder[] = {
      {"合成芯片位", AtLeast, 8},  {"合成芯片位1", AtLeast, 7}, {"合成芯片位2", AtLeast, 7},
      {"合成防护位", EqualTo, 6},  {"晶体位0", GreaterThan, 1}, {"晶体位1", GreaterThan, 1},
      {"晶体位2", GreaterThan, 1}, {"晶体位3", GreaterThan, 1}, {"芯片位", AtLeast, 1},
      {"防护位", EqualTo, 6},      {"催化位", EqualTo, 5},
  };
  (void)returnBench(kOrder);
  refreshAll();

  std::string record;
  for (int k = 1; k <= 15; ++k) record += toText(at1(s_.itemCount, k)) + "|";

  const int32_t file = files_.openFile(kDataFile, 4, 1);
  auto reportSave = [this](bool written) {
    if (!written) {
      // The previous file is untouched (writes replace it as a whole); say so instead of claiming success.
      platform_.messageBox("数据保存失败：无法写入数据文件 MOXdata，原有数据未被改动。", 0x10, "信息：");
      return;
    }
    showResult("保存成功");
  };
  if (file <= 0) {
    reportSave(false);
    return;
  }
  // The disk may be slow: the result is reported when the write has finished, without holding up the window.
  files_.writeTextLater(file, scrambleText(record, "", random_), reportSave);
  files_.closeFile(file);
}

bool Simulator::loadStock() {
  if (!files_.fileExists(kDataFile)) return false;
  const int32_t file = files_.openFile(kDataFile, 1, 1);
  const Text text = files_.readText(file);
  files_.closeFile(file);
  const std::optional<std::array<int32_t, 15>> counts = savedStock(text, platform_);
  if (!counts) return false;
  s_.itemCount = *counts;
  refreshAll();
  return true;
}

}  // namespace mox
