// A ScreenCast session of the desktop portal (org.freedesktop.portal.ScreenCast) on the session
// bus: CreateSession, SelectSources of one monitor or several, Start, each request answered by its
// Response signal; then a PipeWire remote per stream. The session lasts as long as this object.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backends/linux/sd_bus_library.h"
#include "backends/linux/unique_fd.h"
#include "backends/portal/portal_choice.h"

namespace corvane {

// What a started session gives: the shared streams, and the token that starts the same sharing
// again without asking.
struct PortalGrant {
  std::vector<PortalStream> streams;
  std::string restoreToken;
};

class PortalSession {
 public:
  // The whole handshake, each wait bounded and cut short when cancelFd becomes readable. Null on
  // failure, with why saying what failed, or empty when cancelled. A restore token the portal
  // refuses is told to tokenRefused at once, with the portal's reason, and the sources asked for
  // again without it, so the user is asked. The user may choose several monitors when multiple.
  static std::unique_ptr<PortalSession> open(bool multiple, const std::string& restoreToken,
                                             const std::function<void(const std::string&)>& tokenRefused,
                                             int cancelFd, PortalGrant& grant, std::string& why);
  // A new connection to PipeWire that sees the session's streams; one per stream, since each
  // stream runs a PipeWire connection of its own. Invalid with why on failure.
  UniqueFd openRemote(std::string& why);
  // Closes the session, which ends the portal's streams.
  ~PortalSession();
  PortalSession(const PortalSession&) = delete;
  PortalSession& operator=(const PortalSession&) = delete;

  struct Bus;

 private:
  explicit PortalSession(std::unique_ptr<Bus> bus);
  std::unique_ptr<Bus> bus_;
};

}  // namespace corvane
