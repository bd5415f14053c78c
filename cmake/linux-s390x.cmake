# Cross-compiling tjoin for s390x Linux with Debian's cross compiler
# (crossbuild-essential-s390x); the tests run under QEMU's user mode
# (qemu-user), with the target's C library from its sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TJOIN_TARGET s390x-linux-gnu)
set(CMAKE_C_COMPILER ${TJOIN_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${TJOIN_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TJOIN_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TJOIN_QEMU qemu-s390x)
if(TJOIN_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TJOIN_QEMU} -L /usr/${TJOIN_TARGET})
endif()
