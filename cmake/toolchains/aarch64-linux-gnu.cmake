# Cross-compiling for Linux on aarch64 from the x86_64 build root, with
# Debian's cross toolchain (g++-aarch64-linux-gnu) and its C library.
#
# Programs built for the target (the tests) run under qemu's user-mode
# emulator, with the cross toolchain's libraries as their root.
#
# Python headers: Debian's pyconfig.h is the same on every architecture and
# includes <aarch64-linux-gnu/python3.X/pyconfig.h>, which only the target's
# own python3.X-dev has. OVPI_TARGET_INCLUDE names a folder that holds it
# (the wheel stage takes it from the aarch64 root); the rest of the headers
# are the build root's own.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(DEFINED ENV{OVPI_TARGET_INCLUDE})
  string(APPEND CMAKE_CXX_FLAGS_INIT " -isystem $ENV{OVPI_TARGET_INCLUDE}")
endif()
