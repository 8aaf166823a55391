// The session end held on Windows: the process asks to hear of it first, the window gets the
// reason, and its procedure is subclassed so that it refuses the end of the session. On Windows
// and on the simulated desktop.
#include <map>
#include <mutex>

#include "backends/windows/window_platform.h"
#include "common/module_pin.h"
#include "common/never_destroyed.h"
#include "shutdown/session_end_hold.h"

namespace corvane {
namespace {

constexpr uint32_t kShutdownLevel = 0x3FF;
constexpr uint32_t kEndSessionDelayMs = 4000;

// Every hooked window keeps the procedure it had before; the hook's procedure runs on each
// window's own thread.
class WindowHook final : public SessionEndHold {
 public:
  void hold(WindowHandle window) override {
    WindowPlatform& platform = windowPlatform();
    platform.setProcessShutdownParameters(kShutdownLevel, 0);
    platform.shutdownBlockReasonCreate(window);
    hook(platform, window);
  }

  intptr_t handle(WindowPlatform& platform, WindowHandle window, uint32_t message, uintptr_t wParam,
                  intptr_t lParam) {
    if (message == kQueryEndSession) {
      notifyShutdown();
      return 0;  // the end of the session is refused
    }
    if (message == kEndSession && wParam != 0) platform.sleep(kEndSessionDelayMs);
    WindowProcedure previous = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = previous_.find(window);
      if (found != previous_.end()) previous = found->second;
    }
    // Outside the lock: the previous procedure may send messages that come back here.
    return platform.callWindowProcedure(previous, window, message, wParam, lParam);
  }

 private:
  // Records what the window runs now before the hook is installed, so that a message arriving from
  // the window's thread in between goes to it; then the procedure the installation replaced. The
  // hook is never recorded as its own previous procedure, and a window already hooked is left as
  // it is: whatever subclassed it since would otherwise be recorded as its previous procedure,
  // and its messages would go round in a circle.
  void hook(WindowPlatform& platform, WindowHandle window) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto [entry, isNew] = previous_.try_emplace(window, 0);
      if (!isNew) return;
      entry->second = platform.windowProcedure(window);
    }
    // From now on the window calls into this module until the process ends.
    pinModule();
    const WindowProcedure hook = platform.hookProcedure();
    const WindowProcedure replaced = platform.installHookProcedure(window);
    std::lock_guard<std::mutex> lock(mutex_);
    if (replaced != 0 && replaced != hook) previous_[window] = replaced;
  }

  std::mutex mutex_;
  std::map<WindowHandle, WindowProcedure> previous_;
};

WindowHook& windowHook() { return neverDestroyed<WindowHook>(); }

}  // namespace

SessionEndHold& sessionEndHold() { return windowHook(); }

intptr_t handleHookedMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return windowHook().handle(windowPlatform(), window, message, wParam, lParam);
}

}  // namespace corvane
