#pragma once
// The whole program without a screen: both windows' forms built from the layout, the simulation wired to their
// controls, start-up in its order, and input by control name. The desktop front end and the script driver both
// drive this object; neither holds any logic of its own.
#include <memory>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/files.h"
#include "runtime/form.h"
#include "runtime/platform.h"
#include "runtime/random.h"

namespace mox {

class Simulator;
class BannerAnimation;

class App {
 public:
  explicit App(Platform& platform);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Runs the main window's creation handler, then its moved and resized handlers, as before the first showing.
  void start();

  Form& mainForm() { return main_; }
  Form& bannerForm() { return banner_; }
  Simulator& sim() { return *sim_; }
  BannerAnimation& bannerAnimation() { return *bannerAnimation_; }
  Random& random() { return random_; }
  Files& files() { return files_; }
  Platform& platform() { return platform_; }

  // Input as a user gives it, by control name. Events on a control the user could not reach (hidden, or
  // disabled, itself or a parent) are ignored. Returns false only for a name the form does not have.
  bool click(std::string_view name);
  bool press(std::string_view name);  // left button pressed
  bool move(std::string_view name);   // mouse moved over it
  bool select(std::string_view name, int index);
  // One tick of every running timer of both windows.
  void tickTimers(int count = 1);

  // The front end reports the main window's new screen position (outer frame); runs the moved handler.
  void mainWindowMoved(int left, int top);

  // Status words passed to the result feedback since the last call.
  std::vector<std::string> takeBanners();

 private:
  bool fire(std::string_view name, Event event);

  Platform& platform_;
  Random random_;
  Files files_;
  Form main_;
  Form banner_;
  std::unique_ptr<BannerAnimation> bannerAnimation_;
  std::unique_ptr<Simulator> sim_;
  std::vector<std::string> banners_;
};

}  // namespace mox
