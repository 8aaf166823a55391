#include "backends/x11/x11_monitors.h"

#include <xcb/randr.h>
#include <xcb/xinerama.h>

#include <string>

#include "backends/x11/x11_backend.h"

namespace corvane {
namespace {

bool hasExtension(xcb_connection_t* c, xcb_extension_t* extension) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(c, extension);
  return data != nullptr && data->present != 0;
}

// Monitors as RandR 1.5 reports them; none on older servers or without RandR.
std::vector<MonitorRecord> randrMonitors(const X11Session& session, X11Exchange& exchange) {
  xcb_connection_t* c = session.connection();
  std::vector<MonitorRecord> monitors;
  if (exchange.failed() || !hasExtension(c, &xcb_randr_id)) return monitors;
  auto version = exchange.reply<xcb_randr_query_version_reply_t>(xcb_randr_query_version(c, 1, 5));
  if (!version || (version->major_version == 1 && version->minor_version < 5)) return monitors;
  auto reply = exchange.reply<xcb_randr_get_monitors_reply_t>(xcb_randr_get_monitors(c, session.root(), 1));
  if (!reply) return monitors;

  std::vector<xcb_get_atom_name_cookie_t> names;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t& info = *it.data;
    names.push_back(xcb_get_atom_name(c, info.name));  // all asked at once, one round trip
    monitors.push_back({"", info.x, info.y, info.width, info.height,
                        static_cast<int32_t>(info.width_in_millimeters),
                        static_cast<int32_t>(info.height_in_millimeters), info.primary != 0});
  }
  for (size_t i = 0; i < names.size(); ++i) {
    auto name = exchange.reply<xcb_get_atom_name_reply_t>(names[i]);
    if (name) {
      monitors[i].deviceName.assign(xcb_get_atom_name_name(name.get()),
                                    static_cast<size_t>(xcb_get_atom_name_name_length(name.get())));
    }
  }
  return monitors;
}

std::vector<ScreenHead> xineramaHeads(const X11Session& session, X11Exchange& exchange) {
  xcb_connection_t* c = session.connection();
  std::vector<ScreenHead> heads;
  if (exchange.failed() || !hasExtension(c, &xcb_xinerama_id)) return heads;
  auto active = exchange.reply<xcb_xinerama_is_active_reply_t>(xcb_xinerama_is_active(c));
  if (!active || active->state == 0) return heads;
  auto reply = exchange.reply<xcb_xinerama_query_screens_reply_t>(xcb_xinerama_query_screens(c));
  if (!reply) return heads;
  for (auto it = xcb_xinerama_query_screens_screen_info_iterator(reply.get()); it.rem > 0;
       xcb_xinerama_screen_info_next(&it)) {
    heads.push_back({it.data->x_org, it.data->y_org, it.data->width, it.data->height});
  }
  return heads;
}

}  // namespace

std::vector<MonitorRecord> readMonitors(X11Session& session) {
  if (session.error() != 0) return {};
  X11Exchange exchange(session);
  const xcb_screen_t& screen = session.screen();
  std::vector<MonitorRecord> monitors =
      chooseMonitors(randrMonitors(session, exchange), xineramaHeads(session, exchange),
                     {screen.width_in_pixels, screen.height_in_pixels, screen.width_in_millimeters,
                      screen.height_in_millimeters});
  // A connection that broke, or a server that stopped answering, on the way gives nothing rather
  // than half an answer.
  if (session.error() != 0 || exchange.failed()) return {};
  return monitors;
}

std::vector<MonitorRecord> readX11Monitors() {
  const std::shared_ptr<X11Session> session = X11Session::shared();
  return session ? readMonitors(*session) : std::vector<MonitorRecord>{};
}

}  // namespace corvane
