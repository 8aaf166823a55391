// Input into KWin through its fake-input protocol, for the tests. Usage: kwin_input
// One command per line of standard input, each answered "ok" once KWin has taken it (a round
// trip after the request):
//   move DX DY     a relative pointer motion
//   key CODE       a key (a Linux input code) pressed and released
// KWin offers the protocol only to an executable that a .desktop file names in Exec= with
// X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input. Any failure exits 1.
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "fake-input-client-protocol.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "kwin_input: %s\n", what);
  std::exit(1);
}

org_kde_kwin_fake_input* fakeInput = nullptr;

const wl_registry_listener registryListener = {
    [](void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
      if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
        fakeInput = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
      }
    },
    [](void*, wl_registry*, uint32_t) {}};

}  // namespace

int main() {
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) fail("cannot connect to the Wayland display ($WAYLAND_DISPLAY)");
  wl_registry_add_listener(wl_display_get_registry(display), &registryListener, nullptr);
  if (wl_display_roundtrip(display) < 0) fail("lost the compositor");
  if (fakeInput == nullptr) fail("the compositor offers this program no org_kde_kwin_fake_input 4");
  org_kde_kwin_fake_input_authenticate(fakeInput, "corvane tests", "input for the tests");
  if (wl_display_roundtrip(display) < 0) fail("lost the compositor");
  std::cout << "ok" << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "move") {
      double dx = 0, dy = 0;
      words >> dx >> dy;
      org_kde_kwin_fake_input_pointer_motion(fakeInput, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
    } else if (command == "key") {
      unsigned code = 0;
      words >> code;
      for (uint32_t state : {1u, 0u}) org_kde_kwin_fake_input_keyboard_key(fakeInput, code, state);
    } else {
      fail("unknown command");
    }
    if (wl_display_roundtrip(display) < 0) fail("lost the compositor");
    std::cout << "ok" << std::endl;
  }
  return 0;
}
