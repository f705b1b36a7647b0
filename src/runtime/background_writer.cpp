#include "runtime/background_writer.h"

#include "runtime/data_file.h"

namespace mox {

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void BackgroundWriter::replace(std::filesystem::path path, std::string bytes, std::function<void(bool)> done) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back({std::move(path), std::move(bytes), std::move(done)});
    if (!thread_.joinable()) thread_ = std::thread([this] { loop(); });
  }
  wake_.notify_one();
}

void BackgroundWriter::loop() {
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    const bool ok = replaceDataFile(job.path, job.bytes);
    {
      std::lock_guard lock(mutex_);
      if (stopping_) continue;
    }
    post_([done = std::move(job.done), ok] { done(ok); });
  }
}

}  // namespace mox
