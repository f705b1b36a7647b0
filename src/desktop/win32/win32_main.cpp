// moxsim.exe: the desktop program on Windows. Start-up in the order the program's frame asks for: the program's
// folder made current, the forms built, the creation handler and then the moved and resized handlers run before
// the window is first shown; then the message loop until the close box or Esc, and exit code 0.
#include <windows.h>

#include <thread>
#include <utility>

#include "desktop/win32/first_frame.h"
#include "desktop/win32/win32_audio.h"
#include "desktop/win32/win32_draw.h"
#include "desktop/win32/win32_platform.h"
#include "desktop/win32/win32_window.h"
#include "ui/app.h"
#include "ui/shell.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::filesystem::path programDir = mox::win32::programDirectory();
  // The save file is opened by its bare name: the program's own folder is the current one.
  SetCurrentDirectoryW(programDir.c_str());

  mox::win32::becomeDpiAware();
  int exitCode = 0;
  {
    mox::win32::WaveOut audio;
    mox::win32::Win32Platform platform(mox::win32::chooseDataDir(programDir, mox::win32::appDataDirectory), audio);
    mox::App app(platform);
    mox::win32::Pictures pictures;
    mox::win32::Fonts fonts;
    mox::win32::Painter painter(pictures, fonts);
    mox::win32::Desktop desktop(app, painter, pictures);
    // The forms, then the creation, moved and resized handlers: all before the window is first shown.
    desktop.shell().start();
    desktop.refinePictures();
    mox::win32::Window& window = desktop.main();
    // Bringing up GDI and the fonts for the first frame's text takes longer than connecting to the display and
    // creating the window, and so may decoding the pictures: the three overlap, each on a thread of its own. The
    // pictures are named first, so decoding starts at once; the drawing waits for each one it needs.
    // The factor from the system's density and the primary monitor's work area; checked against the monitor
    // the window lands on when it is shown.
    window.chooseScale(nullptr);
    window.announcePictures();
    std::thread decoder([&] { pictures.decodeAnnounced(); });
    desktop.shell().open({
        .prepare = [&] { return window.prepare(); },
        .create = [&] { return window.create(); },
        .ready = [&] { decoder.join(); },
        .show =
            [&] {
              platform.setWindow(window.handle());
              return desktop.showMain();
            },
        .position =
            [&] {
              const POINT origin = window.clientOrigin();
              return std::pair{origin.x, origin.y};
            },
    });
    // For the start-up benchmark: end once the first frame is on the screen.
    exitCode = desktop.run(mox::win32::benchingFirstFrame());
    platform.setWindow(nullptr);
  }
  return exitCode;
}
