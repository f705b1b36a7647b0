#pragma once
// Saves written off the interface thread: one writer thread replaces files in the order the saves were asked for,
// and each result travels back to the interface thread through `post`, which a front end implements with its own
// event queue. Destroying the writer finishes every queued write first, so a save the user asked for is never
// lost at exit; results that arrive after that are dropped, since nobody is left to tell.
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace mox {

class BackgroundWriter {
 public:
  // Called on the writer thread with a completion that must run on the interface thread.
  using Post = std::function<void(std::function<void()> completion)>;

  explicit BackgroundWriter(Post post) : post_(std::move(post)) {}
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Queues replaceDataFile(path, bytes); `done` gets its result on the interface thread.
  void replace(std::filesystem::path path, std::string bytes, std::function<void(bool)> done);

 private:
  struct Job {
    std::filesystem::path path;
    std::string bytes;
    std::function<void(bool)> done;
  };
  void loop();

  Post post_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool stopping_ = false;
};

}  // namespace mox
