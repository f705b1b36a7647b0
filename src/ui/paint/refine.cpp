#include "ui/paint/refine.h"

#include <utility>

#include "ui/paint/resample.h"

namespace mox::paint {

void Refiner::stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Refiner::enable(std::function<void()> ready) {
  enabled_ = true;
  ready_ = std::move(ready);
}

void Refiner::start() {
  std::lock_guard lock(mutex_);
  if (started_ || !enabled_) return;
  started_ = true;
  thread_ = std::thread([this] { work(); });
}

void Refiner::add(Job job) {
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(job));
  }
  changed_.notify_all();
}

std::vector<Refiner::Result> Refiner::take() {
  std::lock_guard lock(mutex_);
  return std::exchange(made_, {});
}

void Refiner::finish() {
  start();
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !started_ || stopping_ || (waiting_.empty() && underWay_ == 0 && !waking_); });
}

bool Refiner::idle() {
  std::lock_guard lock(mutex_);
  return waiting_.empty() && underWay_ == 0;
}

void Refiner::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !waiting_.empty(); });
    if (stopping_) return;
    // In the order they were asked for: the first frame's pictures first.
    Job job = std::move(waiting_.front());
    waiting_.erase(waiting_.begin());
    ++underWay_;
    lock.unlock();
    const std::uint32_t* from = job.borrowed ? job.borrowed : job.owned.data();
    const auto count = static_cast<size_t>(job.width) * static_cast<size_t>(job.height);
    Result result{std::move(job.picture), {}};
    result.pixels = resample({from, count}, job.width, job.height, result.picture.width, result.picture.height);
    job.owned = {};
    lock.lock();
    made_.push_back(std::move(result));
    --underWay_;
    if (!stopping_ && ready_) {
      waking_ = true;
      lock.unlock();
      ready_();
      lock.lock();
      waking_ = false;
    }
    changed_.notify_all();
  }
}

}  // namespace mox::paint
