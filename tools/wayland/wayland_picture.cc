// Shows the test picture fullscreen on a Wayland compositor (xdg-shell, wl_shm), for the tests.
// Usage: wayland_picture test X Y WIDTH HEIGHT READY_FILE [animate]
// A window goes fullscreen on each output; (X, Y) is the picture's origin in the compositor's
// layout, so each window shows the part of the picture that falls on its output (black left of or
// above the origin). WIDTH x HEIGHT is drawn only when the compositor leaves the size to
// the client. READY_FILE is written once the compositor has painted each window's picture in a frame at least
// half a second after its first one (see kSettleMs); the program then runs until SIGTERM or SIGINT
// (exit 0). Animated, it paints the same picture again at every frame the compositor gives, as a
// screen that changes would (for the benchmarks). Any failure, the compositor's end included, exits 1.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pictures.h"
#include "xdg-shell-client-protocol.h"

namespace {

// A frame callback says that the compositor painted the surface, not how: mutter's default plugin
// fades and zooms a new window in over 250 ms, painting frames all along. So the picture counts as
// shown at the first frame this long after the first one.
constexpr uint32_t kSettleMs = 500;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "wayland_picture: %s\n", what);
  std::exit(1);
}

template <typename T>
T* bind(wl_registry* registry, uint32_t name, const wl_interface& interface, uint32_t version) {
  return static_cast<T*>(wl_registry_bind(registry, name, &interface, version));
}

// A wl_shm buffer holding the test picture shifted by (dx, dy): its pixel (sx, sy) is the picture's
// (sx + dx, sy + dy), black where that lies left of or above the picture.
class PictureBuffer {
 public:
  PictureBuffer(wl_shm* shm, int width, int height, int dx, int dy)
      : width_(width), height_(height), size_(static_cast<size_t>(width) * height * 4) {
    if (size_ > INT32_MAX) fail("the picture is too large for one wl_shm pool");
    const int fd = memfd_create("wayland_picture", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size_)) != 0) fail("cannot make the shared memory");
    void* data = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) fail("cannot map the shared memory");
    data_ = static_cast<unsigned char*>(data);
    draw(dx, dy);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size_));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);  // the buffer keeps the memory; libwayland sent a copy of fd
    close(fd);
  }
  ~PictureBuffer() {
    wl_buffer_destroy(buffer_);
    munmap(data_, size_);
  }
  PictureBuffer(const PictureBuffer&) = delete;
  PictureBuffer& operator=(const PictureBuffer&) = delete;

  wl_buffer* get() const { return buffer_; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  void draw(int dx, int dy) {
    const int pictureWidth = std::max(0, width_ + dx);
    std::vector<unsigned char> picture;
    pictures::drawTestPicture(pictureWidth, std::max(0, height_ + dy), picture);
    std::memset(data_, 0, size_);
    const int left = std::max(0, -dx);
    if (left >= width_) return;
    for (int sy = std::max(0, -dy); sy < height_; ++sy) {
      std::memcpy(data_ + (static_cast<size_t>(sy) * width_ + left) * 4,
                  &picture[(static_cast<size_t>(sy + dy) * pictureWidth + left + dx) * 4],
                  static_cast<size_t>(width_ - left) * 4);
    }
  }

  int width_;
  int height_;
  size_t size_;
  unsigned char* data_ = nullptr;
  wl_buffer* buffer_ = nullptr;
};

struct App;

// A fullscreen window on one output, showing the part of the picture that falls there.
struct Window {
  App* app = nullptr;
  wl_output* output = nullptr;
  int outputX = 0, outputY = 0, outputScale = 1;
  wl_surface* surface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  int configuredWidth = 0, configuredHeight = 0;
  std::unique_ptr<PictureBuffer> buffer;
  wl_callback* frame = nullptr;  // while not yet ready
  int framesShown = 0;           // since the last new buffer
  uint32_t firstFrameMs = 0;
  bool ready = false;
};

// Nothing of it is destroyed at the end: the process ends, and the compositor cleans up after it.
struct App {
  int x = 0, y = 0, width = 0, height = 0;
  const char* readyFile = nullptr;
  bool animate = false;
  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wmBase = nullptr;
  std::vector<std::unique_ptr<Window>> windows;  // one per output
};

[[noreturn]] void connectionFailed(wl_display* display) {
  const int error = wl_display_get_error(display);
  const wl_interface* interface = nullptr;
  uint32_t id = 0;
  if (error == EPROTO) {
    const uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
    std::fprintf(stderr, "wayland_picture: protocol error %u on %s@%u\n", code,
                 interface != nullptr ? interface->name : "?", id);
  } else {
    std::fprintf(stderr, "wayland_picture: lost the compositor: %s\n", std::strerror(error));
  }
  std::exit(1);
}

void writeReady(const char* path) {
  const std::string partial = std::string(path) + ".partial";
  FILE* file = std::fopen(partial.c_str(), "w");
  if (file == nullptr || std::fputs("ready\n", file) < 0 || std::fclose(file) != 0 ||
      std::rename(partial.c_str(), path) != 0) {
    fail("cannot write the ready file");
  }
}

void present(Window& window);

// The compositor's time of each frame, in milliseconds; the same picture again until it settled.
// Ready once every window is.
const wl_callback_listener frameListener = {[](void* data, wl_callback*, uint32_t ms) {
  Window& window = *static_cast<Window*>(data);
  wl_callback_destroy(window.frame);
  window.frame = nullptr;
  if (window.ready) return present(window);  // animated
  if (window.framesShown++ == 0) window.firstFrameMs = ms;
  if (window.framesShown < 2 || ms - window.firstFrameMs < kSettleMs) return present(window);
  window.ready = true;
  const auto& windows = window.app->windows;
  if (std::all_of(windows.begin(), windows.end(), [](const auto& w) { return w->ready; }))
    writeReady(window.app->readyFile);
  if (window.app->animate) present(window);
}};

