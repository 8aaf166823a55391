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

using Slot = SdBusSlot;
using Message = SdBusMessage;

// A method reply or a Response signal, kept when it arrives.
struct Arrival {
  const Library* sd = nullptr;
  Message message{nullptr, SdBusMessageUnref{nullptr}};

  static int store(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& self = *static_cast<Arrival*>(data);
    if (!self.message)
      self.message = Message(self.sd->messageRef(m), SdBusMessageUnref{self.sd->messageUnref});
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
  uint32_t version = 0;  // of the portal's ScreenCast
  uint32_t cursorModes = 0;

  ~Bus() {
    if (bus == nullptr) return;
    if (!session.empty()) closeSession();
    sd->flushCloseUnref(bus);
  }

  void closeSession() {
    sd_bus_message* call = nullptr;
    if (sd->newMethodCall(bus, &call, kPortal, session.c_str(), kSession, "Close") < 0) return;
    Message owned(call, SdBusMessageUnref{sd->messageUnref});
    sd->setExpectReply(call, 0);
    sd->send(bus, call, nullptr);
  }

  Message newCall(const char* path, const char* interface, const char* member) {
    sd_bus_message* call = nullptr;
    sd->newMethodCall(bus, &call, kPortal, path, interface, member);
    return Message(call, SdBusMessageUnref{sd->messageUnref});
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
    Slot pending(slot, SdBusSlotUnref{sd->slotUnref});
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
    Message reply(nullptr, SdBusMessageUnref{sd->messageUnref});
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
               const std::function<bool(sd_bus_message*)>& appendOptions, std::chrono::seconds patience,
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
    Slot match(slot, SdBusSlotUnref{sd->slotUnref});
    sd_bus_message* m = call.get();
    if (m == nullptr || sd->openContainer(m, 'a', "{sv}") < 0 ||
        sd->append(m, "{sv}", "handle_token", "s", token.c_str()) < 0 || !appendOptions(m) ||
        sd->closeContainer(m) < 0) {
      why = what + ": no message could be made";
      return false;
    }
    Message reply(nullptr, SdBusMessageUnref{sd->messageUnref});
    if (!this->call(call, what, reply, why)) return false;
    const char* handle = nullptr;
    Slot otherMatch(nullptr, SdBusSlotUnref{sd->slotUnref});
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

  // Calls read(name) for each entry of the a{sv} dictionary next in m, with the entry's value next
  // to be read; a value that read does not take is skipped.
  template <typename Read>
  void forEachEntry(sd_bus_message* m, Read read) {
    if (sd->enterContainer(m, 'a', "{sv}") <= 0) return;
    while (sd->enterContainer(m, 'e', "sv") > 0) {
      const char* key = nullptr;
      sd->messageRead(m, "s", &key);
      if (!read(std::string(key != nullptr ? key : ""))) sd->skip(m, "v");
      sd->exitContainer(m);
    }
    sd->exitContainer(m);
  }

  bool readText(sd_bus_message* m, std::string& text) {
    const char* value = nullptr;
    if (!isVariantOf(m, "s") || sd->messageRead(m, "v", "s", &value) < 0) return false;
    text = value;
    return true;
  }

  void readResponse(sd_bus_message* m, Response& response) {
    if (sd->messageRead(m, "u", &response.code) < 0) return;
    forEachEntry(m, [&](const std::string& name) {
      if (name == "session_handle") return readText(m, response.sessionHandle);
      if (name == "restore_token") return readText(m, response.restoreToken);
      if (name == "streams" && isVariantOf(m, "a(ua{sv})")) {
        readStreams(m, response.streams);
        return true;
      }
      return false;
    });
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
        forEachEntry(m, [&](const std::string& name) {
          int32_t a = 0;
          int32_t b = 0;
          if ((name != "position" && name != "size") || !isVariantOf(m, "(ii)") ||
              sd->messageRead(m, "v", "(ii)", &a, &b) < 0) {
            return false;
          }
          (name == "position" ? position : size) = std::make_pair(a, b);
          return true;
        });
        if (position && size)
          stream.area = PixelArea{position->first, position->second, size->first, size->second};
        streams.push_back(stream);
        sd->exitContainer(m);
      }
      sd->exitContainer(m);
    }
    sd->exitContainer(m);
  }

  // The steps of a session's handshake, each false with why when it fails.

  bool connect(int cancel, std::string& why) {
    sd = runtimeLibrary<Library>(&why);
    if (sd == nullptr) return false;
    cancelFd = cancel;
    const int opened = sd->openUser(&bus);
    if (opened >= 0) return true;
    why = std::string("no session bus (") + std::strerror(-opened) + ")";
    return false;
  }

