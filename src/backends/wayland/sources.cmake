# A Wayland compositor: its outputs, grabs through wlr-screencopy, activity through ext-idle-notify.
set(CORVANE_WAYLAND_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/wayland_library.cc
  ${CMAKE_CURRENT_LIST_DIR}/wayland_protocols.cc
  ${CMAKE_CURRENT_LIST_DIR}/wayland_desktop.cc
  ${CMAKE_CURRENT_LIST_DIR}/wayland_monitors.cc
  ${CMAKE_CURRENT_LIST_DIR}/grabber_wayland.cc
  ${CMAKE_CURRENT_LIST_DIR}/idle_wayland.cc)
# libwayland-client's headers alone: the library is loaded at run time.
pkg_check_modules(WAYLAND REQUIRED wayland-client)
