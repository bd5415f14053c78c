# Cross-compiling tjoin for i686 Linux with Debian's cross compiler
# (crossbuild-essential-i386); the tests run under QEMU's user mode
# (qemu-user), with the target's C library from its sysroot.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TJOIN_TARGET i686-linux-gnu)
set(TJOIN_QEMU_NAME qemu-i386)
# A child that the emulated program starts would otherwise load the host's
# 32-bit C library, if one is installed, and hang.
set(TJOIN_QEMU_OPTIONS -E LD_LIBRARY_PATH=/usr/${TJOIN_TARGET}/lib)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
