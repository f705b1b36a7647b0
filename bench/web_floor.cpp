// The web page's floor: a minimal wasm module that draws one frame on a canvas and marks it, for bench/web.js to
// compare the simulator's first frame with.
#include <emscripten.h>

// clang-format off
EM_JS(void, drawOneFrame, (), {
  requestAnimationFrame(function () {
    const c = document.getElementById('floor');
    const g = c.getContext('2d');
    g.fillStyle = '#302018';
    g.fillRect(0, 0, c.width, c.height);
    g.fillStyle = '#ffd479';
    g.font = '16px sans-serif';
    g.fillText('floor', 20, 40);
    performance.mark('floor-first-frame');
    document.documentElement.dataset.floor = 'ready';
  });
});
// clang-format on

int main() {
  drawOneFrame();
  return 0;
}
