#include "backends/wayland/wayland_desktop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kOutputVersion = 4;  // name and description arrive from version 4
constexpr uint32_t kShmVersion = 1;
constexpr int kOutputRelease = 0;  // wl_output.release, from version 3
constexpr uint32_t kDisplaySync = 0;
constexpr uint32_t kDisplayGetRegistry = 1;
constexpr uint32_t kRegistryBind = 0;
constexpr uint32_t kOutputModeCurrent = 1;

struct RegistryListener {
  void (*global)(void*, wl_proxy*, uint32_t, const char*, uint32_t);
  void (*globalRemove)(void*, wl_proxy*, uint32_t);
};

struct OutputListener {
  void (*geometry)(void*, wl_proxy*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                   int32_t);
  void (*mode)(void*, wl_proxy*, uint32_t, int32_t, int32_t, int32_t);
  void (*done)(void*, wl_proxy*);
  void (*scale)(void*, wl_proxy*, int32_t);
  void (*name)(void*, wl_proxy*, const char*);
  void (*description)(void*, wl_proxy*, const char*);
};

struct XdgOutputListener {
  void (*logicalPosition)(void*, wl_proxy*, int32_t, int32_t);
  void (*logicalSize)(void*, wl_proxy*, int32_t, int32_t);
  void (*done)(void*, wl_proxy*);
  void (*name)(void*, wl_proxy*, const char*);
  void (*description)(void*, wl_proxy*, const char*);
};

struct CallbackListener {
  void (*done)(void*, wl_proxy*, uint32_t);
};

const OutputListener outputListener = {
    [](void* data, wl_proxy*, int32_t x, int32_t y, int32_t widthMM, int32_t heightMM, int32_t, const char*,
       const char*, int32_t) {
      auto& output = *static_cast<WaylandOutput*>(data);
      if (!output.hasLogicalSize) {
        output.x = x;
        output.y = y;
      }
      output.widthMM = widthMM;
      output.heightMM = heightMM;
    },
    [](void* data, wl_proxy*, uint32_t flags, int32_t width, int32_t height, int32_t) {
      auto& output = *static_cast<WaylandOutput*>(data);
      if ((flags & kOutputModeCurrent) == 0) return;
      output.modeWidth = width;
      output.modeHeight = height;
    },
    [](void*, wl_proxy*) {},
    [](void* data, wl_proxy*, int32_t scale) {
      static_cast<WaylandOutput*>(data)->scale = scale > 0 ? scale : 1;
    },
    [](void* data, wl_proxy*, const char* name) {
      auto& output = *static_cast<WaylandOutput*>(data);
      if (output.name.empty()) output.name = name;
    },
    [](void*, wl_proxy*, const char*) {},
};

const XdgOutputListener xdgOutputListener = {
    [](void* data, wl_proxy*, int32_t x, int32_t y) {
      auto& output = *static_cast<WaylandOutput*>(data);
      output.x = x;
      output.y = y;
      output.hasLogicalSize = true;
    },
    [](void* data, wl_proxy*, int32_t width, int32_t height) {
      auto& output = *static_cast<WaylandOutput*>(data);
      output.width = width;
      output.height = height;
      output.hasLogicalSize = true;
    },
    [](void*, wl_proxy*) {},
    // xdg-output's name is the one compositors' own tools use; it wins over wl_output's.
    [](void* data, wl_proxy*, const char* name) { static_cast<WaylandOutput*>(data)->name = name; },
    [](void*, wl_proxy*, const char*) {},
};

}  // namespace

// Only proxies of a connection made, so with the library loaded.
void ProxyDeleter::operator()(wl_proxy* proxy) const {
  const WaylandLibrary& library = *runtimeLibrary<WaylandLibrary>();
  if (destructorOpcode >= 0) {
    wl_argument none[1] = {};
    library.proxyMarshal(proxy, static_cast<uint32_t>(destructorOpcode), none);
  }
  library.proxyDestroy(proxy);
}

