#include "shutdown/shutdown_hook.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/callback_queue.h"
#include "common/module_pin.h"
#include "common/raise.h"
#include "shutdown/window_platform.h"

namespace corvane {
namespace {

class ShutdownHook;
ShutdownHook& shutdownHook();

constexpr uint32_t kShutdownLevel = 0x3FF;
constexpr uint32_t kEndSessionDelayMs = 4000;
constexpr char kResourceName[] = "Windows shutdown handler callback";

struct ShutdownNotice {};

void deliverShutdown(Napi::Env env, Napi::Function callback, ShutdownNotice&) {
  callback.Call({Napi::String::New(env, "SHUTDOWN")});
}

using NoticeQueue = CallbackQueue<ShutdownNotice, deliverShutdown>;

// Written by shutdownHandler on the JavaScript thread, read by the hook's procedure on each
// window's own thread. Every hooked window keeps the procedure it had before.
//
// Each environment's latest callback is kept, and the latest of all is the one told. A callback
// lives as long as its environment: when a Worker that hooked a window ends, its queue is
// finalized and dropped here, and a callback of an environment that lives on is told again. The
// windows stay hooked and go on refusing the end of the session.
class ShutdownHook {
 public:
  // The new callback takes the place of the earlier one of its environment, which is given up.
  // False when no queue could be made for it.
  bool tell(Napi::Env env, const Napi::Function& callback) {
    const uint64_t id = nextId_.fetch_add(1);
    NoticeQueue queue = NoticeQueue::create(env, callback, kResourceName, forget,
                                            reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
    if (!queue) return false;
    NoticeQueue replaced;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto same =
          std::find_if(told_.begin(), told_.end(),
                       [owner = static_cast<napi_env>(env)](const Told& t) { return t.env == owner; });
      if (same != told_.end()) {
        replaced = same->queue;
        told_.erase(same);
      }
      told_.push_back({env, id, queue});
    }
    replaced.release();
    return true;
  }

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

  intptr_t handle(WindowPlatform& platform, WindowHandle window, uint32_t message, uintptr_t wParam,
                  intptr_t lParam) {
    if (message == kQueryEndSession) {
      notify();
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
  struct Told {
    napi_env env;
    uint64_t id;
    NoticeQueue queue;
  };

  // Under the lock, so that the queue cannot be finalized while it is fed. The queue is
  // unlimited: the post never waits for the JavaScript thread.
  void notify() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!told_.empty()) told_.back().queue.post(std::make_unique<ShutdownNotice>());
  }

  static void forget(void* id) {
    ShutdownHook& self = shutdownHook();
    std::lock_guard<std::mutex> lock(self.mutex_);
    const auto key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(id));
    self.told_.erase(
        std::remove_if(self.told_.begin(), self.told_.end(), [key](const Told& t) { return t.id == key; }),
        self.told_.end());
  }

  friend ShutdownHook& shutdownHook();

  std::mutex mutex_;
  std::atomic<uint64_t> nextId_{1};
  std::vector<Told> told_;  // oldest first
  std::map<WindowHandle, WindowProcedure> previous_;
};

// Never destroyed: hooked windows may get messages until the process ends.
ShutdownHook& shutdownHook() {
  static ShutdownHook& hook = *new ShutdownHook;
  return hook;
}

}  // namespace

intptr_t handleHookedMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return shutdownHook().handle(windowPlatform(), window, message, wParam, lParam);
}

void shutdownHandler(const Napi::CallbackInfo& info) {
  Napi::Env env = info.Env();
  if (!info[0].IsBuffer()) {
    raiseTypeError(env, "Expected first argument to be a buffer");
    return;
  }
  // The Buffer test passes any view of an ArrayBuffer; its bytes are found by its own kind.
  const uint8_t* bytes = nullptr;
  size_t length = 0;
  if (info[0].IsDataView()) {
    auto view = info[0].As<Napi::DataView>();
    bytes = static_cast<const uint8_t*>(view.Data());
    length = view.ByteLength();
  } else if (info[0].IsTypedArray()) {
    auto view = info[0].As<Napi::TypedArray>();
    const auto* start = static_cast<const uint8_t*>(view.ArrayBuffer().Data());
    if (start != nullptr) {
      bytes = start + view.ByteOffset();
      length = view.ByteLength();
    }
  }
  // Nothing is read past the end of a shorter Buffer.
  if (env.IsExceptionPending() || bytes == nullptr || length < sizeof(WindowHandle)) {
    raiseTypeError(env, "Expected the buffer to hold a window handle of 8 bytes");
    return;
  }
  WindowHandle window = 0;
  std::memcpy(&window, bytes, sizeof(window));

  WindowPlatform& platform = windowPlatform();
  platform.setProcessShutdownParameters(kShutdownLevel, 0);
  platform.shutdownBlockReasonCreate(window);

  // A callback that is not a function fails here; the window is still hooked, and refuses the end
  // of the session, telling the callback of an earlier call if there is one.
  const Napi::Value callback = info[1];
  if (callback.IsFunction()) {
    if (!shutdownHook().tell(env, callback.As<Napi::Function>())) {
      raiseError(env, (std::string("napi_create_threadsafe_function failed for ") + kResourceName).c_str());
    }
  } else {
    raiseTypeError(env, "Expected the second argument to be a function");
  }
  shutdownHook().hook(platform, window);

  if (env.IsExceptionPending()) return;
  callback.As<Napi::Function>().Call(env.Global(), {Napi::String::New(env, "ShutdownHandler Initial...")});
}

}  // namespace corvane
