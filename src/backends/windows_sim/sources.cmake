# The simulated Windows desktop: the calls of the Windows services answered from a desktop that
# the tests set up and read back through the module's `simulator` export. Tests only.
set(CORVANE_WINDOWS_SIM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/call_log.cc
  ${CMAKE_CURRENT_LIST_DIR}/desktop.cc
  ${CMAKE_CURRENT_LIST_DIR}/faults.cc
  ${CMAKE_CURRENT_LIST_DIR}/sim_control.cc
  ${CMAKE_CURRENT_LIST_DIR}/display_platform_sim.cc
  ${CMAKE_CURRENT_LIST_DIR}/gdi_platform_sim.cc
  ${CMAKE_CURRENT_LIST_DIR}/cursor_sim.cc
  ${CMAKE_CURRENT_LIST_DIR}/audio_platform_sim.cc
  ${CMAKE_CURRENT_LIST_DIR}/window_platform_sim.cc)
