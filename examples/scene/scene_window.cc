// A moving picture for the demo's virtual screens under Wine, where the bare desktop reads as
// black: a top-most window over the given rectangle with drifting colour bands and a bouncing
// disc, repainted ten times a second.
// Usage: scene_window.exe X Y WIDTH HEIGHT READY_FILE
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "dib_window.h"

namespace {

int width = 0;
int height = 0;
int frame = 0;
const char* readyFile = nullptr;
std::vector<unsigned char> pixels;

void drawScene() {
  const double t = frame * 0.1;
  const double discX = (0.5 + 0.4 * std::sin(t * 0.9)) * width;
  const double discY = (0.5 + 0.35 * std::cos(t * 1.3)) * height;
  const double radius = 0.12 * (width < height ? width : height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      double red = 0.5 + 0.5 * std::sin(6.28 * (u + t * 0.05));
      double green = 0.5 + 0.5 * std::sin(6.28 * (v + u * 0.5 + 1.0 / 3 - t * 0.04));
      double blue = 0.5 + 0.5 * std::sin(6.28 * (u - v + 2.0 / 3 + t * 0.03));
      const double dx = x - discX;
      const double dy = y - discY;
      if (dx * dx + dy * dy < radius * radius) red = green = blue = 1.0;
      p[0] = static_cast<unsigned char>(blue * 255);
      p[1] = static_cast<unsigned char>(green * 255);
      p[2] = static_cast<unsigned char>(red * 255);
      p[3] = 0;
    }
  }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      dib_window::paint(window, width, height, pixels);
      if (frame == 0 && readyFile != nullptr) {
        if (FILE* ready = std::fopen(readyFile, "w")) std::fclose(ready);
        readyFile = nullptr;
      }
      return 0;
    }
    case WM_CREATE:
      SetTimer(window, 1, 100, nullptr);
      return 0;
    case WM_TIMER:
      ++frame;
      drawScene();
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int main(int argc, char** argv) {
  dib_window::Placement placement;
  if (!dib_window::readPlacement(argc, argv, "scene_window", placement)) return 2;
  width = placement.width;
  height = placement.height;
  readyFile = placement.readyFile;
  pixels.resize(static_cast<size_t>(width) * height * 4);
  drawScene();

  return dib_window::show("CorvaneDemoScene", windowProc, placement.x, placement.y, width, height);
}
