// User activity through ext-idle-notify (KWin, newer wlroots): a notification that goes idle after
// a short quiet and resumes at the next input event, a key as much as a move. A look reports
// activity when the notification resumed since the last look or has not gone idle yet. The
// connection stays for the process, so a run's first look tells of input since the last run's.
#include <cerrno>
#include <memory>

#include "backends/wayland/wayland_backend.h"
#include "backends/wayland/wayland_desktop.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

// The quiet after which the notification goes idle: a tick this soon after the last input
// reports it still. Longer would report more ticks late; shorter wakes nothing more of ours
// but sends more events to sit in the socket between ticks.
constexpr uint32_t kQuietMs = 50;

class IdleNotifyActivity final : public ActivitySensor {
 public:
  // Whether the compositor offers ext-idle-notify.
  bool open() { return connect() == 0; }

  ActivityRead look() override {
    if (!desktop_) {
      const int failed = connect();
      if (failed != 0) return ActivityRead{false, false, static_cast<uint32_t>(failed)};
    }
    // Every event sent before the look, without waiting for more.
    if (!desktop_->roundTrip()) {
      const int failed = desktop_->timedOut() ? ETIMEDOUT : EPIPE;
      close();
      return ActivityRead{false, false, static_cast<uint32_t>(failed)};
    }
    const bool active = unknown_ || resumed_ || !idle_;
    unknown_ = resumed_ = false;
    return ActivityRead{true, active, 0};
  }

 private:
  // 0, or why not: no compositor (ECONNREFUSED), or none that offers a notifier and a seat (ENOTSUP).
  int connect() {
    std::unique_ptr<WaylandDesktop> desktop = WaylandDesktop::connect();
    if (!desktop) return ECONNREFUSED;
    if (desktop->idleNotifier() == nullptr || desktop->seat() == nullptr) return ENOTSUP;
    wl_argument id{};
    wl_argument quiet{};
    quiet.u = kQuietMs;
    wl_argument seat{};
    seat.o = reinterpret_cast<wl_object*>(desktop->seat());
    const WaylandExtensions& extensions = waylandExtensions(desktop->library());
    notification_ =
        desktop->create(desktop->idleNotifier(), kIdleNotifierGetIdleNotification,
                        extensions.idleNotification, 1, {id, quiet, seat}, kIdleNotificationDestroy);
    if (!notification_) return ENOMEM;
    static const struct {
      void (*idled)(void*, wl_proxy*);
      void (*resumed)(void*, wl_proxy*);
    } listener = {[](void* data, wl_proxy*) { static_cast<IdleNotifyActivity*>(data)->idle_ = true; },
                  [](void* data, wl_proxy*) {
                    auto& self = *static_cast<IdleNotifyActivity*>(data);
                    self.idle_ = false;
                    self.resumed_ = true;
                  }};
    desktop->listen(notification_.get(), listener, this);
    idle_ = resumed_ = false;
    // What happened before is unknown: the first look reports activity, as the pointer's first
    // look against (0, 0) does.
    unknown_ = true;
    desktop_ = std::move(desktop);
    return 0;
  }

  // The notification before the connection it lives on.
  void close() {
    notification_.reset();
    desktop_.reset();
  }

  std::unique_ptr<WaylandDesktop> desktop_;
  WaylandProxy notification_;
  bool unknown_ = false;
  bool idle_ = false;
  bool resumed_ = false;
};

}  // namespace

ActivitySensor* idleNotifyActivity() {
  static IdleNotifyActivity* sensor = [] {
    auto& made = neverDestroyed<IdleNotifyActivity>();
    return made.open() ? &made : nullptr;
  }();
  return sensor;
}

}  // namespace corvane