std::unique_ptr<WaylandDesktop> WaylandDesktop::connect() {
  const WaylandLibrary* loaded = runtimeLibrary<WaylandLibrary>();
  if (loaded == nullptr) return nullptr;
  const WaylandLibrary& library = *loaded;
  waylandExtensions(library);
  wl_display* display = library.displayConnect(nullptr);
  if (display == nullptr) return nullptr;
  std::unique_ptr<WaylandDesktop> desktop(new WaylandDesktop(library, display));
  if (!desktop->readGlobals()) return nullptr;
  return desktop;
}

WaylandDesktop::~WaylandDesktop() {
  outputs_.clear();
  idleNotifier_.reset();
  seat_.reset();
  screencopy_.reset();
  xdgOutputManager_.reset();
  shm_.reset();
  registry_.reset();
  library_.displayDisconnect(display_);
}

const WaylandOutput* WaylandDesktop::findOutput(const std::string& name) const {
  for (const auto& output : outputs_) {
    if (output->name == name) return output.get();
  }
  return nullptr;
}

// The registry's globals, then the objects bound from them, then what the outputs tell.
bool WaylandDesktop::readGlobals() {
  static const RegistryListener registryListener = {
      [](void* data, wl_proxy*, uint32_t name, const char* interface, uint32_t version) {
        static_cast<std::vector<WaylandGlobal>*>(data)->push_back({name, interface, version});
      },
      [](void*, wl_proxy*, uint32_t) {},
  };
  registry_ = create(reinterpret_cast<wl_proxy*>(display_), kDisplayGetRegistry, library_.registryInterface,
                     1, {wl_argument{}});
  if (!registry_) return false;
  listen(registry_.get(), registryListener, &globals_);
  if (!roundTrip()) return false;
  for (const WaylandGlobal& global : globals_) bindGlobal(global);
  askLogicalLayout();
  if (!roundTrip()) return false;
  for (auto& output : outputs_) {
    // Without xdg-output, the layout is what wl_output says, in its own pixels over its scale.
    if (!output->hasLogicalSize) {
      output->width = output->modeWidth / output->scale;
      output->height = output->modeHeight / output->scale;
    }
  }
  return true;
}

WaylandProxy WaylandDesktop::bind(const WaylandGlobal& global, const wl_interface* interface,
                                  uint32_t highest, int destructorOpcode) {
  const uint32_t version = std::min(global.version, highest);
  wl_argument args[4];
  args[0].u = global.name;
  args[1].s = interface->name;
  args[2].u = version;
  args[3].n = 0;
  return create(registry_.get(), kRegistryBind, interface, version, {args[0], args[1], args[2], args[3]},
                destructorOpcode);
}

// Every output; the first of each other interface that we use.
void WaylandDesktop::bindGlobal(const WaylandGlobal& global) {
  const WaylandExtensions& extensions = waylandExtensions(library_);
  if (global.interface == library_.outputInterface->name) {
    auto output = std::make_unique<WaylandOutput>();
    output->output =
        bind(global, library_.outputInterface, kOutputVersion, global.version >= 3 ? kOutputRelease : -1);
    if (!output->output) return;
    listen(output->output.get(), outputListener, output.get());
    outputs_.push_back(std::move(output));
  } else if (global.interface == library_.shmInterface->name && !shm_) {
    shm_ = bind(global, library_.shmInterface, kShmVersion, -1);
  } else if (global.interface == extensions.xdgOutputManager->name && !xdgOutputManager_) {
    xdgOutputManager_ =
        bind(global, extensions.xdgOutputManager, kXdgOutputManagerVersion, kXdgOutputManagerDestroy);
  } else if (global.interface == extensions.screencopyManager->name && !screencopy_) {
    screencopy_ =
        bind(global, extensions.screencopyManager, kScreencopyManagerVersion, kScreencopyManagerDestroy);
  } else if (global.interface == library_.seatInterface->name && !seat_) {
    // Its events go unheard: it is only named in requests. wl_seat.release came with version 5.
    seat_ = bind(global, library_.seatInterface, 1, -1);
  } else if (global.interface == extensions.idleNotifier->name && !idleNotifier_) {
    idleNotifier_ = bind(global, extensions.idleNotifier, kIdleNotifierVersion, kIdleNotifierDestroy);
  }
}

