// The road from a native thread to a JavaScript callback: a thread-safe function that carries
// items of one type. Its rules, which every service keeps:
// - It holds one reference, which its holder gives up with release() as its last act.
// - post() hands an item over: the queue owns it only when it was queued; otherwise it is freed.
// - At most `capacity` items wait for the JavaScript thread, and it delivers one per turn of the
//   event loop (see QueueRoom): post() waits for room, and a stop (stop()) ends that wait.
// - An exception the callback throws goes to the host's handling of uncaught exceptions, as a
//   throw in a timer's callback would; the queue goes on.
// - Once a post reports Closing, the callback's environment is going away and the queue with it:
//   nothing may touch it any more, release() included (it then does nothing).
// - Items still queued when the environment goes away are handed over without an environment,
//   only to be freed.
#pragma once

#include <napi.h>

#include <memory>
#include <string>
#include <utility>

#include "common/faults.h"
#include "common/queue_room.h"

namespace corvane {

enum class Posted { Queued, Refused, Closing };

// Items queued at a time by a periodic service: with one queued and the next one ready in its
// worker, two wait for the JavaScript thread, and the worker makes the next one while the
// callback runs. More queued would only let Node.js deliver several in one turn of the loop.
constexpr size_t kQueuedItems = 1;

// Counts the queues made and not yet finalized, so that tests can see that none is left behind.
void countQueueMade();
void countQueueFinalized();
size_t liveCallbackQueues();

// Hands an exception that a callback threw, taken off the stack, to the host's handling of
// uncaught exceptions: the process's 'uncaughtException' handlers, or its end.
void reportUncaught(Napi::Env env, const Napi::Value& error);

// Gives room back at the event loop's next check phase, after the application's I/O had its turn
// and before its timers have theirs; at once where the host has no setImmediate. Runs on the
// JavaScript thread.
class RoomGiver {
 public:
  RoomGiver(Napi::Env env, std::shared_ptr<QueueRoom> room);
  void giveAfterTurn(Napi::Env env);

 private:
  std::shared_ptr<QueueRoom> room_;
  Napi::FunctionReference setImmediate_;
  Napi::FunctionReference give_;
};

// Deliver runs on the JavaScript thread, once for each item queued. A queue holds one reference to
// its thread-safe function, which release() gives up; moves hand it over, so that it is given up
// once.
template <typename Item, void (*Deliver)(Napi::Env, Napi::Function, Item&)>
class CallbackQueue {
 public:
  // Runs on the JavaScript thread when the queue is finalized: after its last release, or when its
  // environment goes away.
  using OnFinalized = void (*)(void* data);

  CallbackQueue() = default;
  CallbackQueue(CallbackQueue&& other) noexcept
      : function_(std::exchange(other.function_, Function())),
        room_(std::move(other.room_)),
        closing_(other.closing_) {}
  // Only onto a queue that holds no reference (empty, or released).
  CallbackQueue& operator=(CallbackQueue&& other) noexcept {
    function_ = std::exchange(other.function_, Function());
    room_ = std::move(other.room_);
    closing_ = other.closing_;
    return *this;
  }
  CallbackQueue(const CallbackQueue&) = delete;
  CallbackQueue& operator=(const CallbackQueue&) = delete;

  // Empty on failure, which the caller reports; a failed Node-API call leaves its exception pending.
  static CallbackQueue create(Napi::Env env, const Napi::Function& callback, const char* resourceName,
                              size_t capacity = kQueuedItems, OnFinalized onFinalized = nullptr,
                              void* data = nullptr) {
    CallbackQueue queue;
    if (injectedFault(Fault::ThreadSafeFunction)) return queue;
    auto room = std::make_shared<QueueRoom>(capacity);
    auto* side = new JsSide{onFinalized, data, RoomGiver(env, room)};
    queue.function_ = Function::New(env, callback, resourceName, 0, 1, side, finalize, side);
    if (env.IsExceptionPending() || !queue) {
      delete side;
      queue.function_ = Function();
      return queue;
    }
    queue.room_ = std::move(room);
    countQueueMade();
    return queue;
  }

  explicit operator bool() const { return static_cast<napi_threadsafe_function>(function_) != nullptr; }

  // What a stop ends the waits of.
  const std::shared_ptr<QueueRoom>& room() const { return room_; }

  // Waits for room, then queues the item.
  Posted post(std::unique_ptr<Item> item) {
    if (closing_) return Posted::Closing;
    room_->take();
    return enqueue(std::move(item));
  }

  // Queues the item when there is room; Refused when there is none. Never waits.
  Posted tryPost(std::unique_ptr<Item> item) {
    if (closing_) return Posted::Closing;
    if (!room_->tryTake()) return Posted::Refused;
    return enqueue(std::move(item));
  }

  void release() {
    if (closing_ || !*this) return;
    function_.Release();
    function_ = Function();
  }

 private:
  struct JsSide {
    OnFinalized onFinalized;
    void* data;
    RoomGiver giver;
  };

  // Room has been taken. Node-API's queue itself is unlimited, so the call never waits inside it,
  // where no stop could reach.
  Posted enqueue(std::unique_ptr<Item> item) {
    const napi_status status =
        injectedFault(Fault::QueueCall) ? napi_generic_failure : function_.NonBlockingCall(item.get());
    if (status == napi_ok) {
      static_cast<void>(item.release());  // the queue owns it now
      return Posted::Queued;
    }
    room_->give();
    if (status != napi_closing) return Posted::Refused;
    closing_ = true;
    return Posted::Closing;
  }

  static void call(Napi::Env env, Napi::Function callback, JsSide* side, Item* raw) {
    std::unique_ptr<Item> item(raw);
    // The environment is going away: its workers were stopped and joined first, so no one waits
    // for room, and the context may be finalized already (Node.js finalizes before it drains).
    if (env == nullptr || callback.IsEmpty()) return;
    Deliver(env, callback, *item);
    Napi::Value thrown;
    if (env.IsExceptionPending()) thrown = env.GetAndClearPendingException().Value();
    side->giver.giveAfterTurn(env);
    if (!thrown.IsEmpty()) reportUncaught(env, thrown);
  }

  static void finalize(Napi::Env, JsSide* side, JsSide*) {
    std::unique_ptr<JsSide> owned(side);
    countQueueFinalized();
    if (owned->onFinalized != nullptr) owned->onFinalized(owned->data);
  }

  using Function = Napi::TypedThreadSafeFunction<JsSide, Item, call>;
  Function function_;
  std::shared_ptr<QueueRoom> room_;
  bool closing_ = false;
};

}  // namespace corvane
