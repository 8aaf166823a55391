#include "common/callback_queue.h"

#include <atomic>
#include <utility>

namespace corvane {
namespace {

std::atomic<size_t> queuesLive{0};

// The room a RoomGiver's function gives back, owned by the function.
using HeldRoom = std::shared_ptr<QueueRoom>;

Napi::Value giveRoom(const Napi::CallbackInfo& info) {
  static_cast<HeldRoom*>(info.Data())->get()->give();
  return info.Env().Undefined();
}

}  // namespace

void countQueueMade() { queuesLive.fetch_add(1); }
void countQueueFinalized() { queuesLive.fetch_sub(1); }
size_t liveCallbackQueues() { return queuesLive.load(); }

void reportUncaught(Napi::Env env, const Napi::Value& error) {
  // Where the host can no longer run JavaScript (a Worker being terminated), there is no one to
  // tell, and the call does nothing.
  napi_fatal_exception(env, error);
}

RoomGiver::RoomGiver(Napi::Env env, std::shared_ptr<QueueRoom> room) : room_(std::move(room)) {
  // The function may outlive the queue in a pending immediate: it holds the room itself.
  auto* held = new HeldRoom(room_);
  Napi::Function give = Napi::Function::New<giveRoom>(env, "giveRoom", held);
  if (env.IsExceptionPending()) {
    delete held;
    return;
  }
  give.AddFinalizer([](Napi::Env, HeldRoom* owned) { delete owned; }, held);
  Napi::Value setImmediate = env.Global().Get("setImmediate");
  if (env.IsExceptionPending() || !setImmediate.IsFunction()) return;
  setImmediate_ = Napi::Persistent(setImmediate.As<Napi::Function>());
  give_ = Napi::Persistent(give);
}

void RoomGiver::giveAfterTurn(Napi::Env env) {
  if (!setImmediate_.IsEmpty()) {
    setImmediate_.Call({give_.Value()});
    if (!env.IsExceptionPending()) return;
    env.GetAndClearPendingException();
  }
  room_->give();
}

}  // namespace corvane
