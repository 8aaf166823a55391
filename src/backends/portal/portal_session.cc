#include "backends/portal/portal_session.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;
using Library = SdBusLibrary;

constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kScreenCast[] = "org.freedesktop.portal.ScreenCast";
constexpr char kRequest[] = "org.freedesktop.portal.Request";
constexpr char kSession[] = "org.freedesktop.portal.Session";

constexpr uint32_t kMonitorSource = 1;
constexpr uint32_t kHiddenCursor = 1;
constexpr uint32_t kPersistUntilRevoked = 2;

// Method replies come at once; a request's answer may wait on the user's choice in a dialog.
constexpr auto kReplyTime = std::chrono::seconds(10);
constexpr auto kChoiceTime = std::chrono::minutes(3);

uint64_t monotonicUs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

struct SlotUnref {
  decltype(&sd_bus_slot_unref) unref;
  void operator()(sd_bus_slot* slot) const { unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotUnref>;
struct MessageUnref {
  decltype(&sd_bus_message_unref) unref;
  void operator()(sd_bus_message* message) const { unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// A method reply or a Response signal, kept when it arrives.
struct Arrival {
  const Library* sd = nullptr;
  Message message{nullptr, MessageUnref{nullptr}};

  static int store(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& self = *static_cast<Arrival*>(data);
    if (!self.message) self.message = Message(self.sd->messageRef(m), MessageUnref{self.sd->messageUnref});
    return 0;
  }
};

// A request's answer: its code and the results of interest.
struct Response {
  uint32_t code = 2;
  std::string sessionHandle;
  std::string restoreToken;
  std::vector<PortalStream> streams;
};

}  // namespace

struct PortalSession::Bus {
  const Library* sd = nullptr;
  sd_bus* bus = nullptr;
  int cancelFd = -1;
  std::string session;  // the session's object path, once created
  unsigned requests = 0;

  ~Bus() {
    if (bus == nullptr) return;
    if (!session.empty()) closeSession();
    sd->flushCloseUnref(bus);
  }

  void closeSession() {
    sd_bus_message* call = nullptr;
    if (sd->newMethodCall(bus, &call, kPortal, session.c_str(), kSession, "Close") < 0) return;
    Message owned(call, MessageUnref{sd->messageUnref});
    sd->setExpectReply(call, 0);
    sd->send(bus, call, nullptr);
  }

  Message newCall(const char* path, const char* interface, const char* member) {
    sd_bus_message* call = nullptr;
    sd->newMethodCall(bus, &call, kPortal, path, interface, member);
    return Message(call, MessageUnref{sd->messageUnref});
  }

  // Runs the bus until arrived, the deadline or a cancel; why says which of the last two.
  bool runUntil(const Arrival& arrival, Clock::time_point deadline, const std::string& what,
                std::string& why) {
    for (;;) {
      for (;;) {
        const int processed = sd->process(bus, nullptr);
        if (processed < 0) {
          why = std::string("the session bus connection broke (") + std::strerror(-processed) + ")";
          return false;
        }
        if (arrival.message) return true;
        if (processed == 0) break;
      }
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        why = what + " got no answer in time";
        return false;
      }
      int timeout = static_cast<int>(left);
      uint64_t busTimeout = UINT64_MAX;
      if (sd->timeout(bus, &busTimeout) >= 0 && busTimeout != UINT64_MAX) {
        const uint64_t now = monotonicUs();
        const uint64_t waitMs = busTimeout > now ? (busTimeout - now + 999) / 1000 : 0;
        if (waitMs < static_cast<uint64_t>(timeout)) timeout = static_cast<int>(waitMs);
      }
      pollfd fds[2] = {{sd->fd(bus), static_cast<short>(sd->events(bus)), 0}, {cancelFd, POLLIN, 0}};
      if (poll(fds, 2, timeout) < 0 && errno != EINTR) {
        why = std::string("poll failed (") + std::strerror(errno) + ")";
        return false;
      }
      if (fds[1].revents != 0) {
        why.clear();
        return false;
      }
    }
  }

  // Sends call and waits for its reply; false with why on an error reply.
  bool call(Message& call, const std::string& what, Message& reply, std::string& why) {
    Arrival arrival{sd};
    sd_bus_slot* slot = nullptr;
    const uint64_t timeoutUs = std::chrono::duration_cast<std::chrono::microseconds>(kReplyTime).count();
    const int sent = sd->callAsync(bus, &slot, call.get(), Arrival::store, &arrival, timeoutUs);
    if (sent < 0) {
      why = what + " could not be sent (" + std::strerror(-sent) + ")";
      return false;
    }
    Slot pending(slot, SlotUnref{sd->slotUnref});
    if (!runUntil(arrival, Clock::now() + kReplyTime + std::chrono::seconds(1), what, why)) return false;
    if (const sd_bus_error* error = sd->messageError(arrival.message.get())) {
      why = what + " failed (" + (error->name != nullptr ? error->name : "") + ": " +
            (error->message != nullptr ? error->message : "") + ")";
      return false;
    }
    reply = std::move(arrival.message);
    return true;
  }

  // The portal's property of the ScreenCast interface, or fallback where it has none.
  // A number of the portal's ScreenCast interface; what names it in why.
  bool property(const char* name, const std::string& what, uint32_t& value, std::string& why) {
    Message get = newCall(kPortalPath, "org.freedesktop.DBus.Properties", "Get");
    if (!get || sd->append(get.get(), "ss", kScreenCast, name) < 0) {
      why = what + ": no message could be made";
      return false;
    }
    Message reply(nullptr, MessageUnref{sd->messageUnref});
    if (!call(get, what, reply, why)) return false;
    if (sd->messageRead(reply.get(), "v", "u", &value) < 0) {
      why = what + " has no " + name;
      return false;
    }
    return true;
  }

  std::string senderPart() {
    const char* unique = nullptr;
    if (sd->uniqueName(bus, &unique) < 0 || unique == nullptr) return {};
    std::string part(unique[0] == ':' ? unique + 1 : unique);
    for (char& c : part) {
      if (c == '.') c = '_';
    }
    return part;
  }

  std::string nextToken() { return "corvane" + std::to_string(getpid()) + "_" + std::to_string(++requests); }

  // A request: the call made with appendOptions filling its options after the leading
  // arguments, then its Response awaited on the path that the handle token gives.
  bool request(Message& call, const std::string& what,
               const std::function<void(sd_bus_message*)>& appendOptions, std::chrono::seconds patience,
               Response& response, std::string& why) {
    const std::string token = nextToken();
    const std::string path = "/org/freedesktop/portal/desktop/request/" + senderPart() + "/" + token;
    Arrival answer{sd};
    sd_bus_slot* slot = nullptr;
    // Subscribed before the call, so that no answer comes unheard.
    if (sd->matchSignal(bus, &slot, nullptr, path.c_str(), kRequest, "Response", Arrival::store, &answer) <
        0) {
      why = what + ": no subscription to its answer";
      return false;
    }
    Slot match(slot, SlotUnref{sd->slotUnref});
    sd_bus_message* m = call.get();
    if (sd->openContainer(m, 'a', "{sv}") < 0 ||
        sd->append(m, "{sv}", "handle_token", "s", token.c_str()) < 0) {
      why = what + ": no message could be made";
      return false;
    }
    appendOptions(m);
    if (sd->closeContainer(m) < 0) {
      why = what + ": no message could be made";
      return false;
    }
    Message reply(nullptr, MessageUnref{sd->messageUnref});
    if (!this->call(call, what, reply, why)) return false;
    const char* handle = nullptr;
    Slot otherMatch(nullptr, SlotUnref{sd->slotUnref});
    // Portals older than handle_token answer on a path of their own.
    if (sd->messageRead(reply.get(), "o", &handle) >= 0 && handle != nullptr && path != handle) {
      sd_bus_slot* other = nullptr;
      sd->matchSignal(bus, &other, nullptr, handle, kRequest, "Response", Arrival::store, &answer);
      otherMatch.reset(other);
    }
    if (!runUntil(answer, Clock::now() + patience, what, why)) return false;
    readResponse(answer.message.get(), response);
    if (response.code == 0) return true;
    why = response.code == 1
              ? "the user refused to share the screen"
              : what + " was ended by the portal (response " + std::to_string(response.code) + ")";
    return false;
  }

  void readResponse(sd_bus_message* m, Response& response) {
    if (sd->messageRead(m, "u", &response.code) < 0) return;
    if (sd->enterContainer(m, 'a', "{sv}") <= 0) return;
    while (sd->enterContainer(m, 'e', "sv") > 0) {
      const char* key = nullptr;
      sd->messageRead(m, "s", &key);
      const std::string name = key != nullptr ? key : "";
      const char* text = nullptr;
      if (name == "session_handle" && isVariantOf(m, "s") && sd->messageRead(m, "v", "s", &text) >= 0) {
        response.sessionHandle = text;
      } else if (name == "restore_token" && isVariantOf(m, "s") && sd->messageRead(m, "v", "s", &text) >= 0) {
        response.restoreToken = text;
      } else if (name == "streams" && isVariantOf(m, "a(ua{sv})")) {
        readStreams(m, response.streams);
      } else {
        sd->skip(m, "v");
      }
      sd->exitContainer(m);
    }
    sd->exitContainer(m);
  }

  bool isVariantOf(sd_bus_message* m, const char* signature) {
    char type = 0;
    const char* contents = nullptr;
    return sd->peekType(m, &type, &contents) > 0 && type == 'v' && contents != nullptr &&
           std::strcmp(contents, signature) == 0;
  }

  void readStreams(sd_bus_message* m, std::vector<PortalStream>& streams) {
    if (sd->enterContainer(m, 'v', "a(ua{sv})") <= 0) return;
    if (sd->enterContainer(m, 'a', "(ua{sv})") > 0) {
      while (sd->enterContainer(m, 'r', "ua{sv}") > 0) {
        PortalStream stream;
        std::optional<std::pair<int32_t, int32_t>> position;
        std::optional<std::pair<int32_t, int32_t>> size;
        sd->messageRead(m, "u", &stream.node);
        if (sd->enterContainer(m, 'a', "{sv}") > 0) {
          while (sd->enterContainer(m, 'e', "sv") > 0) {
            const char* key = nullptr;
            sd->messageRead(m, "s", &key);
            const std::string name = key != nullptr ? key : "";
            int32_t a = 0;
            int32_t b = 0;
            if ((name == "position" || name == "size") && isVariantOf(m, "(ii)") &&
                sd->messageRead(m, "v", "(ii)", &a, &b) >= 0) {
              (name == "position" ? position : size) = std::make_pair(a, b);
            } else {
              sd->skip(m, "v");
            }
            sd->exitContainer(m);
          }
          sd->exitContainer(m);
        }
        if (position && size)
          stream.area = PixelArea{position->first, position->second, size->first, size->second};
        streams.push_back(stream);
        sd->exitContainer(m);
      }
      sd->exitContainer(m);
    }
    sd->exitContainer(m);
  }
};

std::unique_ptr<PortalSession> PortalSession::open(const std::string& restoreToken, int cancelFd,
                                                   PortalGrant& grant, std::string& why) {
  auto bus = std::make_unique<Bus>();
  bus->sd = runtimeLibrary<Library>(&why);
  if (!bus->sd) return nullptr;
  bus->cancelFd = cancelFd;
  const int opened = bus->sd->openUser(&bus->bus);
  if (opened < 0) {
    why = std::string("no session bus (") + std::strerror(-opened) + ")";
    return nullptr;
  }
  const Library& sd = *bus->sd;

  // The first call: whether the portal answers at all, and with a ScreenCast interface.
  uint32_t version = 0;
  if (!bus->property("version", "the desktop portal's ScreenCast", version, why)) return nullptr;
  uint32_t cursorModes = 0;
  std::string ignored;
  if (version >= 2) bus->property("AvailableCursorModes", "AvailableCursorModes", cursorModes, ignored);

  Response created;
  Message create = bus->newCall(kPortalPath, kScreenCast, "CreateSession");
  const std::string sessionToken = bus->nextToken();
  if (!bus->request(
          create, "CreateSession",
          [&](sd_bus_message* m) { sd.append(m, "{sv}", "session_handle_token", "s", sessionToken.c_str()); },
          std::chrono::duration_cast<std::chrono::seconds>(kReplyTime), created, why)) {
    return nullptr;
  }
  if (created.sessionHandle.empty()) {
    why = "CreateSession gave no session";
    return nullptr;
  }
  bus->session = created.sessionHandle;
  const char* session = bus->session.c_str();

  Response selected;
  Message select = bus->newCall(kPortalPath, kScreenCast, "SelectSources");
  sd.append(select.get(), "o", session);
  if (!bus->request(
          select, "SelectSources",
          [&](sd_bus_message* m) {
            sd.append(m, "{sv}", "types", "u", kMonitorSource);
            sd.append(m, "{sv}", "multiple", "b", 0);
            if ((cursorModes & kHiddenCursor) != 0) sd.append(m, "{sv}", "cursor_mode", "u", kHiddenCursor);
            if (version >= 4) {
              sd.append(m, "{sv}", "persist_mode", "u", kPersistUntilRevoked);
              if (!restoreToken.empty()) sd.append(m, "{sv}", "restore_token", "s", restoreToken.c_str());
            }
          },
          std::chrono::duration_cast<std::chrono::seconds>(kReplyTime), selected, why)) {
    return nullptr;
  }

  Response started;
  Message start = bus->newCall(kPortalPath, kScreenCast, "Start");
  sd.append(start.get(), "os", session, "");
  if (!bus->request(
          start, "Start", [](sd_bus_message*) {},
          std::chrono::duration_cast<std::chrono::seconds>(kChoiceTime), started, why)) {
    return nullptr;
  }

  Message remote = bus->newCall(kPortalPath, kScreenCast, "OpenPipeWireRemote");
  sd.append(remote.get(), "oa{sv}", session, 0);
  Message reply(nullptr, MessageUnref{sd.messageUnref});
  if (!bus->call(remote, "OpenPipeWireRemote", reply, why)) return nullptr;
  int fd = -1;
  // The reply owns its descriptor; ours is a copy.
  if (sd.messageRead(reply.get(), "h", &fd) >= 0 && fd >= 0) grant.remote.reset(fcntl(fd, F_DUPFD_CLOEXEC, 3));
  if (!grant.remote) {
    why = "OpenPipeWireRemote gave no PipeWire remote";
    return nullptr;
  }
  grant.streams = std::move(started.streams);
  grant.restoreToken = std::move(started.restoreToken);
  return std::unique_ptr<PortalSession>(new PortalSession(std::move(bus)));
}

PortalSession::PortalSession(std::unique_ptr<Bus> bus) : bus_(std::move(bus)) {}

PortalSession::~PortalSession() = default;

}  // namespace corvane
