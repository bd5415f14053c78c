# Cross-compiling tjoin for aarch64 Linux with Debian's cross compiler
# (crossbuild-essential-arm64); the tests run under QEMU's user mode
# (qemu-user), with the target's C library from its sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TJOIN_TARGET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${TJOIN_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${TJOIN_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TJOIN_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TJOIN_QEMU qemu-aarch64)
if(TJOIN_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TJOIN_QEMU} -L /usr/${TJOIN_TARGET})
endif()
