// A ScreenCast session of the desktop portal (org.freedesktop.portal.ScreenCast) on the session
// bus: CreateSession, SelectSources of one monitor, Start, OpenPipeWireRemote, each request
// answered by its Response signal. The session lasts as long as this object.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backends/linux/sd_bus_library.h"
#include "backends/linux/unique_fd.h"
#include "backends/portal/portal_choice.h"

namespace corvane {

// What a started session gives: a PipeWire remote that sees the shared streams, and the token
// that starts the same sharing again without asking.
struct PortalGrant {
  UniqueFd remote;
  std::vector<PortalStream> streams;
  std::string restoreToken;
};

class PortalSession {
 public:
  // The whole handshake, each wait bounded and cut short when cancelFd becomes readable. Null on
  // failure, with why saying what failed, or empty when cancelled. A restore token the portal
  // refuses is told to tokenRefused at once, with the portal's reason, and the sources asked for
  // again without it, so the user is asked.
  static std::unique_ptr<PortalSession> open(const std::string& restoreToken,
                                             const std::function<void(const std::string&)>& tokenRefused,
                                             int cancelFd, PortalGrant& grant, std::string& why);
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
