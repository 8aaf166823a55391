#include "shutdown/shutdown_hook.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "common/faults.h"
#include "common/raise.h"
#include "shutdown/window_platform.h"

namespace corvane {
namespace {

constexpr uint32_t kShutdownLevel = 0x3FF;
constexpr uint32_t kEndSessionDelayMs = 4000;

struct ShutdownNotice {};

void deliverShutdown(Napi::Env env, Napi::Function callback, void*, ShutdownNotice* item) {
  std::unique_ptr<ShutdownNotice> notice(item);
  if (env == nullptr || callback.IsEmpty()) return;
  callback.Call({Napi::String::New(env, "SHUTDOWN")});
}

using NoticeQueue = Napi::TypedThreadSafeFunction<void, ShutdownNotice, deliverShutdown>;

// Written by shutdownHandler on the JavaScript thread, read by the hook's procedure on each
// window's own thread. Every hooked window keeps the procedure it had before; the latest callback
// is the one told. Queues are never released: the hook lasts as long as the process.
class ShutdownHook {
 public:
  void setQueue(NoticeQueue queue) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_ = queue;
  }

  // Records what the window runs now before the hook is installed, so that a message arriving from
  // the window's thread in between goes to it; then the procedure the installation replaced. The
  // hook is never recorded as its own previous procedure.
  void hook(WindowPlatform& platform, WindowHandle window) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto [entry, isNew] = previous_.try_emplace(window, 0);
      if (isNew) entry->second = platform.windowProcedure(window);
    }
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
  void notify() {
    NoticeQueue queue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue = queue_;
    }
    if (static_cast<napi_threadsafe_function>(queue) == nullptr) return;
    auto notice = std::make_unique<ShutdownNotice>();
    if (queue.BlockingCall(notice.get()) == napi_ok) static_cast<void>(notice.release());
  }

  std::mutex mutex_;
  NoticeQueue queue_;
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
  // of the session without telling anyone.
  const Napi::Value callback = info[1];
  if (injectedFault(Fault::ThreadSafeFunction)) {
    raiseError(env, "napi_create_threadsafe_function failed for Windows shutdown handler callback");
  } else if (callback.IsFunction()) {
    NoticeQueue queue =
        NoticeQueue::New(env, callback.As<Napi::Function>(), "Windows shutdown handler callback", 0, 1);
    if (static_cast<napi_threadsafe_function>(queue) != nullptr) shutdownHook().setQueue(queue);
  } else {
    raiseTypeError(env, "Expected the second argument to be a function");
  }
  shutdownHook().hook(platform, window);

  if (env.IsExceptionPending()) return;
  callback.As<Napi::Function>().Call(env.Global(), {Napi::String::New(env, "ShutdownHandler Initial...")});
}

}  // namespace corvane