// Attaches the buffer, damages all of it and commits, asking for a frame while not yet ready (or
// for good when animated).
void present(Window& window) {
  wl_surface* surface = window.surface;
  wl_surface_attach(surface, window.buffer->get(), 0, 0);
  wl_surface_damage(surface, 0, 0, window.buffer->width(), window.buffer->height());
  if (!window.ready || window.app->animate) {
    if (window.frame != nullptr) wl_callback_destroy(window.frame);  // a frame of the previous size
    window.frame = wl_surface_frame(surface);
    wl_callback_add_listener(window.frame, &frameListener, &window);
  }
  wl_surface_commit(surface);
}

const xdg_wm_base_listener wmBaseListener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};

const wl_output_listener outputListener = {
    [](void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*, const char*,
       int32_t) {
      static_cast<Window*>(data)->outputX = x;
      static_cast<Window*>(data)->outputY = y;
    },
    [](void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {},
    [](void*, wl_output*) {},
    [](void* data, wl_output*, int32_t factor) { static_cast<Window*>(data)->outputScale = factor; },
    [](void*, wl_output*, const char*) {},
    [](void*, wl_output*, const char*) {}};

const wl_registry_listener registryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
      App& app = *static_cast<App*>(data);
      if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        app.compositor = bind<wl_compositor>(registry, name, wl_compositor_interface, 1);
      } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        app.shm = bind<wl_shm>(registry, name, wl_shm_interface, 1);
      } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        app.wmBase = bind<xdg_wm_base>(registry, name, xdg_wm_base_interface, 1);
        xdg_wm_base_add_listener(app.wmBase, &wmBaseListener, &app);
      } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto window = std::make_unique<Window>();
        window->app = &app;
        window->output = bind<wl_output>(registry, name, wl_output_interface, std::min(version, 2u));
        wl_output_add_listener(window->output, &outputListener, window.get());
        app.windows.push_back(std::move(window));
      }
    },
    [](void*, wl_registry*, uint32_t) {}};

const xdg_toplevel_listener toplevelListener = {
    [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
      static_cast<Window*>(data)->configuredWidth = width;
      static_cast<Window*>(data)->configuredHeight = height;
    },
    [](void*, xdg_toplevel*) {}, [](void*, xdg_toplevel*, int32_t, int32_t) {},
    [](void*, xdg_toplevel*, wl_array*) {}};

// Acknowledges a configure and shows the picture at the size it asks for (or the one given).
const xdg_surface_listener xdgSurfaceListener = {[](void* data, xdg_surface* surface, uint32_t serial) {
  Window& window = *static_cast<Window*>(data);
  const App& app = *window.app;
  xdg_surface_ack_configure(surface, serial);
  const int width = window.configuredWidth > 0 ? window.configuredWidth : app.width;
  const int height = window.configuredHeight > 0 ? window.configuredHeight : app.height;
  if (window.buffer && window.buffer->width() == width && window.buffer->height() == height) {
    wl_surface_commit(window.surface);
    return;
  }
  auto previous = std::move(window.buffer);  // destroyed once its successor is committed
  window.buffer =
      std::make_unique<PictureBuffer>(app.shm, width, height, window.outputX - app.x, window.outputY - app.y);
  window.framesShown = 0;
  present(window);
}};

}  // namespace

int main(int argc, char** argv) {
  App app;
  app.animate = argc == 8 && std::strcmp(argv[7], "animate") == 0;
  if ((argc != 7 && !app.animate) || std::strcmp(argv[1], "test") != 0 ||
      (app.width = std::atoi(argv[4])) <= 0 || (app.height = std::atoi(argv[5])) <= 0) {
    std::fprintf(stderr, "usage: wayland_picture test X Y WIDTH HEIGHT READY_FILE [animate]\n");
    return 2;
  }
  app.x = std::atoi(argv[2]);
  app.y = std::atoi(argv[3]);
  app.readyFile = argv[6];

  // Killed, it ends at once and well: the compositor cleans up after a client that goes away.
  for (int signal : {SIGTERM, SIGINT}) std::signal(signal, [](int) { _exit(0); });

  app.display = wl_display_connect(nullptr);
  if (!app.display) fail("cannot connect to the Wayland display ($WAYLAND_DISPLAY)");
  wl_display* display = app.display;
  wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &app);
  // The globals, then the output's geometry and scale.
  if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) connectionFailed(display);
  if (!app.compositor) fail("the compositor offers no wl_compositor");
  if (!app.shm) fail("the compositor offers no wl_shm");
  if (!app.wmBase) fail("the compositor offers no xdg_wm_base");
  if (app.windows.empty()) fail("the compositor offers no wl_output");

  for (auto& window : app.windows) {
    if (window->outputScale != 1) fail("an output's scale is not 1: the picture would be scaled");
    window->surface = wl_compositor_create_surface(app.compositor);
    window->xdgSurface = xdg_wm_base_get_xdg_surface(app.wmBase, window->surface);
    xdg_surface_add_listener(window->xdgSurface, &xdgSurfaceListener, window.get());
    window->toplevel = xdg_surface_get_toplevel(window->xdgSurface);
    xdg_toplevel_add_listener(window->toplevel, &toplevelListener, window.get());
    xdg_toplevel_set_title(window->toplevel, "wayland_picture");
    xdg_toplevel_set_fullscreen(window->toplevel, window->output);
    wl_surface_commit(window->surface);  // no buffer yet: asks for the first configure
  }

  for (;;) {
    if (wl_display_dispatch(display) < 0) connectionFailed(display);
  }
}
