# The session end: a delay inhibitor of systemd-logind on the system bus.
set(CORVANE_LOGIND_SOURCES ${CMAKE_CURRENT_LIST_DIR}/logind_hold.cc)
