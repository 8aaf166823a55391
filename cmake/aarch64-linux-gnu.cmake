# Cross-compiles the linux-arm64 module with the host's clang and lld against a Debian 11 arm64
# root (CORVANE_ARM64_ROOT), so that it needs no glibc newer than 2.31, as the x64 one. Debian 12's
# own aarch64 GCC cannot: its newer C library's headers come first even with a sysroot, and its
# static libstdc++ needs symbols of glibc 2.32 and 2.36.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

if(NOT CORVANE_ARM64_ROOT)
  set(CORVANE_ARM64_ROOT $ENV{CORVANE_ARM64_ROOT})
endif()
if(NOT EXISTS ${CORVANE_ARM64_ROOT}/usr/include/aarch64-linux-gnu)
  message(FATAL_ERROR "CORVANE_ARM64_ROOT must name a Debian arm64 root (scripts/lib/arm64-root.js makes one)")
endif()
# try_compile reads this file again in a project of its own.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CORVANE_ARM64_ROOT)

set(CMAKE_SYSROOT ${CORVANE_ARM64_ROOT})
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET aarch64-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET aarch64-linux-gnu)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT -fuse-ld=lld)
endforeach()

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config reads the root's .pc files and puts the root before the paths they give.
set(ENV{PKG_CONFIG_LIBDIR} ${CORVANE_ARM64_ROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${CORVANE_ARM64_ROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${CORVANE_ARM64_ROOT})
