// Shows a picture on the X screen, above everything, for the tests and the demo.
// Usage: x11_picture test|scene X Y WIDTH HEIGHT READY_FILE
// test: the test picture (pictures::drawTestPicture), relative to the window; the program ends
// itself after two minutes. scene: the demo's moving scene, ten frames a second, until killed or
// the server goes away. READY_FILE is written once the server has the first picture on screen.
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "pictures.h"

namespace {

struct Options {
  bool scene = false;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  const char* readyFile = nullptr;
};

bool readOptions(int argc, char** argv, Options& options) {
  if (argc != 7 || (std::strcmp(argv[1], "test") != 0 && std::strcmp(argv[1], "scene") != 0)) return false;
  options = {std::strcmp(argv[1], "scene") == 0,
             std::atoi(argv[2]),
             std::atoi(argv[3]),
             std::atoi(argv[4]),
             std::atoi(argv[5]),
             argv[6]};
  return options.width > 0 && options.height > 0;
}

// Copies the pixels into the pixmap in strips that fit the server's largest request.
void putPixels(xcb_connection_t* c, xcb_pixmap_t pixmap, xcb_gcontext_t gc, const xcb_screen_t& screen,
               int width, int height, const std::vector<unsigned char>& pixels) {
  const size_t maxBytes = static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4 - 64;
  const size_t rowBytes = static_cast<size_t>(width) * 4;
  const int rowsPerStrip = std::max(1, static_cast<int>(maxBytes / rowBytes));
  for (int top = 0; top < height; top += rowsPerStrip) {
    const int rows = std::min(rowsPerStrip, height - top);
    xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, static_cast<uint16_t>(width),
                  static_cast<uint16_t>(rows), 0, static_cast<int16_t>(top), 0, screen.root_depth,
                  static_cast<uint32_t>(rows * rowBytes), &pixels[top * rowBytes]);
  }
}

void sync(xcb_connection_t* c) { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!readOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: x11_picture test|scene X Y WIDTH HEIGHT READY_FILE\n");
    return 2;
  }
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c) != 0) {
    std::fprintf(stderr, "x11_picture: cannot open the X display\n");
    return 1;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (; screenNumber > 0; --screenNumber) xcb_screen_next(&it);
  const xcb_screen_t& screen = *it.data;
  if (screen.root_depth != 24) {
    std::fprintf(stderr, "x11_picture: needs a screen of depth 24, not %d\n", screen.root_depth);
    return 1;
  }

  const auto width = static_cast<uint16_t>(options.width);
  const auto height = static_cast<uint16_t>(options.height);
  const xcb_pixmap_t pixmap = xcb_generate_id(c);
  xcb_create_pixmap(c, screen.root_depth, pixmap, screen.root, width, height);
  const xcb_gcontext_t gc = xcb_generate_id(c);
  xcb_create_gc(c, gc, pixmap, 0, nullptr);

  std::vector<unsigned char> pixels;
  int frame = 0;
  if (options.scene) {
    pictures::drawScene(frame, width, height, pixels);
  } else {
    pictures::drawTestPicture(width, height, pixels);
  }
  putPixels(c, pixmap, gc, screen, width, height, pixels);

  // The pixmap is the window's background, so the server repaints it by itself; no window
  // manager may move or decorate it.
  const xcb_window_t window = xcb_generate_id(c);
  const uint32_t values[] = {pixmap, 1};
  xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen.root, static_cast<int16_t>(options.x),
                    static_cast<int16_t>(options.y), width, height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                    screen.root_visual, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
  xcb_map_window(c, window);
  sync(c);
  if (FILE* ready = std::fopen(options.readyFile, "w")) {
    std::fputs("ready\n", ready);
    std::fclose(ready);
  }

  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (xcb_connection_has_error(c) == 0 && (options.scene || std::chrono::steady_clock::now() < end)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (options.scene) {
      pictures::drawScene(++frame, width, height, pixels);
      putPixels(c, pixmap, gc, screen, width, height, pixels);
      xcb_clear_area(c, 0, window, 0, 0, 0, 0);
    }
    sync(c);  // also notices a server that went away
  }
  xcb_disconnect(c);
  return 0;
}
