// A user-active watch fires once, at the first input event after it was added; each look that
// finds it fired reports activity and adds the next. The watch waits between runs too, so a run's
// first look tells of input since the last run's last look.
#include "backends/mutter/idle_monitor.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string_view>

#include "backends/linux/sd_bus_library.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

constexpr char kService[] = "org.gnome.Mutter.IdleMonitor";
constexpr char kPath[] = "/org/gnome/Mutter/IdleMonitor/Core";
constexpr char kInterface[] = "org.gnome.Mutter.IdleMonitor";
// mutter answers at once; one that does not is taken as gone, so that no stop waits long.
constexpr uint64_t kReplyUs = 1000000;

class MutterIdleActivity final : public ActivitySensor {
 public:
  // Whether mutter's IdleMonitor answers: the first watch is added here.
  bool open() {
    sd_ = runtimeLibrary<SdBusLibrary>();
    return sd_ != nullptr && connect() == 0;
  }

  ActivityRead look() override {
    if (bus_ == nullptr) {
      const int failed = connect();
      if (failed != 0) return ActivityRead{false, false, static_cast<uint32_t>(failed)};
    }
    int processed = 0;
    while ((processed = sd_->process(bus_.get(), nullptr)) > 0) {
    }
    if (processed < 0) return lost(-processed);
    const bool active = unknown_ || fired_ || ownerChanged_;
    unknown_ = false;
    // A mutter that started anew knows none of our watches.
    if (fired_ || ownerChanged_) {
      fired_ = ownerChanged_ = false;
      const int failed = addWatch();
      if (failed != 0) return lost(failed);
    }
    return ActivityRead{true, active, 0};
  }

 private:
  // 0, or the errno of what failed.
  int connect() {
    sd_bus* opened = nullptr;
    const int failed = sd_->openUser(&opened);
    if (failed < 0) return -failed;
    bus_ = SdBus(opened, {sd_->flushCloseUnref});
    const int watched = watchSignal(firedSlot_, kService, kPath, kInterface, "WatchFired", onFired);
    const int owned = watchSignal(ownerSlot_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameOwnerChanged", onOwnerChanged);
    const int added = watched != 0 ? watched : owned != 0 ? owned : addWatch();
    if (added != 0) close();
    // What happened before is unknown: the first look reports activity, as the pointer's first
    // look against (0, 0) does.
    unknown_ = true;
    return added;
  }

  int watchSignal(SdBusSlot& slot, const char* sender, const char* path, const char* interface,
                  const char* member, sd_bus_message_handler_t handler) {
    sd_bus_slot* made = nullptr;
    const int matched = sd_->matchSignal(bus_.get(), &made, sender, path, interface, member, handler, this);
    if (matched < 0) return -matched;
    slot = SdBusSlot(made, {sd_->slotUnref});
    return 0;
  }

  int addWatch() {
    sd_bus_message* made = nullptr;
    int failed = sd_->newMethodCall(bus_.get(), &made, kService, kPath, kInterface, "AddUserActiveWatch");
    if (failed < 0) return -failed;
    const SdBusMessage call(made, {sd_->messageUnref});
    SdBusError error(*sd_);
    sd_bus_message* answered = nullptr;
    failed = sd_->call(bus_.get(), call.get(), kReplyUs, &error.error, &answered);
    if (failed < 0) return -failed;
    const SdBusMessage reply(answered, {sd_->messageUnref});
    uint32_t id = 0;
    failed = sd_->messageRead(reply.get(), "u", &id);
    if (failed < 0) return -failed;
    watch_ = id;
    return 0;
  }

  ActivityRead lost(int error) {
    close();
    return ActivityRead{false, false, static_cast<uint32_t>(error)};
  }

  // The slots before the bus they are on.
  void close() {
    ownerSlot_.reset();
    firedSlot_.reset();
    bus_.reset();
    fired_ = ownerChanged_ = false;
  }

  static int onFired(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& self = *static_cast<MutterIdleActivity*>(data);
    uint32_t id = 0;
    if (self.sd_->messageRead(message, "u", &id) >= 0 && id == self.watch_) self.fired_ = true;
    return 0;
  }

  static int onOwnerChanged(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& self = *static_cast<MutterIdleActivity*>(data);
    const char* name = nullptr;
    const char* from = nullptr;
    const char* to = nullptr;
    if (self.sd_->messageRead(message, "sss", &name, &from, &to) >= 0 && name != nullptr &&
        std::string_view(name) == kService)
      self.ownerChanged_ = true;
    return 0;
  }

  const SdBusLibrary* sd_ = nullptr;
  SdBus bus_{nullptr, {nullptr}};
  SdBusSlot firedSlot_{nullptr, {nullptr}};
  SdBusSlot ownerSlot_{nullptr, {nullptr}};
  uint32_t watch_ = 0;
  bool unknown_ = false;
  bool fired_ = false;
  bool ownerChanged_ = false;
};

}  // namespace

ActivitySensor* mutterIdleActivity() {
  static MutterIdleActivity* sensor = [] {
    auto& made = neverDestroyed<MutterIdleActivity>();
    return made.open() ? &made : nullptr;
  }();
  return sensor;
}

}  // namespace corvane
