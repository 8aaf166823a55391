# The X server: monitors through RandR and Xinerama, grabs through RENDER, MIT-SHM or GetImage,
# the pointer.
set(CORVANE_X11_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/x11_session.cc
  ${CMAKE_CURRENT_LIST_DIR}/x11_monitors.cc
  ${CMAKE_CURRENT_LIST_DIR}/grabber_x11.cc
  ${CMAKE_CURRENT_LIST_DIR}/x11_shm.cc
  ${CMAKE_CURRENT_LIST_DIR}/x11_server_sampling.cc
  ${CMAKE_CURRENT_LIST_DIR}/cursor_x11.cc)
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-randr xcb-render xcb-shm xcb-xinerama)
