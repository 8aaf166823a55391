# The Windows services, written against the USER32, GDI and Core Audio calls they make: built with
# the real calls on Windows and with the simulator's on Linux.
set(CORVANE_WINDOWS_SERVICES
  ${CMAKE_CURRENT_LIST_DIR}/monitors.cc
  ${CMAKE_CURRENT_LIST_DIR}/monitor_walk.cc
  ${CMAKE_CURRENT_LIST_DIR}/gdi_grabber.cc
  ${CMAKE_CURRENT_LIST_DIR}/peak_level.cc
  ${CMAKE_CURRENT_LIST_DIR}/peak_meter_com.cc
  ${CMAKE_CURRENT_LIST_DIR}/window_hook.cc)

# The real calls.
set(CORVANE_WIN32_CALLS
  ${CMAKE_CURRENT_LIST_DIR}/display_platform_win32.cc
  ${CMAKE_CURRENT_LIST_DIR}/gdi_platform_win32.cc
  ${CMAKE_CURRENT_LIST_DIR}/cursor_win32.cc
  ${CMAKE_CURRENT_LIST_DIR}/audio_platform_win32.cc
  ${CMAKE_CURRENT_LIST_DIR}/window_platform_win32.cc)
