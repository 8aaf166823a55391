#include "shutdown/shutdown_handler.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/callback_queue.h"
#include "common/never_destroyed.h"
#include "common/raise.h"
#include "shutdown/session_end_hold.h"

namespace corvane {
namespace {

class ShutdownCallbacks;
ShutdownCallbacks& shutdownCallbacks();

constexpr char kResourceName[] = "Shutdown handler callback";
// The end of a session is told a few times at most; more notices than these waiting undelivered
// would say nothing new, and the thread that learns of the end must never wait for JavaScript (on
// Windows it may be the JavaScript thread itself, running the window's procedure).
constexpr size_t kWaitingNotices = 4;

struct ShutdownNotice {};

void deliverShutdown(Napi::Env env, Napi::Function callback, ShutdownNotice&) {
  callback.Call({Napi::String::New(env, "SHUTDOWN")});
}

using NoticeQueue = CallbackQueue<ShutdownNotice, deliverShutdown>;

// Written by shutdownHandler on the JavaScript thread, read by the platform's hold on whatever
// thread learns of the end of the session.
//
// Each environment's latest callback is kept, and the latest of all is the one told. A callback
// lives as long as its environment: when a Worker that called shutdownHandler ends, its queue is
// finalized and dropped here, and a callback of an environment that lives on is told again. The
// hold itself stays for the process.
class ShutdownCallbacks {
 public:
  // The new callback takes the place of the earlier one of its environment, which is given up.
  // False when no queue could be made for it.
  bool tell(Napi::Env env, const Napi::Function& callback) {
    const uint64_t id = nextId_.fetch_add(1);
    NoticeQueue queue = NoticeQueue::create(env, callback, kResourceName, kWaitingNotices, forget,
                                            reinterpret_cast<void*>(static_cast<uintptr_t>(id)));
    if (!queue) return false;
    NoticeQueue replaced;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto same =
          std::find_if(told_.begin(), told_.end(),
                       [owner = static_cast<napi_env>(env)](const Told& t) { return t.env == owner; });
      if (same != told_.end()) {
        replaced = std::move(same->queue);
        told_.erase(same);
      }
      told_.push_back({env, id, std::move(queue)});
    }
    replaced.release();
    return true;
  }

  // Under the lock, so that the queue cannot be finalized while it is fed.
  void notify() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!told_.empty()) told_.back().queue.tryPost(std::make_unique<ShutdownNotice>());
  }

 private:
  struct Told {
    napi_env env;
    uint64_t id;
    NoticeQueue queue;
  };

  static void forget(void* id) {
    ShutdownCallbacks& self = shutdownCallbacks();
    std::lock_guard<std::mutex> lock(self.mutex_);
    const auto key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(id));
    self.told_.erase(
        std::remove_if(self.told_.begin(), self.told_.end(), [key](const Told& t) { return t.id == key; }),
        self.told_.end());
  }

  std::mutex mutex_;
  std::atomic<uint64_t> nextId_{1};
  std::vector<Told> told_;  // oldest first
};

ShutdownCallbacks& shutdownCallbacks() { return neverDestroyed<ShutdownCallbacks>(); }

}  // namespace

void notifyShutdown() { shutdownCallbacks().notify(); }

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

  SessionEndHold& hold = sessionEndHold();
  // A callback that is not a function fails here; the session end is held all the same, telling
  // the callback of an earlier call if there is one.
  const Napi::Value callback = info[1];
  if (callback.IsFunction()) {
    if (!shutdownCallbacks().tell(env, callback.As<Napi::Function>())) {
      raiseError(env, (std::string("napi_create_threadsafe_function failed for ") + kResourceName).c_str());
    }
  } else {
    raiseTypeError(env, "Expected the second argument to be a function");
  }
  hold.hold(window);

  if (env.IsExceptionPending()) return;
  callback.As<Napi::Function>().Call(env.Global(), {Napi::String::New(env, "ShutdownHandler Initial...")});
}

}  // namespace corvane
