// The road from a native thread to a JavaScript callback: a thread-safe function that carries
// items of one type. Its rules, which every service keeps:
// - It holds one reference, which its holder gives up with release() as its last act.
// - post() hands an item over: the queue owns it only when it was queued; otherwise it is freed.
// - Once a post reports Closing, the callback's environment is going away and the queue with it:
//   nothing may touch it any more, release() included (it then does nothing).
// - Items still queued when the environment goes away are handed over without an environment,
//   only to be freed.
#pragma once

#include <napi.h>

#include <memory>
#include <string>

#include "common/faults.h"

namespace corvane {

enum class Posted { Queued, Refused, Closing };

// Counts the queues made and not yet finalized, so that tests can see that none is left behind.
void countQueueMade();
void countQueueFinalized();
size_t liveCallbackQueues();

// Deliver runs on the JavaScript thread, once for each item queued.
template <typename Item, void (*Deliver)(Napi::Env, Napi::Function, Item&)>
class CallbackQueue {
 public:
  // Runs on the JavaScript thread when the queue is finalized: after its last release, or when its
  // environment goes away.
  using OnFinalized = void (*)(void* data);

  CallbackQueue() = default;

  // Empty on failure, which the caller reports; a failed Node-API call leaves its exception pending.
  static CallbackQueue create(Napi::Env env, const Napi::Function& callback, const char* resourceName,
                              OnFinalized onFinalized = nullptr, void* data = nullptr) {
    CallbackQueue queue;
    if (injectedFault(Fault::ThreadSafeFunction)) return queue;
    auto* finalizer = new Finalizer{onFinalized, data};
    queue.function_ =
        Function::New(env, callback, resourceName, 0, 1, static_cast<void*>(nullptr), finalize, finalizer);
    if (env.IsExceptionPending() || !queue) {
      delete finalizer;
      queue.function_ = Function();
      return queue;
    }
    countQueueMade();
    return queue;
  }

  explicit operator bool() const { return static_cast<napi_threadsafe_function>(function_) != nullptr; }

  Posted post(std::unique_ptr<Item> item) {
    if (closing_) return Posted::Closing;
    const napi_status status =
        injectedFault(Fault::QueueCall) ? napi_generic_failure : function_.BlockingCall(item.get());
    if (status == napi_ok) {
      static_cast<void>(item.release());  // the queue owns it now
      return Posted::Queued;
    }
    if (status != napi_closing) return Posted::Refused;
    closing_ = true;
    return Posted::Closing;
  }

  void release() {
    if (closing_ || !*this) return;
    function_.Release();
    function_ = Function();
  }

 private:
  struct Finalizer {
    OnFinalized onFinalized;
    void* data;
  };

  static void call(Napi::Env env, Napi::Function callback, void*, Item* raw) {
    std::unique_ptr<Item> item(raw);
    if (env == nullptr || callback.IsEmpty()) return;
    Deliver(env, callback, *item);
  }

  static void finalize(Napi::Env, Finalizer* finalizer, void*) {
    std::unique_ptr<Finalizer> owned(finalizer);
    countQueueFinalized();
    if (owned->onFinalized != nullptr) owned->onFinalized(owned->data);
  }

  using Function = Napi::TypedThreadSafeFunction<void, Item, call>;
  Function function_;
  bool closing_ = false;
};

}  // namespace corvane
