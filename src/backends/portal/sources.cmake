# The desktop portal's ScreenCast on the session bus, and the PipeWire stream it grants.
set(CORVANE_PORTAL_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/portal_choice.cc
  ${CMAKE_CURRENT_LIST_DIR}/portal_session.cc
  ${CMAKE_CURRENT_LIST_DIR}/pipewire_library.cc
  ${CMAKE_CURRENT_LIST_DIR}/pipewire_stream.cc
  ${CMAKE_CURRENT_LIST_DIR}/portal_grabber.cc)
# PipeWire's headers alone, likewise (SPA's pod builders are header-only).
pkg_check_modules(PIPEWIRE REQUIRED libpipewire-0.3)
