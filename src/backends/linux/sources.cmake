# The choice of desktop, and what the Linux backends share: libraries loaded at run time, sd-bus.
set(CORVANE_LINUX_SOURCES ${CMAKE_CURRENT_LIST_DIR}/linux_desktop.cc)
# sd-bus's headers alone: libsystemd is loaded at run time, so the module loads without it.
pkg_check_modules(SYSTEMD REQUIRED libsystemd)
