# GNOME's compositor over the session bus: its account of the user's input.
set(CORVANE_MUTTER_SOURCES ${CMAKE_CURRENT_LIST_DIR}/idle_monitor.cc)
