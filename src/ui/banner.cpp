#include "ui/banner.h"

namespace mox {

namespace {
constexpr const char* kTimer = "时钟1";
}

void BannerAnimation::drawLayeredPicture(const std::string& picture) {
  WindowInfo& w = banner_.window();
  w.layerPicture = picture;
  w.width = kWidth;
  w.height = kHeight;
  banner_.redrawAll();
}

void BannerAnimation::moveTo(int offset) {
  WindowInfo& w = banner_.window();
  w.left = main_.window().left;
  w.top = main_.window().top + offset;
  banner_.redrawAll();
}

void BannerAnimation::hide() {
  if (!banner_.window().visible) return;
  banner_.window().visible = false;
  banner_.redrawAll();
}

void BannerAnimation::prepare(const std::string& firstPicture) {
  hide();
  drawLayeredPicture(firstPicture);
}

void BannerAnimation::showBanner(const std::string& picture) {
  hide();
  main_.setInterval(kTimer, 0);
  offset_ = kStartOffset;
  moveTo(offset_);
  // The banner is composed over the main window by whoever draws the two forms, so a new picture needs no
  // repaint of the main window's controls.
  if (!picture.empty()) drawLayeredPicture(picture);
  main_.setInterval(kTimer, kIntervalMs);
}

void BannerAnimation::tick() {
  if (offset_ > kRestOffset) {
    if (offset_ < kShowBelow && !banner_.window().visible) {
      banner_.window().visible = true;
      banner_.redrawAll();
    }
    --offset_;
    moveTo(offset_);
  }
  if (offset_ <= kRestOffset) --offset_;
  if (offset_ <= kEndOffset) {
    offset_ = kStartOffset;
    hide();
    moveTo(kStartOffset);
    main_.setInterval(kTimer, 0);
  }
}

void BannerAnimation::followMainWindow() { moveTo(kRestOffset); }

}  // namespace mox
