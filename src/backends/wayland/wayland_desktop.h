// One connection to the Wayland compositor with the globals corvane uses: the outputs (with their
// xdg-output names and logical layout), wl_shm, wlr-screencopy's manager, the first seat and
// ext-idle-notify's notifier. Each user opens its
// own (a monitor list, a capture's worker): libwayland's default queue belongs to one thread.
// No wait lasts more than a second, so a frozen compositor holds no getMonitors and no stop.
#pragma once

#include <wayland-client-core.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "backends/wayland/wayland_library.h"
#include "backends/wayland/wayland_protocols.h"

namespace corvane {

// Destroys a proxy, sending its destructor request first when it has one.
struct ProxyDeleter {
  int destructorOpcode = -1;
  void operator()(wl_proxy* proxy) const;
};
using WaylandProxy = std::unique_ptr<wl_proxy, ProxyDeleter>;

struct WaylandOutput {
  WaylandProxy output;
  WaylandProxy xdgOutput;
  std::string name;
  int32_t x = 0;  // in the compositor's logical layout
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t widthMM = 0;
  int32_t heightMM = 0;
  int32_t modeWidth = 0;  // the current mode, in the output's own pixels
  int32_t modeHeight = 0;
  int32_t scale = 1;
  bool hasLogicalSize = false;
};

struct WaylandGlobal {
  uint32_t name;
  std::string interface;
  uint32_t version;
};

class WaylandDesktop {
 public:
  static constexpr std::chrono::milliseconds kAnswerTimeout{1000};

  // Connected with the outputs read; null when libwayland is missing, no compositor listens, or
  // it did not answer in time.
  static std::unique_ptr<WaylandDesktop> connect();

  ~WaylandDesktop();
  WaylandDesktop(const WaylandDesktop&) = delete;
  WaylandDesktop& operator=(const WaylandDesktop&) = delete;

  const WaylandLibrary& library() const { return library_; }
  const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return outputs_; }
  const WaylandOutput* findOutput(const std::string& name) const;
  wl_proxy* shm() const { return shm_.get(); }
  wl_proxy* screencopyManager() const { return screencopy_.get(); }
  wl_proxy* seat() const { return seat_.get(); }
  wl_proxy* idleNotifier() const { return idleNotifier_.get(); }

  // False for good once the compositor hung up, broke the protocol or let a wait time out.
  bool usable() const { return usable_; }
  // Whether it went unusable because a wait timed out (the compositor did not answer).
  bool timedOut() const { return timedOut_; }

  // Sends what is queued, then dispatches events until done() holds. False (and unusable) when
  // the connection failed first or nothing made done() true for kAnswerTimeout.
  bool dispatchUntil(const std::function<bool()>& done);
  // A round trip: every event the compositor sent before it has been dispatched.
  bool roundTrip();

  // A request that creates an object of interface at version; null args where the new object goes.
  WaylandProxy create(wl_proxy* parent, uint32_t opcode, const wl_interface* interface, uint32_t version,
                      std::initializer_list<wl_argument> args, int destructorOpcode = -1);
  void send(wl_proxy* proxy, uint32_t opcode, std::initializer_list<wl_argument> args);
  // Listener is a struct of event handlers in the interface's event order.
  template <typename Listener>
  void listen(wl_proxy* proxy, const Listener& listener, void* data) {
    library_.proxyAddListener(proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener*>(&listener)),
                              data);
  }

 private:
  WaylandDesktop(const WaylandLibrary& library, wl_display* display) : library_(library), display_(display) {}
  bool readGlobals();
  WaylandProxy bind(const WaylandGlobal& global, const wl_interface* interface, uint32_t highest,
                    int destructorOpcode);
  void bindGlobal(const WaylandGlobal& global);
  void askLogicalLayout();

  const WaylandLibrary& library_;
  wl_display* display_;
  bool usable_ = true;
  bool timedOut_ = false;
  // Every global announced, also later ones (the registry's listener writes here for the
  // connection's whole life).
  std::vector<WaylandGlobal> globals_;
  // Proxies go before the display they live on (members are destroyed in reverse order).
  WaylandProxy registry_;
  WaylandProxy shm_;
  WaylandProxy xdgOutputManager_;
  WaylandProxy screencopy_;
  WaylandProxy seat_;
  WaylandProxy idleNotifier_;
  std::vector<std::unique_ptr<WaylandOutput>> outputs_;
};

}  // namespace corvane