  // The first call: whether the portal answers at all, and with a ScreenCast interface.
  bool readCapabilities(std::string& why) {
    if (!property("version", "the desktop portal's ScreenCast", version, why)) return false;
    std::string ignored;
    if (version >= 2) property("AvailableCursorModes", "AvailableCursorModes", cursorModes, ignored);
    return true;
  }

  bool createSession(std::string& why) {
    Response created;
    Message create = newCall(kPortalPath, kScreenCast, "CreateSession");
    const std::string sessionToken = nextToken();
    if (!request(
            create, "CreateSession",
            [&](sd_bus_message* m) {
              return sd->append(m, "{sv}", "session_handle_token", "s", sessionToken.c_str()) >= 0;
            },
            std::chrono::duration_cast<std::chrono::seconds>(kReplyTime), created, why)) {
      return false;
    }
    if (created.sessionHandle.empty()) {
      why = "CreateSession gave no session";
      return false;
    }
    session = created.sessionHandle;
    return true;
  }

  bool selectSources(bool multiple, const std::string& restoreToken, std::string& why) {
    Response selected;
    Message select = newCall(kPortalPath, kScreenCast, "SelectSources");
    if (select && sd->append(select.get(), "o", session.c_str()) < 0) select.reset();
    const auto options = [&](sd_bus_message* m) {
      bool made = sd->append(m, "{sv}", "types", "u", kMonitorSource) >= 0 &&
                  sd->append(m, "{sv}", "multiple", "b", multiple ? 1 : 0) >= 0;
      if (made && (cursorModes & kHiddenCursor) != 0)
        made = sd->append(m, "{sv}", "cursor_mode", "u", kHiddenCursor) >= 0;
      if (made && version >= 4) {
        made =
            sd->append(m, "{sv}", "persist_mode", "u", kPersistUntilRevoked) >= 0 &&
            (restoreToken.empty() || sd->append(m, "{sv}", "restore_token", "s", restoreToken.c_str()) >= 0);
      }
      return made;
    };
    return request(select, "SelectSources", options,
                   std::chrono::duration_cast<std::chrono::seconds>(kReplyTime), selected, why);
  }

  // The user may be asked here.
  bool start(Response& started, std::string& why) {
    Message start = newCall(kPortalPath, kScreenCast, "Start");
    if (start && sd->append(start.get(), "os", session.c_str(), "") < 0) start.reset();
    return request(
        start, "Start", [](sd_bus_message*) { return true; },
        std::chrono::duration_cast<std::chrono::seconds>(kChoiceTime), started, why);
  }

  bool openRemote(UniqueFd& remote, std::string& why) {
    Message open = newCall(kPortalPath, kScreenCast, "OpenPipeWireRemote");
    if (!open || sd->append(open.get(), "oa{sv}", session.c_str(), 0) < 0) {
      why = "OpenPipeWireRemote: no message could be made";
      return false;
    }
    Message reply(nullptr, SdBusMessageUnref{sd->messageUnref});
    if (!call(open, "OpenPipeWireRemote", reply, why)) return false;
    int fd = -1;
    // The reply owns its descriptor; ours is a copy.
    if (sd->messageRead(reply.get(), "h", &fd) >= 0 && fd >= 0) remote.reset(fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (remote) return true;
    why = "OpenPipeWireRemote gave no PipeWire remote";
    return false;
  }
};

std::unique_ptr<PortalSession> PortalSession::open(
    bool multiple, const std::string& restoreToken,
    const std::function<void(const std::string&)>& tokenRefused, int cancelFd, PortalGrant& grant,
    std::string& why) {
  auto bus = std::make_unique<Bus>();
  Response started;
  if (!bus->connect(cancelFd, why) || !bus->readCapabilities(why) || !bus->createSession(why)) {
    return nullptr;
  }
  if (!bus->selectSources(multiple, restoreToken, why)) {
    if (restoreToken.empty() || why.empty()) return nullptr;
    // Malformed, or another portal's: a session of its own, without the token.
    tokenRefused(why);
    bus->closeSession();
    bus->session.clear();
    if (!bus->createSession(why) || !bus->selectSources(multiple, {}, why)) return nullptr;
  }
  if (!bus->start(started, why)) return nullptr;
  grant.streams = std::move(started.streams);
  grant.restoreToken = std::move(started.restoreToken);
  return std::unique_ptr<PortalSession>(new PortalSession(std::move(bus)));
}

PortalSession::PortalSession(std::unique_ptr<Bus> bus) : bus_(std::move(bus)) {}

UniqueFd PortalSession::openRemote(std::string& why) {
  UniqueFd remote;
  bus_->openRemote(remote, why);
  return remote;
}

PortalSession::~PortalSession() = default;

}  // namespace corvane
