#pragma once
// Pictures shown at a factor between the picture sets are first drawn through resampleQuick, which costs a tenth
// of the careful filter, so the first frame comes as soon as at the sets' own factors; the careful resampling
// (resample) is made after it, on a thread of its own, and the front end swaps the results in on its own thread
// and draws its windows again. The refined pictures are those drawn when nothing is resampled quickly, pixel for
// pixel.
//
// The thread sleeps while there is nothing to make: at rest the program uses no processor time.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace mox::paint {

// A picture as a window draws it: an asset, keyed or not, at a size in screen pixels.
struct SizedPicture {
  std::string asset;
  std::optional<std::uint32_t> key;
  int width = 0, height = 0;
  bool operator==(const SizedPicture&) const = default;
  // Spelled out: some standard libraries (Emscripten's) have no three-way comparison for strings.
  bool operator<(const SizedPicture& o) const {
    return std::tie(asset, key, width, height) < std::tie(o.asset, o.key, o.width, o.height);
  }
};

class Refiner {
 public:
  // A picture to resample carefully: premultiplied pixels, borrowed (they must stay where they are, unchanged,
  // while the refiner lives) or owned.
  struct Job {
    SizedPicture picture;
    const std::uint32_t* borrowed = nullptr;
    std::vector<std::uint32_t> owned;
    int width = 0, height = 0;
  };
  struct Result {
    SizedPicture picture;
    std::vector<std::uint32_t> pixels;  // empty when it could not be made
  };

  Refiner() = default;
  ~Refiner() { stop(); }
  Refiner(const Refiner&) = delete;
  Refiner& operator=(const Refiner&) = delete;

  // Pictures are drawn quickly and refined from now on; `ready` runs on the refiner's thread each time a picture
  // is made (the front end wakes its loop there, takes it and frees the quick one; it draws its windows again
  // once the refiner is idle, so that they change in one frame).
  void enable(std::function<void()> ready);
  bool enabled() const { return enabled_; }
  // Work begins (after the first frame is on the screen); what was added before waits until then.
  void start();
  void add(Job job);
  // The pictures made since the last call, on the front end's thread.
  std::vector<Result> take();
  // No picture waits or is under way (the last one's `ready` may still be running).
  bool idle();
  // Waits until every picture added is made (for tests).
  void finish();
  // Ends the picture under way and drops the rest; nothing more is made. Call it before the pixels lent to the
  // refiner go.
  void stop();

 private:
  void work();

  bool enabled_ = false;
  std::function<void()> ready_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool started_ = false, stopping_ = false;
  int underWay_ = 0;
  bool waking_ = false;  // `ready` is running
  std::vector<Job> waiting_;
  std::vector<Result> made_;
  std::thread thread_;
};

}  // namespace mox::paint