// xdg-output gives each output's place and size in the layout, as clients see them.
void WaylandDesktop::askLogicalLayout() {
  if (!xdgOutputManager_) return;
  const WaylandExtensions& extensions = waylandExtensions(library_);
  for (auto& output : outputs_) {
    wl_argument id{};
    wl_argument target{};
    target.o = reinterpret_cast<wl_object*>(output->output.get());
    output->xdgOutput =
        create(xdgOutputManager_.get(), kXdgOutputManagerGetXdgOutput, extensions.xdgOutput,
               library_.proxyVersion(xdgOutputManager_.get()), {id, target}, kXdgOutputDestroy);
    if (output->xdgOutput) listen(output->xdgOutput.get(), xdgOutputListener, output.get());
  }
}

WaylandProxy WaylandDesktop::create(wl_proxy* parent, uint32_t opcode, const wl_interface* interface,
                                    uint32_t version, std::initializer_list<wl_argument> args,
                                    int destructorOpcode) {
  std::vector<wl_argument> list(args);
  wl_proxy* proxy = library_.proxyMarshalConstructor(parent, opcode, list.data(), interface, version);
  return WaylandProxy(proxy, ProxyDeleter{destructorOpcode});
}

void WaylandDesktop::send(wl_proxy* proxy, uint32_t opcode, std::initializer_list<wl_argument> args) {
  std::vector<wl_argument> list(args);
  if (list.empty()) list.resize(1);
  library_.proxyMarshal(proxy, opcode, list.data());
}

bool WaylandDesktop::roundTrip() {
  bool done = false;
  static const CallbackListener callbackListener = {
      [](void* data, wl_proxy*, uint32_t) { *static_cast<bool*>(data) = true; }};
  WaylandProxy callback = create(reinterpret_cast<wl_proxy*>(display_), kDisplaySync,
                                 library_.callbackInterface, 1, {wl_argument{}});
  if (!callback) {
    usable_ = false;
    return false;
  }
  listen(callback.get(), callbackListener, &done);
  return dispatchUntil([&] { return done; });
}

bool WaylandDesktop::dispatchUntil(const std::function<bool()>& done) {
  if (!usable_) return false;
  const auto deadline = Clock::now() + kAnswerTimeout;
  const int fd = library_.displayFd(display_);
  while (!done()) {
    // Events already read are dispatched before waiting for more.
    if (library_.displayPrepareRead(display_) != 0) {
      if (library_.displayDispatchPending(display_) < 0) break;
      continue;
    }
    // A request that did not fit in the socket yet is sent once it has room.
    const bool flushed = library_.displayFlush(display_) >= 0;
    if (!flushed && errno != EAGAIN) {
      library_.displayCancelRead(display_);
      break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd wanted{fd, static_cast<short>(POLLIN | (flushed ? 0 : POLLOUT)), 0};
    const int ready = left > 0 ? poll(&wanted, 1, static_cast<int>(left)) : 0;
    if (ready <= 0 || (wanted.revents & POLLIN) == 0) {
      library_.displayCancelRead(display_);
      if ((ready < 0 && errno == EINTR) || (ready > 0 && (wanted.revents & POLLOUT) != 0)) continue;
      timedOut_ = ready == 0;
      break;
    }
    if (library_.displayReadEvents(display_) < 0 || library_.displayDispatchPending(display_) < 0) {
      usable_ = false;
      return false;
    }
  }
  if (done() && library_.displayError(display_) == 0) return true;
  usable_ = false;
  return false;
}

}  // namespace corvane
