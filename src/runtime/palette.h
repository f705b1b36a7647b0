#pragma once
// The program's colours, in one place. A name says what the colour is, so two colours never share one: the
// bonus captions' and low rates' red (kRed) is not the planner's softer red for a failure (kCoral), nor the rates'
// green (kBrightGreen) the planner's (kGreen).
#include <cstdint>

#include "runtime/form.h"

namespace mox::palette {

// The windows' own colours.
inline constexpr uint32_t kPageColour = rgb(0x27, 0x15, 0x0a);  // what every window is painted with
inline constexpr uint32_t kWhite = rgb(255, 255, 255);
inline constexpr uint32_t kBlack = rgb(0, 0, 0);
inline constexpr uint32_t kYellow = rgb(255, 255, 0);
inline constexpr uint32_t kRed = rgb(255, 0, 0);
inline constexpr uint32_t kCoral = rgb(255, 110, 90);
inline constexpr uint32_t kGrey = rgb(0xc8, 0xbc, 0xac);  // a warm light grey: the planner's lesser text
inline constexpr uint32_t kGold = rgb(0xf0, 0xc8, 0x6e);
inline constexpr uint32_t kGreen = rgb(0x9c, 0xe0, 0x6c);
inline constexpr uint32_t kBrightGreen = rgb(0, 255, 0);       // a rate of 50 % and more
inline constexpr uint32_t kPlate = rgb(0x32, 0x1b, 0x0d);      // behind the synthesis bench's odds
inline constexpr uint32_t kChartBack = rgb(0x1a, 0x0e, 0x06);  // behind the planner's curve and record

// The information box's captions, one colour a line.
inline constexpr uint32_t kPink = rgb(0xff, 0x80, 0xc0);
inline constexpr uint32_t kSage = rgb(0x80, 0xa0, 0x80);
inline constexpr uint32_t kDarkYellow = rgb(0xd8, 0xd8, 0x00);
inline constexpr uint32_t kAzure = rgb(0x00, 0x88, 0xff);
inline constexpr uint32_t kRose = rgb(0xff, 0x50, 0x80);
inline constexpr uint32_t kPeriwinkle = rgb(0x80, 0x80, 0xff);
inline constexpr uint32_t kLime = rgb(0x80, 0xe0, 0x00);

// The standard controls' own look (paint/display_list.cpp).
inline constexpr uint32_t kShadow = rgb(0x80, 0x80, 0x80);
inline constexpr uint32_t kBorder = rgb(0x7a, 0x7a, 0x7a);
inline constexpr uint32_t kButtonFace = rgb(0xe1, 0xe1, 0xe1);
inline constexpr uint32_t kPressedFace = rgb(0xcc, 0xcc, 0xcc);
inline constexpr uint32_t kHighlight = rgb(0x00, 0x78, 0xd7);
// Lists and charts on the page colour.
inline constexpr uint32_t kListStripe = rgb(0x26, 0x17, 0x0c);
inline constexpr uint32_t kScrollTrack = rgb(0x3a, 0x26, 0x16);
inline constexpr uint32_t kScrollThumb = rgb(0x9a, 0x78, 0x50);
inline constexpr uint32_t kCurve = rgb(0xff, 0xd2, 0x64);
inline constexpr uint32_t kGrid = rgb(0x3a, 0x28, 0x1a);
// The planner's chart and figures: the median and nine-in-ten marks, what a run spent, text that waits.
inline constexpr uint32_t kSkyBlue = rgb(0x6c, 0xc0, 0xff);
inline constexpr uint32_t kOrange = rgb(0xff, 0xa0, 0x40);
inline constexpr uint32_t kHotPink = rgb(0xff, 0x60, 0xa0);
inline constexpr uint32_t kMuted = rgb(0x7a, 0x66, 0x52);
// The plans pinned side by side: each one's curve and row, and the planner's flat text buttons.
inline constexpr uint32_t kTeal = rgb(0x40, 0xd0, 0xc0);
inline constexpr uint32_t kViolet = rgb(0xb4, 0x8c, 0xff);
inline constexpr uint32_t kSilver = rgb(0xd0, 0xd0, 0xd8);
inline constexpr uint32_t kTextButton = rgb(0x5a, 0x36, 0x18);
inline constexpr uint32_t kTextButtonHover = rgb(0x7a, 0x4c, 0x22);    // under the pointer
inline constexpr uint32_t kTextButtonPressed = rgb(0x3e, 0x24, 0x10);  // held down

}  // namespace mox::palette
