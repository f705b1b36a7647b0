#pragma once
// The result banner's slide: a borderless window that appears 304 pixels below the main window's top edge on
// the 7th tick of a 10 ms timer, slides up to 280, rests, and hides itself on the 129th tick. The state lives in
// the banner form (visibility, position, picture) and the main form's timer, so a front end only draws it and
// a test can step it tick by tick.
#include <string>

#include "runtime/form.h"

namespace mox {

class BannerAnimation {
 public:
  static constexpr int kStartOffset = 310;
  static constexpr int kShowBelow = 305;
  static constexpr int kRestOffset = 280;
  static constexpr int kEndOffset = 180;
  static constexpr int kIntervalMs = 10;
  static constexpr int kWidth = 908;
  static constexpr int kHeight = 121;

  BannerAnimation(Form& main, Form& banner) : main_(main), banner_(banner) {}

  // At start-up: the banner window is hidden and already holds the first banner picture at its size.
  void prepare(const std::string& firstPicture);
  // Restarts the slide from the beginning with a new picture ("" keeps the picture it holds).
  void showBanner(const std::string& picture);
  void hide();
  // The tick handler of the slide timer.
  void tick();
  // The main window moved or was resized: the banner goes to its resting place below the new position.
  void followMainWindow();

  int offset() const { return offset_; }

 private:
  void drawLayeredPicture(const std::string& picture);
  void moveTo(int offset);

  Form& main_;
  Form& banner_;
  int offset_ = 0;
};

}  // namespace mox
