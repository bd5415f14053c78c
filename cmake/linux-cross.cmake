# What the Linux cross toolchain files share: Debian's cross compiler for
# TJOIN_TARGET (a triple such as aarch64-linux-gnu), the target's sysroot under
# /usr/TJOIN_TARGET, and QEMU's user mode (TJOIN_QEMU_NAME, from qemu-user) to
# run the tests, with the target's C library from the sysroot and any
# TJOIN_QEMU_OPTIONS.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TJOIN_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${TJOIN_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TJOIN_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TJOIN_QEMU ${TJOIN_QEMU_NAME})
if(TJOIN_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TJOIN_QEMU} -L /usr/${TJOIN_TARGET} ${TJOIN_QEMU_OPTIONS})
endif()
