# The audio level from PulseAudio, or PipeWire's PulseAudio server: a peak-detecting record stream
# of the default sink's monitor.
set(CORVANE_PULSE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/pulse_library.cc
  ${CMAKE_CURRENT_LIST_DIR}/peak_meter_pulse.cc)
# libpulse's headers alone: the library is loaded at run time, so the module loads without it.
pkg_check_modules(PULSE REQUIRED libpulse)
