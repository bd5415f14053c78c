# Cross-compiling tjoin for i686 Linux with Debian's cross compiler
# (crossbuild-essential-i386); the tests run under QEMU's user mode
# (qemu-user), with the target's C library from its sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TJOIN_TARGET i686-linux-gnu)
set(CMAKE_C_COMPILER ${TJOIN_TARGET}-gcc)
set(CMAKE_CXX_COMPILER ${TJOIN_TARGET}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TJOIN_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
find_program(TJOIN_QEMU qemu-i386)
if(TJOIN_QEMU)
  # A child that the emulated program starts would otherwise load the host's
  # 32-bit C library, if one is installed, and hang.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TJOIN_QEMU} -L /usr/${TJOIN_TARGET}
                                    -E LD_LIBRARY_PATH=/usr/${TJOIN_TARGET}/lib)
endif()
