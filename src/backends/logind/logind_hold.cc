// The session end held on Linux: a delay inhibitor lock of systemd-logind, taken over the system
// bus. logind waits for the lock before it shuts down (up to its InhibitDelayMaxSec), and tells
// us first with PrepareForShutdown(true); the lock is then kept 4 s more, as the Windows hook
// holds the end of the session, and closed so that the shutdown goes on. The window handle is
// not needed.
//
// The bus has a thread of its own, which does everything on it: the connection, the lock, the
// signal. It is started by the first call and runs as long as the process; JavaScript hears of
// it only through notifyShutdown().
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "backends/linux/sd_bus_library.h"
#include "backends/linux/unique_fd.h"
#include "common/diagnostics.h"
#include "common/module_pin.h"
#include "common/never_destroyed.h"
#include "common/worker_thread.h"
#include "shutdown/session_end_hold.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kLogind[] = "org.freedesktop.login1";
constexpr char kLogindPath[] = "/org/freedesktop/login1";
constexpr char kManager[] = "org.freedesktop.login1.Manager";
constexpr char kReason[] = "Turning off the lights";
constexpr auto kEndSessionDelay = std::chrono::milliseconds(4000);

void cannotHold(const std::string& why) {
  writeDiagnosticLine("shutdownHandler cannot hold the end of the session: " + why);
}

// The name logind shows for the lock: the executable's, as the desktop knows the application.
std::string applicationName() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return program_invocation_short_name;
  const std::string executable(path, static_cast<size_t>(length));
  return executable.substr(executable.rfind('/') + 1);
}

// The connection to logind and the lock it gave; lives on the bus thread alone.
class LogindSession {
 public:
  static std::unique_ptr<LogindSession> open(std::string& why) {
    const SdBusLibrary* library = runtimeLibrary<SdBusLibrary>(&why);
    if (library == nullptr) return nullptr;
    std::unique_ptr<LogindSession> session(new LogindSession(*library));
    sd_bus* bus = nullptr;
    const int opened = session->sd_->openSystem(&bus);
    if (opened < 0) {
      why = std::string("no system bus (") + std::strerror(-opened) + ")";
      return nullptr;
    }
    session->bus_.reset(bus);
    // Before the lock, so that no shutdown announced in between is missed.
    const int matched = session->sd_->matchSignal(bus, nullptr, kLogind, kLogindPath, kManager,
                                                  "PrepareForShutdown", onPrepareForShutdown, session.get());
    if (matched < 0) {
      why = std::string("no answer on the system bus (") + std::strerror(-matched) + ")";
      return nullptr;
    }
    if (!session->takeLock(why)) return nullptr;
    return session;
  }

  // Until the connection breaks.
  void run() {
    for (;;) {
      if (releaseAt_ && Clock::now() >= *releaseAt_) {
        releaseAt_.reset();
        lock_.reset();
      }
      const int processed = sd_->process(bus_.get(), nullptr);
      if (processed > 0) continue;
      const int waited = processed < 0 ? processed : sd_->wait(bus_.get(), timeoutUs());
      if (waited < 0 && waited != -EINTR) {
        cannotHold(std::string("the system bus connection broke (") + std::strerror(-waited) + ")");
        return;
      }
    }
  }

 private:
  explicit LogindSession(const SdBusLibrary& library)
      : sd_(&library), bus_(nullptr, SdBusCloser{library.flushCloseUnref}) {}

  bool takeLock(std::string& why) {
    SdBusError error(*sd_);
    sd_bus_message* reply = nullptr;
    const std::string who = applicationName();
    const int called = sd_->callMethod(bus_.get(), kLogind, kLogindPath, kManager, "Inhibit", &error.error,
                                       &reply, "ssss", "shutdown", who.c_str(), kReason, "delay");
    if (called < 0) {
      why = std::string("logind gave no lock (") +
            (error.error.message != nullptr ? error.error.message : std::strerror(-called)) + ")";
      return false;
    }
    const SdBusMessage owned(reply, SdBusMessageUnref{sd_->messageUnref});
    int fd = -1;
    // The reply owns its descriptor; the lock is a copy of it.
    if (sd_->messageRead(reply, "h", &fd) < 0 || fd < 0) {
      why = "logind's answer held no lock";
      return false;
    }
    lock_.reset(fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!lock_) why = std::string("the lock could not be kept (") + std::strerror(errno) + ")";
    return static_cast<bool>(lock_);
  }

  static int onPrepareForShutdown(sd_bus_message* message, void* data, sd_bus_error*) {
    auto& self = *static_cast<LogindSession*>(data);
    int starting = 0;
    if (self.sd_->messageRead(message, "b", &starting) < 0) return 0;
    if (starting != 0) {
      notifyShutdown();
      if (self.lock_) self.releaseAt_ = Clock::now() + kEndSessionDelay;
      return 0;
    }
    // Cancelled: the next shutdown is held too.
    self.releaseAt_.reset();
    std::string why;
    if (!self.lock_ && !self.takeLock(why)) cannotHold(why);
    return 0;
  }

  uint64_t timeoutUs() const {
    if (!releaseAt_) return UINT64_MAX;
    const auto left = std::chrono::ceil<std::chrono::microseconds>(*releaseAt_ - Clock::now());
    return left.count() > 0 ? static_cast<uint64_t>(left.count()) : 0;
  }

  // Given up in reverse: the lock, then the connection.
  const SdBusLibrary* sd_;
  SdBus bus_;
  UniqueFd lock_;
  std::optional<Clock::time_point> releaseAt_;
};

class LogindHold final : public SessionEndHold {
 public:
  // One lock for the process, whichever call and environment asked first.
  void hold(WindowHandle) override {
    if (started_.exchange(true)) return;
    // The thread runs our code until the process ends, after the environment that started it.
    pinModule();
    WorkerThread thread;
    std::string error;
    if (!thread.start(run, error)) {
      cannotHold("no thread for the system bus (" + error + ")");
      return;
    }
    thread.detach();
  }

 private:
  static void run() {
    std::string why;
    std::unique_ptr<LogindSession> session = LogindSession::open(why);
    if (!session) {
      cannotHold(why);
      return;
    }
    session->run();
  }

  std::atomic<bool> started_{false};
};

}  // namespace

SessionEndHold& sessionEndHold() { return neverDestroyed<LogindHold>(); }

}  // namespace corvane
