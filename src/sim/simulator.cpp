#include "sim/simulator.h"

#include <cmath>
#include <limits>

#include "assets/assets.h"
#include "runtime/fatal.h"
#include "runtime/value.h"

namespace mox {

std::string bannerPictureFor(std::string_view statusWord) {
  static constexpr std::pair<std::string_view, const char*> kBanners[] = {
      {"强化成功", "banner_enhance_success"},
      {"升级失败降低", "banner_enhance_fail_down"},
      {"升级失败没变", "banner_enhance_fail_same"},
      {"最高等级", "banner_max_level"},
      {"放入芯片", "banner_need_chip"},
      {"放入晶体", "banner_need_crystal"},
      {"余额不足", "banner_low_balance"},
      {"必须两枚", "banner_need_two"},
      {"合成成功", "banner_synth_success"},
      {"合成失败", "banner_synth_fail"},
      {"保存成功", "banner_saved"},
  };
  for (const auto& [word, picture] : kBanners) {
    if (compareTexts(word, statusWord) == 0) return picture;
  }
  return {};
}

std::string itemName(int32_t code) {
  static constexpr const char* kConsumables[5] = {"小晶体", "大晶体", "魔晶体", "催化剂", "防护剂"};
  if (code == kChip0) return "+0芯片";
  if (code >= kSmallCrystal && code <= kProtectant) return kConsumables[code - kSmallCrystal];
  if (code >= kChip1 && code <= kChip9) return "+" + std::to_string(code - kChip1 + 1) + "芯片";
  return {};
}

Simulator::Simulator(Form& form, Platform& platform, Random& random, Files& files, SimHooks hooks)
    : form_(form), platform_(platform), random_(random), files_(files), hooks_(std::move(hooks)) {}

int32_t Simulator::itemCount(int code) const { return at1(s_.itemCount, code); }

void Simulator::createWindow(const std::function<void()>& prepareBanner) {
  s_.qCoinBalance = s_.rechargeTotal = s_.spendTotal = 0;
  showMoney();

  const std::string emptyCell = form_.get("空图片").picture;
  const std::vector<int> labels = form_.findControlsByTag(1, 36), cells = form_.findControlsByTag(37, 36);
  for (int i = 1; i <= 36; ++i) {
    int label = at1(labels, i);
    int cell = at1(cells, i);
    if (form_.at(label).kind != Kind::TransparentLabel || form_.at(cell).kind != Kind::PictureButton) {
      fatalError("组件类型不符");
    }
    at1(s_.cellLabel, i) = label;
    form_.setCaption(label, "");
    at1(s_.cellButton, i) = cell;
    form_.setPicture(cell, emptyCell);
  }
  const std::vector<int> stock = form_.findControlsByTag(101, 15), slot = form_.findControlsByTag(201, 15);
  for (int i = 1; i <= 15; ++i) {
    at1(s_.stockPicture, i) = at1(stock, i);
    at1(s_.slotPicture, i) = at1(slot, i);
  }

  form_.setDisabled("强化显示按钮", true);
  if (prepareBanner) prepareBanner();
  form_.redrawAll();
  loadStock();
}

double Simulator::slotCode(std::string_view slot) const { return toNumber(form_.get(slot).tag); }

void Simulator::fillSlot(std::string_view slot, int32_t code) {
  int i = form_.indexOf(slot);
  if (i < 0) fatalError("未找到指定名称的组件");
  form_.setTag(i, toText(code));
  form_.setPicture(i, form_.at(at1(s_.slotPicture, code)).picture);
  form_.setVisible(i, true);
}

void Simulator::emptySlot(std::string_view slot) {
  int i = form_.indexOf(slot);
  if (i < 0) fatalError("未找到指定名称的组件");
  form_.setTag(i, "0");
  form_.setPicture(i, form_.get("空大图片").picture);
  form_.setVisible(i, false);
}

void Simulator::playSound(std::string_view role) {
  if (hooks_.quiet && hooks_.quiet()) return;
  const assets::Asset* sound = assets::find(role);
  if (sound) {
    mox::playSound(platform_, role, sound->bytes);
  } else {
    // Without its asset the sound is still recorded by role, so behaviour stays observable.
    platform_.playSound(role, WaveFormat{}, {});
  }
}

void Simulator::showResult(const std::string& statusWord) {
  if (hooks_.resultShown) hooks_.resultShown(statusWord);
  if (hooks_.quiet && hooks_.quiet()) return;
  if (hooks_.showBanner) hooks_.showBanner(bannerPictureFor(statusWord));
}

bool Simulator::synthesisShowing() const { return form_.get("合成框").visible; }

}  // namespace mox
