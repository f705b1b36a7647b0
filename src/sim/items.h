#pragma once
// The item codes the benches and the stock use, and the shop's prices. Toolkit-free, so the planner and the
// window read the same figures.
#include <array>
#include <cstdint>

namespace mox {

// Item codes: 1 chip +0, 2 small crystal, 3 big crystal, 4 magic crystal, 5 catalyst, 6 protectant,
// 7..15 chip +1..+9.
enum ItemCode : int32_t {
  kChip0 = 1,
  kSmallCrystal = 2,
  kBigCrystal = 3,
  kMagicCrystal = 4,
  kCatalyst = 5,
  kProtectant = 6,
  kChip1 = 7,
  kChip7 = 13,
  kChip8 = 14,
  kChip9 = 15,
};

inline constexpr int kTopChipLevel = 9;

// The enhancement bench's four crystal slots, by their layout names.
inline constexpr const char* kCrystalSlots[4] = {"晶体位0", "晶体位1", "晶体位2", "晶体位3"};

// The item code of a chip of `level` (0..9), and back (-1 for a code that is no chip).
constexpr int32_t chipCode(int level) { return level == 0 ? kChip0 : kChip1 + level - 1; }
constexpr int chipLevel(int32_t code) {
  if (code == kChip0) return 0;
  if (code >= kChip1 && code <= kChip9) return code - kChip1 + 1;
  return -1;
}

// What the shop sells, in the order of its list, with the price of one in tenths of a Q币. Every price is a
// multiple of 0.5 Q币, so every sum of money spent is too.
struct ShopGoods {
  int32_t code;
  int32_t price;
};
inline constexpr std::array<ShopGoods, 6> kShopGoods = {{
    {kChip0, 100},
    {kSmallCrystal, 25},
    {kBigCrystal, 100},
    {kMagicCrystal, 50},
    {kCatalyst, 35},
    {kProtectant, 500},
}};

constexpr int32_t shopPrice(int32_t code) {
  for (const ShopGoods& g : kShopGoods) {
    if (g.code == code) return g.price;
  }
  return 0;
}

}  // namespace mox
