// moxsim.exe: the desktop program on Windows. Start-up in the order the program's frame asks for: the program's
// folder made current, the forms built, the creation handler and then the moved and resized handlers run before
// the window is first shown; then the message loop until the close box or Esc, and exit code 0.
#include <windows.h>
#include <objbase.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "desktop/win32/win32_audio.h"
#include "desktop/win32/win32_draw.h"
#include "desktop/win32/win32_platform.h"
#include "desktop/win32/win32_window.h"
#include "ui/app.h"
#include "ui/planner.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::filesystem::path programDir = mox::win32::programDirectory();
  // The save file is opened by its bare name: the program's own folder is the current one.
  SetCurrentDirectoryW(programDir.c_str());

  int exitCode = 0;
  {
    mox::win32::WaveOut audio;
    mox::win32::Win32Platform platform(
        mox::win32::chooseDataDir(programDir, mox::win32::appDataDirectory), audio);
    // The forms, then the creation, moved and resized handlers: all before the window is first shown.
    mox::App app(platform);
    app.start();
    // Fast auto-runs fill each timer tick with attempts for a fixed time, by this clock.
      app.planner().useSteadyClock();
    mox::win32::Pictures pictures;
    mox::win32::Fonts fonts;
    mox::win32::Painter painter(pictures, fonts);
    mox::win32::Desktop desktop(app, painter, pictures);
    mox::win32::Window& window = desktop.main();
    // Bringing up COM and WIC, decoding the pictures and drawing the first frame take longer than connecting to
    // the display and creating the window: they overlap, on two threads of their own, one drawing and one
    // decoding the pictures the drawing announces. Both work in the multithreaded apartment, which this thread
    // joins afterwards (WIC's objects work from any thread of it).
    bool decoding = false;
    std::thread decoder([&] {
      const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
      decoding = com;
      // Runs even without COM: the drawing waits for the pictures it announced, which then fail at once.
      pictures.decodeAnnounced();
      if (com) CoUninitialize();
    });
    bool prepared = false;
    std::thread preparer([&] {
      const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
      prepared = com && window.prepare();
      // Releases the decoder should drawing have failed before naming its pictures.
      pictures.announce({});
      if (com) CoUninitialize();
    });
    const bool created = window.create();
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    preparer.join();
    decoder.join();
    if (!created || !prepared || !decoding) platform.fatal("载入启动窗口失败");
    platform.setWindow(window.handle());
    if (!desktop.show()) platform.fatal("载入启动窗口失败");
    // For the start-up benchmark: end once the first frame is on the screen.
    const char* bench = std::getenv("MOXSIM_BENCH_T0");
    exitCode = desktop.run(bench && *bench);
    platform.setWindow(nullptr);
    if (com) CoUninitialize();
  }
  return exitCode;
}
