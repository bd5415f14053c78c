# Cross-compiling tjoin for aarch64 Linux with Debian's cross compiler
# (crossbuild-essential-arm64); the tests run under QEMU's user mode
# (qemu-user), with the target's C library from its sysroot.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TJOIN_TARGET aarch64-linux-gnu)
set(TJOIN_QEMU_NAME qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
