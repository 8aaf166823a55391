// A moving picture for the demo's virtual screens under Wine, where the bare desktop reads as
// black: a top-most window over the given rectangle with drifting colour bands and a bouncing
// disc, repainted ten times a second.
// Usage: scene_window.exe X Y WIDTH HEIGHT READY_FILE
#include <windows.h>

#include <cstdio>
#include <vector>

#include "dib_window.h"
#include "pictures.h"

namespace {

int width = 0;
int height = 0;
int frame = 0;
const char* readyFile = nullptr;
std::vector<unsigned char> pixels;

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
      pictures::drawScene(frame, width, height, pixels);
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
  pictures::drawScene(frame, width, height, pixels);

  return dib_window::show("CorvaneDemoScene", windowProc, placement.x, placement.y, width, height);
}
