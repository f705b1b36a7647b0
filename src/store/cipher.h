#pragma once
// The save file's scrambling: the record's bytes at odd and then at even positions, each followed by a random
// filler byte, with an optional password bound after a "*". Unscrambling drops the fillers and interleaves the
// halves back, so it never depends on what the fillers were.
#include <string>
#include <string_view>

#include "runtime/platform.h"
#include "runtime/random.h"
#include "runtime/value.h"

namespace mox {

// The 250 filler bytes (GBK text mixed with ASCII letters and digits); no NUL, 0x1A, "*" or "|" among them.
std::string_view fillerAlphabet();

Text scrambleText(std::string_view text, std::string_view password, Random& random);
// On a password mismatch it tells the user in a message box and returns the empty text.
Text unscrambleText(std::string_view text, std::string_view password, Platform& platform);

}  // namespace mox
