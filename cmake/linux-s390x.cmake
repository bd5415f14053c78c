# Cross-compiling tjoin for s390x Linux, big-endian, with Debian's cross
# compiler (crossbuild-essential-s390x); the tests run under QEMU's user mode
# (qemu-user), with the target's C library from its sysroot.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(TJOIN_TARGET s390x-linux-gnu)
set(TJOIN_QEMU_NAME qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
